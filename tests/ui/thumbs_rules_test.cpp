#include <gtest/gtest.h>

#include <set>

#include "ui/DuplicateGrid.h"
#include "ui/PictureHistory.h"
#include "ui/RenameRules.h"
#include "ui/ThumbsBrushes.h"
#include "ui/ThumbsSelection.h"

namespace gq {
namespace {

TEST(DuplicateGrid, GroupsStartOnNewRowsUnlessCompact) {
  // Groups of 3, 1 and 5 members in 4 columns: rows 0, 1 and 2-3.
  const std::vector<int32_t> groups = {7, 7, 7, 8, 9, 9, 9, 9, 9};
  const DuplicateGrid grid(groups, 4, false);
  const int32_t expected[] = {0, 1, 2, 4, 8, 9, 10, 11, 12};
  for (int32_t rank = 0; rank < 9; ++rank) EXPECT_EQ(grid.GridOfRank(rank), expected[rank]);
  struct Case {
    int32_t grid, rank;
  } cases[] = {{-3, 0}, {0, 0}, {3, 2}, {4, 3}, {6, 3}, {8, 4}, {12, 8}, {40, 8}};
  for (const Case& c : cases) EXPECT_EQ(grid.RankOfGrid(c.grid), c.rank) << c.grid;

  const DuplicateGrid compact(groups, 4, true);
  EXPECT_EQ(compact.GridOfRank(5), 5);
  EXPECT_EQ(compact.RankOfGrid(5), 5);
  EXPECT_EQ(DuplicateGrid({}, 4, false).RankOfGrid(0), -1);
}

TEST(RenameRules, BoxPlaceNamesAndPaths) {
  const CellRect workArea{0, 0, 1920, 1040};
  struct Case {
    CellRect cell;
    int32_t viewBottom;
    CellRect box;
  } cases[] = {
      {{100, 100, 198, 198}, 900, {68, 198, 231, 222}},  // below, a third wider each side
      {{10, 100, 108, 198}, 900, {0, 198, 163, 222}},    // moved into the work area
      {{1850, 1000, 1948, 1098}, 2000, {1757, 1016, 1920, 1040}},
      {{100, -300, 198, -202}, 900, {68, -202, 231, -178}},  // cell not visible: stays
      {{100, 800, 198, 898}, 850, {68, 850, 231, 874}},      // no lower than the view's bottom
  };
  for (const Case& c : cases) {
    const CellRect box = RenameBoxRect(c.cell, 20, workArea, c.viewBottom);
    EXPECT_EQ((std::vector<int32_t>{box.left, box.top, box.right, box.bottom}),
              (std::vector<int32_t>{c.box.left, c.box.top, c.box.right, c.box.bottom}))
        << c.cell.left << "," << c.cell.top;
  }

  EXPECT_EQ(BaseNameOf("/p/a.b.jpg"), "a.b");
  EXPECT_EQ(BaseNameOf("/p.d/.hidden"), ".hidden");
  EXPECT_EQ(BaseNameOf("/p.d/noext"), "noext");
  EXPECT_EQ(RenamedPath("/p/a.jpg", "b"), "/p/b.jpg");
  EXPECT_EQ(RenamedPath("/p.d/x", "y"), "/p.d/y");
  for (char c : std::string("\\/:*?\"<>|")) {
    EXPECT_TRUE(HasForbiddenNameCharacter(std::string("a") + c + "b")) << c;
  }
  EXPECT_FALSE(HasForbiddenNameCharacter("holiday 2024-07 (1)"));
}

TEST(ThumbsSelection, RulesForClicksAndKeys) {
  using O = SelectionOutcome;
  // Flags: current/selected target, Shift, Ctrl, right button, from the keyboard; a
  // current picture and an anchor exist unless noted.
  struct Case {
    bool current, selected, shift, ctrl, right, keyboard;
    O outcome;
  } cases[] = {
      {0, 0, 0, 0, 0, 0, O::kSingle},        {0, 0, 1, 0, 0, 0, O::kExtendRange},
      {0, 0, 0, 1, 0, 0, O::kCtrlMove},      {1, 0, 0, 1, 0, 0, O::kCtrlToggleOff},
      {0, 1, 0, 1, 0, 0, O::kCtrlToggleOff}, {0, 1, 0, 1, 0, 1, O::kCtrlMove},
      {0, 1, 0, 0, 1, 0, O::kCtrlMove},      {0, 0, 0, 0, 1, 0, O::kSingle},
      {1, 0, 0, 0, 0, 0, O::kRename},        {1, 0, 0, 0, 0, 1, O::kSingle},
  };
  for (const Case& c : cases) {
    const SelectionInput in{true,    true,   true,    c.current, c.selected,
                            c.shift, c.ctrl, c.right, c.keyboard};
    EXPECT_EQ(DecideSelection(in), c.outcome) << &c - cases;
  }
  EXPECT_EQ(DecideSelection({false, true, true}), O::kNoCurrent);
  // Shift without a current picture (a Ctrl click took it away) is a plain click.
  EXPECT_EQ(DecideSelection({true, false, true, false, false, true}), O::kSingle);
}

TEST(PictureHistory, VisitsBackAndForward) {
  PictureHistory history;
  std::set<int32_t> removed;
  auto exists = [&](int32_t p) { return removed.count(p) == 0; };
  for (int32_t p : {1, 2, 3, 2}) history.Visit(p);
  EXPECT_EQ(history.Entries(), (std::vector<int32_t>{1, 3, 2}));
  EXPECT_EQ(history.Back(exists), 3);
  history.Visit(3);  // the entry at the index: nothing changes
  EXPECT_EQ(history.Count(), 3);
  EXPECT_TRUE(history.CanForward());
  history.Visit(4);  // forgets what lay after the index
  EXPECT_EQ(history.Entries(), (std::vector<int32_t>{1, 3, 4}));

  removed = {3};
  EXPECT_EQ(history.Back(exists), 1);
  EXPECT_EQ(history.Index(), 0);
  removed = {1, 3};
  history.Visit(4);  // from index 0: what followed is forgotten
  EXPECT_EQ(history.Entries(), (std::vector<int32_t>{1, 4}));
  history.Visit(5);
  history.Back(exists);                // to 4
  EXPECT_EQ(history.Back(exists), 5);  // nothing left before: a step forward instead
  EXPECT_FALSE(history.CanForward());

  removed = {5};
  history.DropRemovedAtIndex(exists);
  EXPECT_EQ(history.Entries(), (std::vector<int32_t>{1, 4}));
  EXPECT_EQ(history.Index(), 1);

  PictureHistory full;
  for (int32_t p = 0; p < 60; ++p) full.Visit(p);
  EXPECT_EQ(full.Count(), PictureHistory::kCapacity);
  EXPECT_EQ(full.Entries().front(), 10);
  full.Visit(30);  // moves to the end; nothing falls off
  EXPECT_EQ(full.Count(), PictureHistory::kCapacity);
  EXPECT_EQ(full.Entries().front(), 10);
  EXPECT_EQ(full.Entries().back(), 30);
}

TEST(ThumbsBrushes, ContrastColourAwayFromTheHighlight) {
  struct Case {
    uint32_t background, highlight, contrast;
  } cases[] = {
      {0xFFFFFF, 0x3399FF, 0x7F7F7F},  // light: halved
      {0x202040, 0x3399FF, 0x9090A0},  // dark: towards white
      {0x808080, 0x3399FF, 0xC0C0C0},  // largest exactly 128 counts as dark
      {0xFFFFFF, 0x808080, 0xFFFFFF},  // halved lands on the highlight: the other way
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ColoursFor(c.background, c.highlight).contrast, c.contrast)
        << std::hex << c.background;
  }
  EXPECT_EQ(FromWindowsRgb(0x00112233), 0x332211u);
}

}  // namespace
}  // namespace gq
