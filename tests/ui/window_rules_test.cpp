#include <gtest/gtest.h>

#include <algorithm>

#include "search/SearchEngine.h"
#include "ui/CommandState.h"
#include "ui/CommandTable.h"
#include "ui/Housekeeping.h"
#include "ui/LoadingEnd.h"
#include "ui/WindowKeys.h"

namespace gq {
namespace {

CommandLook LookOf(const CommandState& state, int id) {
  std::vector<CommandLook> looks = CommandLooks(state);
  auto found = std::find_if(looks.begin(), looks.end(), [id](auto& l) { return l.id == id; });
  return found == looks.end() ? CommandLook{id, true, false} : *found;
}

TEST(CommandState, GreyedAndCheckedCommands) {
  struct {
    const char* what;
    void (*change)(CommandState&);
    int id;
    bool enabled, checked;
  } cases[] = {
      {"saved with file", [](CommandState& s) { s.saved = true, s.hasFile = true; }, kCmdSaveDb,
       false, false},
      {"saved, no file", [](CommandState& s) { s.saved = true, s.hasFile = false; }, kCmdSaveDb,
       true, false},
      {"unsaved with file", [](CommandState& s) { s.saved = false, s.hasFile = true; }, kCmdSaveDb,
       true, false},
      {"no file", [](CommandState& s) { s.hasFile = false; }, kCmdFindDb, false, false},
      {"idle", [](CommandState& s) { s.loading = false, s.paused = true; }, kCmdPauseLoading, false,
       false},
      {"loading", [](CommandState& s) { s.loading = true; }, kCmdStopLoading, true, false},
      {"paused", [](CommandState& s) { s.loading = true, s.paused = true; }, kCmdPauseLoading, true,
       true},
      {"mode", [](CommandState& s) { s.listMode = kListSearchDuplicates; },
       kCmdListSearchDuplicates, true, true},
      {"other mode", [](CommandState& s) { s.listMode = kListSearchDuplicates; }, kCmdListUnsorted,
       true, false},
      {"no history back", [](CommandState& s) { s.canGoForward = true; }, kCmdPrevious, false,
       false},
      {"history forward", [](CommandState& s) { s.canGoForward = true; }, kCmdNext, true, false},
      {"no current", [](CommandState&) {}, kCmdScrollToSelection, false, false},
      {"viewer framed", [](CommandState& s) { s.viewerFramed = true; }, kCmdPictureInWindow, true,
       true},
      {"viewer framed", [](CommandState& s) { s.viewerFramed = true; }, kCmdPictureFullscreen, true,
       false},
      {"zoom", [](CommandState& s) { s.zoomSmall = true; }, kCmdZoomSmall, true, true},
      {"compact", [](CommandState& s) { s.compactView = true; }, kCmdCompactView, true, true},
      {"autosave off", [](CommandState& s) { s.autosave = false; }, kCmdAutosave, true, false},
  };
  for (const auto& c : cases) {
    CommandState state;
    c.change(state);
    CommandLook look = LookOf(state, c.id);
    EXPECT_EQ(look.enabled, c.enabled) << c.what;
    EXPECT_EQ(look.checked, c.checked) << c.what;
  }
}

TEST(Housekeeping, WarningsKeepAQuietPeriodUnlessUrgent) {
  Housekeeping keeping;
  HousekeepingFacts low{.freeMemoryMiB = 20, .freeDiskMiB = 5000};
  EXPECT_TRUE(keeping.Tick(low).warnMemory);
  for (int tick = 1; tick <= 60; ++tick) EXPECT_FALSE(keeping.Tick(low).warnMemory) << tick;
  EXPECT_TRUE(keeping.Tick(low).warnMemory) << "61 ticks after the last warning";

  HousekeepingFacts urgent{.freeMemoryMiB = 9, .freeDiskMiB = 5000};
  EXPECT_TRUE(keeping.Tick(urgent).warnMemory) << "below 10 MiB warns at once";
  HousekeepingFacts disk{.freeMemoryMiB = 500, .freeDiskMiB = 9, .hasFile = false};
  EXPECT_FALSE(keeping.Tick(disk).warnDisk) << "quiet: the disk of no database file";
  disk.hasFile = true;
  EXPECT_TRUE(keeping.Tick(disk).warnDisk);
  EXPECT_FALSE(keeping.Tick({.freeMemoryMiB = 500, .freeDiskMiB = -1}).warnDisk);
}

TEST(Housekeeping, AutosaveAtTheThirteenthUnsavedTickInARow) {
  HousekeepingFacts unsaved{.freeMemoryMiB = 500, .hasFile = true, .saved = false};
  struct {
    const char* what;
    bool breakAt6;
    HousekeepingFacts breaker;
  } cases[] = {
      {"in a row", false, {}},
      {"saved meanwhile", true, {.freeMemoryMiB = 500, .hasFile = true, .saved = true}},
      {"autosave off",
       true,
       {.freeMemoryMiB = 500, .hasFile = true, .saved = false, .autosave = false}},
      {"no file", true, {.freeMemoryMiB = 500, .hasFile = false, .saved = false}},
  };
  for (const auto& c : cases) {
    Housekeeping keeping;
    int savedAt = 0;
    for (int tick = 1; tick <= 13 && !savedAt; ++tick) {
      if (keeping.Tick(c.breakAt6 && tick == 6 ? c.breaker : unsaved).save) savedAt = tick;
    }
    EXPECT_EQ(savedAt, c.breakAt6 ? 0 : 13) << c.what;
  }
}

TEST(WindowKeys, CtrlTabCycleSkipsWindowsNotShown) {
  //                  main  viewer find  criteria dup   mosaic
  std::array<bool, 6> shown{true, false, true, false, false, true};
  struct {
    int from;
    bool forward;
    int to;
  } cases[] = {{0, false, 5}, {5, false, 2}, {2, false, 0}, {0, true, 2},
               {2, true, 5},  {5, true, 0},  {-1, true, 0}, {-1, false, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(NextCycleWindow(shown, c.from, c.forward), c.to) << c.from << " " << c.forward;
  }
  EXPECT_EQ(NextCycleWindow({true}, 0, false), 0) << "alone, the main window stays";
}

TEST(LoadingEnd, CurrentPictureAndFrontWindow) {
  struct {
    const char* what;
    LoadingEndFacts facts;
    int32_t current;
    bool raiseViewer, raiseWindow;
  } cases[] = {
      {"stopped",
       {.stopped = true, .lastLoaded = 4, .select = true, .activate = true},
       -1,
       false,
       false},
      {"last loaded", {.countBefore = 3, .count = 3, .lastLoaded = 7}, 7, false, false},
      {"select, new", {.countBefore = 3, .count = 5, .select = true}, kNewestPicture, false, false},
      {"select, none new", {.countBefore = 5, .count = 5, .select = true}, -1, false, false},
      {"select, no count", {.count = 5, .select = true}, -1, false, false},
      {"select in similar",
       {.countBefore = 0, .count = 5, .select = true, .listMode = kListSearchSimilar},
       -1,
       false,
       false},
      {"activate", {.countBefore = 0, .count = 5, .activate = true}, -1, false, true},
      {"activate, viewer",
       {.countBefore = 0, .count = 5, .activate = true, .viewerShown = true},
       -1,
       true,
       false},
      {"activate, viewer, none new",
       {.countBefore = 5, .count = 5, .activate = true, .viewerShown = true},
       -1,
       false,
       true},
      {"activate in duplicates",
       {.countBefore = 0, .count = 5, .activate = true, .listMode = kListSearchDuplicates},
       -1,
       false,
       false},
  };
  for (const auto& c : cases) {
    LoadingEndPlan plan = PlanLoadingEnd(c.facts);
    EXPECT_EQ(plan.current, c.current) << c.what;
    EXPECT_EQ(plan.raiseViewer, c.raiseViewer) << c.what;
    EXPECT_EQ(plan.raiseWindow, c.raiseWindow) << c.what;
    EXPECT_EQ(plan.clearSelect, !c.facts.stopped && (c.facts.select || c.facts.lastLoaded >= 0))
        << c.what;
    EXPECT_EQ(plan.forgetCountBefore, !c.facts.stopped) << c.what;
  }
}

}  // namespace
}  // namespace gq
