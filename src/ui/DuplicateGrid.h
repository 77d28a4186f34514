// The grid of Search Duplicates without "Compact View": every group starts in the first
// column of a row, so a member's grid position is its rank in the group list plus the
// gaps left at the ends of earlier groups' rows. With "Compact View" the grid position
// is the rank. Built from the group numbers in group-list order; pure data.
#pragma once

#include <cstdint>
#include <vector>

namespace gq {

class DuplicateGrid {
 public:
  DuplicateGrid(const std::vector<int32_t>& groupNumbers, int32_t columns, bool compact);

  int32_t GridOfRank(int32_t rank) const;
  // The member at the grid position, or the last one before it when the position lies
  // in a gap; below 0 the first, beyond the end the last member (-1 when empty).
  int32_t RankOfGrid(int32_t grid) const;

 private:
  std::vector<int32_t> m_GridOfRank;  // ascending
};

}  // namespace gq
