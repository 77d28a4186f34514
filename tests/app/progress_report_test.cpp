#include <gtest/gtest.h>

#include "app/ProgressReport.h"

namespace gq {
namespace {

TEST(ProgressText, CountsRateElapsedAndEta) {
  const struct {
    ProgressCounts counts;
    double seconds;
    const char* text;
  } cases[] = {
      {{0, 0, 0}, 0, "0/0 files (0%), 0 added, 0.0 files/s, elapsed 0:00"},
      {{120, 400, 100}, 10, "120/400 files (30%), 100 added, 12.0 files/s, elapsed 0:10, ETA 0:23"},
      // The counter may still be behind the loader.
      {{50, 20, 50}, 5, "50/50 files (100%), 50 added, 10.0 files/s, elapsed 0:05, ETA 0:00"},
      {{1, 100000, 1},
       3725,
       "1/100000 files (0%), 1 added, 0.0 files/s, elapsed 1:02:05, "
       "ETA 103471:11:15"},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgressText(c.counts, c.seconds), c.text);
}

}  // namespace
}  // namespace gq
