// The part of the current list that the thumbnail view shows: the records at list
// positions First() to First() + Size() - 1 (null where the list holds none there), the
// number of columns and the list mode it was filled for. Held by the database, filled
// only by the search engine, read by the view on every paint. User-interface thread only.
#pragma once

#include <cstdint>
#include <vector>

namespace gq {

struct ImageRecord;

class ListWindow {
 public:
  int32_t First() const { return m_First; }
  int32_t Size() const { return static_cast<int32_t>(m_Records.size()); }
  int32_t Columns() const { return m_Columns; }
  int Mode() const { return m_Mode; }
  // The places in order, null where the list holds no record.
  const std::vector<ImageRecord*>& Records() const { return m_Records; }
  // The record at a list position; null outside the window.
  ImageRecord* AtPosition(int32_t position) const;
  // The list position of record; -1 when the window does not hold it.
  int32_t PositionOf(const ImageRecord* record) const;

  // Where the window stands in the list and how it is laid out; keeps its places.
  void Place(int32_t first, int32_t columns, int mode);
  // count empty places.
  void Empty(int32_t count);
  // Stores record at place i (0 = the first shown); a place outside the window is
  // reported through the assertion facility and nothing is stored.
  void Set(int32_t i, ImageRecord* record);
  // No places; the placement stays.
  void Clear() { m_Records.clear(); }

  bool operator==(const ListWindow&) const = default;

 private:
  std::vector<ImageRecord*> m_Records;
  int32_t m_First = 0;
  int32_t m_Columns = 1;
  int m_Mode = 0;
};

}  // namespace gq
