#include <gtest/gtest.h>

#include "ui/WindowFormulas.h"

namespace gq {
namespace {

TEST(WindowFormulas, StatusPartsAndProgressFill) {
  struct {
    int width, height;
    std::array<int, 4> edges;
  } parts[] = {{800, 20, {520, 610, 700, 790}},
               {800, 23, {519, 609, 699, 789}},
               {300, 0, {30, 120, 210, 300}}};
  for (const auto& p : parts) {
    EXPECT_EQ(StatusPartEdges(p.width, p.height), p.edges) << p.width << "x" << p.height;
  }
  struct {
    double fraction;
    int width, filled;
  } fills[] = {{0, 200, 0}, {0.001, 200, 1}, {0.5, 200, 101}, {0.999, 200, 200}, {1, 200, 200}};
  for (const auto& f : fills) {
    EXPECT_EQ(ProgressFillWidth(f.fraction, f.width), f.filled) << f.fraction;
  }
}

TEST(WindowFormulas, ContrastColourDarkensLightAndLightensDarkUnlessThatIsTheHighlight) {
  const Rgb blue{51, 153, 255};
  struct {
    Rgb background, highlight, contrast;
  } cases[] = {
      {{255, 255, 255}, blue, {127, 127, 127}},  // light: halved
      {{128, 128, 128}, blue, {192, 192, 192}},  // largest 128 is not light
      {{129, 0, 0}, blue, {64, 0, 0}},
      {{0, 0, 0}, blue, {128, 128, 128}},
      {{255, 255, 255}, {127, 127, 127}, {255, 255, 255}},  // halved equals highlight
      {{0, 0, 0}, {100, 100, 150}, {0, 0, 0}},              // distance 122 < 160
  };
  for (const auto& c : cases) {
    Rgb got = ContrastColor(c.background, c.highlight);
    EXPECT_EQ(got, c.contrast) << c.background.r << "," << c.background.g << "," << c.background.b
                               << " -> " << got.r << "," << got.g << "," << got.b;
  }
}

TEST(WindowFormulas, NeededDiskSpace) {
  struct {
    uint64_t thumbnails, pictures, mib;
  } cases[] = {{0, 0, 20},    {37, 0, 20},   {38, 0, 21},
               {0, 2193, 20}, {0, 2194, 21}, {250, 100000, 72}};
  for (const auto& c : cases) {
    EXPECT_EQ(NeededDiskMiB(c.thumbnails, c.pictures), c.mib) << c.thumbnails << " " << c.pictures;
  }
}

TEST(WindowFormulas, TitleAndRecentList) {
  EXPECT_EQ(WindowTitle("", false, true), "GlimmerQuorum - [no name]");
  EXPECT_EQ(WindowTitle("", true, true), "GlimmerQuorum - [no name]*");
  EXPECT_EQ(WindowTitle("/p/my.pics.gqdb", true, true), "GlimmerQuorum - my.pics");
  EXPECT_EQ(WindowTitle("/p/my.gqdb", true, false), "GlimmerQuorum - my*");
  EXPECT_EQ(WindowTitle("/p/my.gqdb", false, false), "GlimmerQuorum - my");

  struct {
    RecentList before;
    std::string path;
    RecentList after;
    bool changed;
  } cases[] = {
      {{"/a", "/b", "/c", "/d"}, "/e", {"/e", "/a", "/b", "/c"}, true},
      {{"/a", "/b", "/c", "/d"}, "/C", {"/C", "/a", "/b", "/d"}, true},
      {{"/a", "/b", "/c", "/d"}, "/d", {"/d", "/a", "/b", "/c"}, true},
      {{"/a", "/b", "", ""}, "/A", {"/a", "/b", "", ""}, false},
      {{"/a", "", "", ""}, "", {"/a", "", "", ""}, false},
  };
  for (auto& c : cases) {
    EXPECT_EQ(PushRecent(c.before, c.path), c.changed) << c.path;
    EXPECT_EQ(c.before, c.after) << c.path;
  }
  EXPECT_EQ(RecentLabel(0, "/home/me/pictures.gqdb"), "&1 pictures");
  EXPECT_EQ(RecentLabel(3, "/home/me/.hidden"), "&4 .hidden");
}

}  // namespace
}  // namespace gq
