#include <gtest/gtest.h>

#include "ui/ThumbsGeometry.h"
#include "ui/ThumbsKeys.h"

namespace gq {
namespace {

TEST(ThumbsGeometry, ColumnsAreCentredAndNeverFewerThanOne) {
  struct Case {
    int32_t width, columns, x0;
  } cases[] = {{50, 1, -24}, {99, 1, 0}, {100, 1, 1}, {197, 1, 49}, {198, 2, 1}, {1000, 10, 10}};
  for (const Case& c : cases) {
    GridLayout layout = LayoutForWidth(c.width);
    EXPECT_EQ(layout.columns, c.columns) << c.width;
    EXPECT_EQ(layout.x0, c.x0) << c.width;
  }
}

TEST(ThumbsGeometry, HitTestFindsTheCellCellOfDraws) {
  const GridLayout layout = LayoutForWidth(1000);  // 10 columns from x = 10
  struct Case {
    int32_t x, y, scroll, grid;
  } cases[] = {
      {11, 0, 0, 0},   {11, 1, 0, 0},    {108, 98, 0, 0},   {109, 99, 0, 11},
      {990, 5, 0, 9},  {991, 5, 0, -1},  {10, 5, 0, -1},    {5, 5, 0, -1},
      {11, 1, 98, 10}, {11, 97, 49, 10}, {500, 300, 0, 34}, {995, 5, 0, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HitTest(c.x, c.y, layout, c.scroll), c.grid)
        << c.x << "," << c.y << " S=" << c.scroll;
  }
  const CellRect cell = CellOf(34, layout, 0);
  EXPECT_EQ(cell.left, 10 + 4 * 98);
  EXPECT_EQ(cell.top, 3 * 98 + 1);
  EXPECT_EQ(HitTest(cell.left + 1, cell.top, layout, 0), 34);
  EXPECT_EQ(HitTest(cell.right, cell.bottom - 1, layout, 0), 34);
  EXPECT_EQ(CellOf(34, layout, 100).top, 3 * 98 + 1 - 100);

  // Visible cells: whole rows from the top row to the one at the bottom edge.
  EXPECT_EQ(VisibleCellsOf(layout, 0, 196).first, 0);
  EXPECT_EQ(VisibleCellsOf(layout, 0, 196).count, 20);
  EXPECT_EQ(VisibleCellsOf(layout, 0, 197).count, 30);
  EXPECT_EQ(VisibleCellsOf(layout, 98, 196).first, 0);
  EXPECT_EQ(VisibleCellsOf(layout, 99, 196).first, 10);
  EXPECT_EQ(VisibleCellsOf(layout, 99, 196).count, 30);
}

TEST(ThumbsGeometry, ScrollMaximumPerListMode) {
  struct Case {
    int mode;
    int32_t count, shown, dupRows, columns, height, maximum;
  } cases[] = {
      {0, 25, 0, 0, 10, 500, 3 * 98 + 1},  // unsorted: count / columns + 1 rows
      {1, 30, 0, 0, 10, 500, 4 * 98 + 1},  // sorted by file
      {0, 0, 0, 0, 10, 500, 98 + 1},       // empty list keeps one row
      {2, 25, 0, 7, 10, 500, 7 * 98 + 1},  // duplicates: the layout's rows
      {-1, 1000, 0, 0, 10, 500, 499},      // similar, one window-full: nothing scrolls
      {-1, 1000, 50, 0, 10, 500, 499},     // 5 rows fit the page
      {-1, 1000, 95, 0, 10, 500, 9 * 98 + 1},
      {-1, 40, 95, 0, 10, 500, 499},  // fewer pictures than the number
      {-1, 90, 95, 0, 10, 200, 9 * 98 + 1},
  };
  for (const Case& c : cases) {
    ScrollInputs in{c.mode, c.count, c.shown, c.dupRows, c.columns, c.height};
    EXPECT_EQ(ScrollMaximum(in), c.maximum) << "mode " << c.mode << " count " << c.count;
  }
  EXPECT_EQ(ClampScroll(1000, 395, 300), 96);
  EXPECT_EQ(ClampScroll(-5, 395, 300), 0);
  EXPECT_EQ(ClampScroll(50, 299, 300), 0);
}

TEST(ThumbsGeometry, ScrollBarAndWheelActions) {
  EXPECT_EQ(ScrollActionTarget(ScrollAction::kLineDown, 10, 500, 2000, 0), 108);
  EXPECT_EQ(ScrollActionTarget(ScrollAction::kLineUp, 10, 500, 2000, 0), -88);
  EXPECT_EQ(ScrollActionTarget(ScrollAction::kPageDown, 10, 500, 2000, 0), 10 + 490);
  EXPECT_EQ(ScrollActionTarget(ScrollAction::kPageUp, 1000, 500, 2000, 0), 510);
  EXPECT_EQ(ScrollActionTarget(ScrollAction::kPageDown, 10, 60, 2000, 0), 70);  // under a cell
  EXPECT_EQ(ScrollActionTarget(ScrollAction::kTop, 700, 500, 2000, 0), 0);
  EXPECT_EQ(ScrollActionTarget(ScrollAction::kBottom, 700, 500, 2000, 0), 2000);
  EXPECT_EQ(ScrollActionTarget(ScrollAction::kTrack, 700, 500, 2000, 321), 321);

  EXPECT_EQ(WheelNotch(true, 499, 500), WheelOutcome::kKeyRight);
  EXPECT_EQ(WheelNotch(false, 499, 500), WheelOutcome::kKeyLeft);
  EXPECT_EQ(WheelNotch(true, 500, 500), WheelOutcome::kLineDown);
  EXPECT_EQ(WheelNotch(false, 500, 500), WheelOutcome::kLineUp);
}

TEST(ThumbsGeometry, ScrollToCellBringsTheCellIntoSight) {
  const GridLayout layout = LayoutForWidth(1000);
  struct Case {
    int32_t grid, scroll, height, expected;
  } cases[] = {
      {15, 0, 500, 0},                                  // fully visible
      {15, 150, 500, 99},                               // cut at the top: top edge
      {0, 50, 500, 1},                                  // first row cut at the top
      {75, 0, 500, 98 * 8 - (96 + 500 + 2) / 2 - 1},    // far below: row centred
      {5, 2000, 500, 98 * 1 - (96 + 500 + 2) / 2 - 1},  // far above: centred (negative)
      {45, 0, 450, 4 * 98 + 1 + 98 - 450 + 1},          // cut at the bottom: bottom edge
      {15, 60, 60, 98 * 2 - (96 + 60 + 2) / 2 - 1},     // taller than the page: centred
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScrollToCell(c.grid, layout, c.scroll, c.height), c.expected)
        << c.grid << " S=" << c.scroll << " H=" << c.height;
  }
}

TEST(ThumbsKeys, TargetsPerKeyAndMode) {
  const ScrollInputs plain{0, 10, 0, 0, 4, 300};  // 3 whole rows in 300 pixels
  const ScrollInputs similar{-1, 1000, 0, 0, 4, 300};
  struct Case {
    MoveKey key;
    int32_t u;
    const ScrollInputs* in;
    int32_t target;
  } cases[] = {
      {MoveKey::kLeft, 5, &plain, 4},       {MoveKey::kRight, 5, &plain, 6},
      {MoveKey::kUp, 5, &plain, 1},         {MoveKey::kDown, 5, &plain, 9},
      {MoveKey::kHome, 5, &plain, 0},       {MoveKey::kEnd, 5, &plain, 10},
      {MoveKey::kPageDown, 5, &plain, 17},  {MoveKey::kPageUp, 5, &plain, -7},
      {MoveKey::kPageDown, 5, &similar, 9},  // one row in Search Similar
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MoveTarget(c.key, c.u, *c.in), c.target) << static_cast<int>(c.key);
  }
  EXPECT_FALSE(MovesOnGrid(MoveKey::kLeft));
  EXPECT_FALSE(MovesOnGrid(MoveKey::kRight));
  EXPECT_TRUE(MovesOnGrid(MoveKey::kPageDown));

  const ScrollInputs limited{-1, 1000, 23, 0, 4, 300};  // 5 rows of 4 shown
  EXPECT_EQ(LimitSimilarTarget(40, limited), 19);
  EXPECT_EQ(LimitSimilarTarget(12, limited), 12);
  EXPECT_EQ(LimitSimilarTarget(40, similar), 40);  // one window-full: the view clamps
  EXPECT_EQ(LimitSimilarTarget(40, plain), 40);
}

}  // namespace
}  // namespace gq
