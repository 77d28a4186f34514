#include "ui/PictureHistory.h"

#include <algorithm>

namespace gq {

void PictureHistory::Visit(int32_t p) {
  if (m_Index >= 0 && m_Entries[static_cast<size_t>(m_Index)] == p) return;
  m_Entries.resize(static_cast<size_t>(m_Index + 1));
  m_Entries.erase(std::remove(m_Entries.begin(), m_Entries.end(), p), m_Entries.end());
  if (Count() >= kCapacity) m_Entries.erase(m_Entries.begin());
  m_Entries.push_back(p);
  m_Index = Count() - 1;
}

void PictureHistory::DropRemovedAtIndex(const Exists& exists) {
  if (m_Index > 0 && !exists(m_Entries[static_cast<size_t>(m_Index)])) {
    m_Entries.resize(static_cast<size_t>(m_Index));
    --m_Index;
  }
}

int32_t PictureHistory::Back(const Exists& exists) {
  if (!CanBack()) return -1;
  for (int32_t i = m_Index - 1; i >= 0; --i) {
    if (exists(m_Entries[static_cast<size_t>(i)])) {
      m_Index = i;
      return m_Entries[static_cast<size_t>(i)];
    }
  }
  return Forward(exists);
}

int32_t PictureHistory::Forward(const Exists& exists) {
  for (int32_t i = m_Index + 1; i < Count(); ++i) {
    if (exists(m_Entries[static_cast<size_t>(i)])) {
      m_Index = i;
      return m_Entries[static_cast<size_t>(i)];
    }
  }
  return -1;
}

}  // namespace gq
