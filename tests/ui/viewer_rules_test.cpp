#include <gtest/gtest.h>

#include "ui/ViewerRules.h"

namespace gq {
namespace {

TEST(ViewerRules, PictureTargetFitsAndKeepsSmallPictures) {
  struct Case {
    int w, h, clientW, clientH;
    bool doNotZoom;
    PictureRect expected;
  };
  const Case cases[] = {
      {100, 50, 800, 600, true, {350, 275, 100, 50}},    // small: own size, centred
      {100, 50, 800, 600, false, {0, 100, 800, 400}},    // zoomed, centred vertically
      {50, 100, 800, 600, false, {250, 0, 300, 600}},    // tall: centred horizontally
      {4000, 3000, 800, 600, true, {0, 0, 800, 600}},    // same aspect fills the window
      {4000, 1000, 800, 600, true, {0, 200, 800, 200}},  // large and wide
      {801, 10, 800, 600, true, {0, 295, 800, 9}},       // wider than the window: fitted
      {799, 10, 800, 600, true, {0, 295, 799, 10}},      // narrower than its fit: own size
      {800, 600, 800, 600, true, {0, 0, 800, 600}},
      {0, 50, 800, 600, true, {}},
      {100, 50, 0, 600, false, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PictureTarget(c.w, c.h, c.clientW, c.clientH, c.doNotZoom), c.expected)
        << c.w << "x" << c.h << " in " << c.clientW << "x" << c.clientH
        << " doNotZoom=" << c.doNotZoom;
  }
}

TEST(ViewerRules, TitleRoundsTheSizeUpToWholeKilobytes) {
  EXPECT_EQ(ViewerTitle("/p/a.jpg", 0), "GlimmerQuorum - /p/a.jpg 0 KB");
  EXPECT_EQ(ViewerTitle("/p/a.jpg", 1024), "GlimmerQuorum - /p/a.jpg 1 KB");
  EXPECT_EQ(ViewerTitle("/p/a.jpg", 1025), "GlimmerQuorum - /p/a.jpg 2 KB");
}

}  // namespace
}  // namespace gq
