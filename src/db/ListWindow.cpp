#include "db/ListWindow.h"

#include "frame/AssertXL.h"

namespace gq {

ImageRecord* ListWindow::AtPosition(int32_t position) const {
  const int64_t index = int64_t{position} - m_First;
  if (index < 0 || index >= Size()) return nullptr;
  return m_Records[static_cast<size_t>(index)];
}

int32_t ListWindow::PositionOf(const ImageRecord* record) const {
  for (int32_t i = 0; i < Size(); ++i) {
    if (m_Records[static_cast<size_t>(i)] == record) return i + m_First;
  }
  return -1;
}

void ListWindow::Place(int32_t first, int32_t columns, int mode) {
  m_First = first;
  m_Columns = columns;
  m_Mode = mode;
}

void ListWindow::Empty(int32_t count) { m_Records.assign(count > 0 ? count : 0, nullptr); }

void ListWindow::Set(int32_t i, ImageRecord* record) {
  // Named as the window's length reads in the check's report.
  const int32_t m_ListLen = Size();
  ASSERT_XL(i >= 0 && i < m_ListLen, "ImageRecordDB");
  if (i >= 0 && i < m_ListLen) m_Records[static_cast<size_t>(i)] = record;
}

}  // namespace gq
