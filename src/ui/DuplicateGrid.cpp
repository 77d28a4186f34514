#include "ui/DuplicateGrid.h"

#include <algorithm>

namespace gq {

DuplicateGrid::DuplicateGrid(const std::vector<int32_t>& groupNumbers, int32_t columns,
                             bool compact) {
  columns = std::max<int32_t>(1, columns);
  m_GridOfRank.reserve(groupNumbers.size());
  int32_t position = 0;
  for (size_t rank = 0; rank < groupNumbers.size(); ++rank) {
    if (!compact && rank > 0 && groupNumbers[rank] != groupNumbers[rank - 1]) {
      position = (position + columns - 1) / columns * columns;
    }
    m_GridOfRank.push_back(position++);
  }
}

int32_t DuplicateGrid::GridOfRank(int32_t rank) const {
  if (m_GridOfRank.empty()) return -1;
  rank = std::clamp<int32_t>(rank, 0, static_cast<int32_t>(m_GridOfRank.size()) - 1);
  return m_GridOfRank[static_cast<size_t>(rank)];
}

int32_t DuplicateGrid::RankOfGrid(int32_t grid) const {
  if (m_GridOfRank.empty()) return -1;
  auto after = std::upper_bound(m_GridOfRank.begin(), m_GridOfRank.end(), grid);
  return std::max<int32_t>(0, static_cast<int32_t>(after - m_GridOfRank.begin()) - 1);
}

}  // namespace gq
