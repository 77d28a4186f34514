// The history of the pictures that were current, newest last, at most 50 running
// numbers, with an index that back and forward move. Entries may name records that
// were removed since; the caller says which still exist. Pure data; owned by the view.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace gq {

class PictureHistory {
 public:
  static constexpr int32_t kCapacity = 50;
  using Exists = std::function<bool(int32_t lfdNr)>;

  // p became current: unless it is the entry at the index, its earlier occurrences up
  // to the index are dropped, entries after the index forgotten and p put last (the
  // oldest falling off when the history is full).
  void Visit(int32_t p);
  // There is no current picture any more: a removed entry at the index is dropped.
  void DropRemovedAtIndex(const Exists& exists);

  bool CanBack() const { return m_Index >= 1; }
  bool CanForward() const { return m_Index < Count() - 1; }
  // Moves the index to the nearest existing entry before it (or, when none is left
  // before it, after it) and returns that entry; -1 when no move is possible.
  int32_t Back(const Exists& exists);
  int32_t Forward(const Exists& exists);

  int32_t Index() const { return m_Index; }
  int32_t Count() const { return static_cast<int32_t>(m_Entries.size()); }
  const std::vector<int32_t>& Entries() const { return m_Entries; }

 private:
  std::vector<int32_t> m_Entries;
  int32_t m_Index = -1;
};

}  // namespace gq
