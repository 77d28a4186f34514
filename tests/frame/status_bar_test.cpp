#include <gtest/gtest.h>

#include <vector>

#include "frame/StatusBar.h"

namespace gq {
namespace {

// Each step offers a text at a time (ms after the start) and expects the wait answer
// and the text shown afterwards.
TEST(StatusBar, HoldRuleKeepsAnErrorVisibleForItsHoldTime) {
  struct Step {
    int atMs;
    const char* text;
    int holdMs;
    int wait;
    const char* shown;
  };
  struct {
    const char* name;
    bool pauseOnError;
    std::vector<Step> steps;
  } cases[] = {
      {"progress text dropped, waiting text shown later",
       true,
       {{0, "error", 4000, 0, "error"},
        {10, "progress", 0, 0, "error"},
        {20, "ready", -1, 3980, "error"},
        {4000, "ready", -1, 0, "ready"}}},
      {"longer hold dropped, shorter and equal wait",
       true,
       {{0, "error", 3000, 0, "error"},
        {1, "long", 3001, 0, "error"},
        {1, "short", 1, 2999, "error"},
        {2999, "equal", 3000, 1, "error"},
        {3000, "equal", 3000, 0, "equal"}}},
      {"the wait is at most 4000 ms",
       true,
       {{0, "error", 10000, 0, "error"}, {100, "next", -1, 4000, "error"}}},
      {"no hold: every text shows",
       true,
       {{0, "a", 0, 0, "a"}, {1, "b", -1, 0, "b"}, {2, "c", 0, 0, "c"}}},
      {"pause on error off",
       false,
       {{0, "error", 4000, 0, "error"}, {10, "progress", 0, 0, "progress"}}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> printed;
    StatusBar bar([&](const std::string& text) { printed.push_back(text); });
    bar.m_PauseOnError = c.pauseOnError;
    auto start = StatusBar::Clock::now();
    for (const Step& step : c.steps) {
      int wait = bar.Offer(step.text, step.holdMs, start + std::chrono::milliseconds(step.atMs));
      EXPECT_EQ(wait, step.wait) << c.name << ": " << step.text << " at " << step.atMs;
      EXPECT_EQ(bar.Current(), step.shown) << c.name << ": " << step.text << " at " << step.atMs;
    }
  }
}

}  // namespace
}  // namespace gq
