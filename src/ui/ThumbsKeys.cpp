#include "ui/ThumbsKeys.h"

#include <algorithm>

namespace gq {

namespace {
constexpr int kSearchSimilar = -1;
}

bool MovesOnGrid(MoveKey key) { return key != MoveKey::kLeft && key != MoveKey::kRight; }

int32_t MoveTarget(MoveKey key, int32_t u, const ScrollInputs& in) {
  const int32_t columns = std::max<int32_t>(1, in.columns);
  const int32_t page = in.listMode == kSearchSimilar
                           ? columns
                           : columns * std::max<int32_t>(0, (in.height - 2) / kCellSide);
  switch (key) {
    case MoveKey::kLeft:
      return u - 1;
    case MoveKey::kRight:
      return u + 1;
    case MoveKey::kUp:
      return u - columns;
    case MoveKey::kDown:
      return u + columns;
    case MoveKey::kHome:
      return 0;
    case MoveKey::kEnd:
      return in.pictureCount;
    case MoveKey::kPageUp:
      return u - page;
    case MoveKey::kPageDown:
      return u + page;
  }
  return u;
}

int32_t LimitSimilarTarget(int32_t target, const ScrollInputs& in) {
  if (in.listMode != kSearchSimilar || in.similarShown <= 0) return target;
  // Every row the scroll range shows is reachable, the last one included.
  const int32_t rows = std::max<int32_t>(1, SimilarRows(in));
  return std::min(target, rows * std::max<int32_t>(1, in.columns) - 1);
}

}  // namespace gq
