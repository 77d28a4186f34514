// The thumbnail grid's arithmetic: 98-pixel cells in a centred grid, the hit test, the
// vertical scroll range of each list mode, the scroll-bar and wheel actions, and the
// scroll position that brings a cell into sight. All lengths are pixels of the view's
// client area; the scroll position S is the pixel row of the list at the top edge.
// Pure functions, no state; callable from any thread.
#pragma once

#include <cstdint>

namespace gq {

inline constexpr int32_t kThumbSide = 96;
inline constexpr int32_t kCellSide = kThumbSide + 2;

struct GridLayout {
  int32_t columns = 1;
  int32_t x0 = 0;  // left edge of the first column
};

struct CellRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// At least one column, however narrow the view.
GridLayout LayoutForWidth(int32_t width);

CellRect CellOf(int32_t gridPosition, const GridLayout& layout, int32_t scroll);

// The grid position under the point, or -1 beside the grid.
int32_t HitTest(int32_t x, int32_t y, const GridLayout& layout, int32_t scroll);

// The grid positions a page shows: from the first cell of the top row to the last cell
// of the row at the bottom edge, partly visible rows included.
struct VisibleCells {
  int32_t first = 0;
  int32_t count = 0;
};
VisibleCells VisibleCellsOf(const GridLayout& layout, int32_t scroll, int32_t height);

// Where a thumbnail of the given size is drawn unscaled: centred in its cell.
inline int32_t ThumbLeft(const CellRect& cell, int32_t width) {
  return cell.left + (kCellSide - width) / 2;
}
inline int32_t ThumbTop(const CellRect& cell, int32_t height) {
  return cell.top + (kCellSide - height) / 2;
}

// What the scroll range depends on. pictureCount is the database's picture count;
// similarShown the displayed-pictures number of Search Similar (0 or less: one
// window-full); duplicateRows the row count of the duplicates layout.
struct ScrollInputs {
  int listMode = 0;
  int32_t pictureCount = 0;
  int32_t similarShown = 0;
  int32_t duplicateRows = 1;
  int32_t columns = 1;
  int32_t height = 0;
};

// The largest pixel row of the list; the range starts at 0 and a page is the height.
int32_t ScrollMaximum(const ScrollInputs& in);

// Rows of Search Similar with a displayed-pictures number (0 without one).
int32_t SimilarRows(const ScrollInputs& in);

// The position kept within 0 .. maximum - page + 1.
int32_t ClampScroll(int32_t position, int32_t maximum, int32_t page);

enum class ScrollAction { kLineUp, kLineDown, kPageUp, kPageDown, kTop, kBottom, kTrack };

// The position a scroll-bar action asks for (not yet clamped); tracked is the thumb's
// position for kTrack.
int32_t ScrollActionTarget(ScrollAction action, int32_t position, int32_t height, int32_t maximum,
                           int32_t tracked);

enum class WheelOutcome { kKeyLeft, kKeyRight, kLineUp, kLineDown };

// One wheel notch: when the whole list fits it moves the current picture like the Left
// and Right keys, otherwise it scrolls one cell.
WheelOutcome WheelNotch(bool towardsUser, int32_t maximum, int32_t page);

// The scroll position that brings the grid position's cell into sight: unchanged when
// it is fully visible; its top at the top edge when it is cut off there; its row
// centred when it is far outside; its bottom at the bottom edge when cut off there.
int32_t ScrollToCell(int32_t gridPosition, const GridLayout& layout, int32_t scroll,
                     int32_t height);

}  // namespace gq
