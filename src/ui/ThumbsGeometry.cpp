#include "ui/ThumbsGeometry.h"

#include <algorithm>

namespace gq {

namespace {
constexpr int kSearchSimilar = -1;
constexpr int kSearchDuplicates = 2;
}  // namespace

GridLayout LayoutForWidth(int32_t width) {
  GridLayout layout;
  layout.columns = std::max<int32_t>(1, (width - 2) / kCellSide);
  layout.x0 = (width - layout.columns * kCellSide) / 2;
  return layout;
}

CellRect CellOf(int32_t gridPosition, const GridLayout& layout, int32_t scroll) {
  CellRect cell;
  cell.left = layout.x0 + kCellSide * (gridPosition % layout.columns);
  cell.top = kCellSide * (gridPosition / layout.columns) - scroll + 1;
  cell.right = cell.left + kCellSide;
  cell.bottom = cell.top + kCellSide;
  return cell;
}

int32_t HitTest(int32_t x, int32_t y, const GridLayout& layout, int32_t scroll) {
  // The margins beside the grid belong to no cell: a click there would otherwise land
  // on the first column, or on the first picture of the next row.
  const int32_t dx = x - layout.x0 - 1;
  if (dx < 0 || dx >= kCellSide * layout.columns) return -1;
  return layout.columns * ((y + scroll - 1) / kCellSide) + dx / kCellSide;
}

VisibleCells VisibleCellsOf(const GridLayout& layout, int32_t scroll, int32_t height) {
  VisibleCells cells;
  cells.first = HitTest(layout.x0 + 1, 0, layout, scroll);
  const int32_t lastRow = (height + scroll - 1) / kCellSide;
  cells.count = layout.columns * (lastRow + 1) - cells.first;
  return cells;
}

int32_t SimilarRows(const ScrollInputs& in) {
  const int32_t shown = std::min(in.pictureCount, in.similarShown);
  return shown > 0 ? shown / std::max<int32_t>(1, in.columns) : 0;
}

int32_t ScrollMaximum(const ScrollInputs& in) {
  const int32_t columns = std::max<int32_t>(1, in.columns);
  if (in.listMode == kSearchSimilar) {
    return std::max(SimilarRows(in) * kCellSide + 1, in.height - 1);
  }
  if (in.listMode == kSearchDuplicates) return in.duplicateRows * kCellSide + 1;
  return (in.pictureCount / columns + 1) * kCellSide + 1;
}

int32_t ClampScroll(int32_t position, int32_t maximum, int32_t page) {
  return std::max(0, std::min(position, maximum - page + 1));
}

int32_t ScrollActionTarget(ScrollAction action, int32_t position, int32_t height, int32_t maximum,
                           int32_t tracked) {
  const int32_t page = height >= kCellSide ? height / kCellSide * kCellSide : height;
  switch (action) {
    case ScrollAction::kLineUp:
      return position - kCellSide;
    case ScrollAction::kLineDown:
      return position + kCellSide;
    case ScrollAction::kPageUp:
      return position - page;
    case ScrollAction::kPageDown:
      return position + page;
    case ScrollAction::kTop:
      return 0;
    case ScrollAction::kBottom:
      return maximum;
    case ScrollAction::kTrack:
      return tracked;
  }
  return position;
}

WheelOutcome WheelNotch(bool towardsUser, int32_t maximum, int32_t page) {
  if (maximum < page) return towardsUser ? WheelOutcome::kKeyRight : WheelOutcome::kKeyLeft;
  return towardsUser ? WheelOutcome::kLineDown : WheelOutcome::kLineUp;
}

int32_t ScrollToCell(int32_t gridPosition, const GridLayout& layout, int32_t scroll,
                     int32_t height) {
  const CellRect cell = CellOf(gridPosition, layout, scroll);
  const int32_t top = 0, bottom = height;
  if (cell.top >= top && cell.bottom <= bottom) return scroll;
  const bool fitsPage = kCellSide <= height;
  if (cell.top < top && cell.bottom > top && fitsPage) return scroll + cell.top - top;
  if (cell.bottom <= top || cell.top >= bottom || !fitsPage) {
    const int32_t row = gridPosition / layout.columns;
    return kCellSide * (row + 1) - (kThumbSide + height + 2) / 2 - 1;
  }
  return scroll + cell.bottom - bottom + 1;
}

}  // namespace gq
