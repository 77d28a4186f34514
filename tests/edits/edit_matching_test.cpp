#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "edits/EditGroups.h"
#include "edits/EditMatcher.h"
#include "edits/EditsTestSupport.h"
#include "edits/Orientation.h"
#include "edits/WindowSampler.h"

namespace gq {
namespace {

using namespace test;

// Turning a grid and turning its coefficients must agree for every orientation, and an
// orientation followed by its inverse must give the grid back: the lookups turn
// coefficients, the confirmation turns grids.
TEST(Orientation, GridsAndCoefficientsTurnAlike) {
  std::mt19937 random(7);
  std::normal_distribution<float> noise;
  float grid[kSampleSide * kSampleSide], turned[kSampleSide * kSampleSide],
      back[kSampleSide * kSampleSide];
  for (float& cell : grid) cell = noise(random);
  float coefficients[kKeyLength + 1] = {}, expected[kKeyLength + 1], actual[kKeyLength + 1] = {};
  WindowCoefficients(grid, coefficients + 1);
  for (int o = 0; o < kOrientationCount; ++o) {
    OrientGrid(grid, kSampleSide, Orientations()[o], turned);
    WindowCoefficients(turned, actual + 1);
    OrientCoefficients(coefficients, kCoefficientSide, Orientations()[o], expected);
    for (int k = 1; k <= kKeyLength; ++k) {
      EXPECT_NEAR(actual[k], expected[k], 1e-3) << OrientationName(o) << " coefficient " << k;
    }
    OrientGrid(turned, kSampleSide, Orientations()[InverseOrientation(o)], back);
    EXPECT_TRUE(std::equal(grid, grid + kSampleSide * kSampleSide, back)) << OrientationName(o);
  }
}

// A window's sample is the area average of the stored grey picture over the window's
// cells, normalised: checked against a plain per-pixel reference for the fixed windows
// and uneven cuts up to the largest a fit may reach.
TEST(EditMatching, WindowSamplesAverageTheirCells) {
  std::mt19937 random(11);
  EditDescriptor descriptor;
  for (uint8_t& grey : descriptor.base) grey = static_cast<uint8_t>(random());
  WindowSampler sampler;
  sampler.Reset(descriptor);
  std::vector<CropWindow> windows = {{0.2f, 0, 0.03f, 0.2f}, {0.01f, 0.17f, 0.2f, 0.09f}};
  for (int w = 0; w < kWindowCount; ++w) windows.push_back(WindowAt(w));
  for (const CropWindow& window : windows) {
    const float x0 = window.left * kBaseSide, y0 = window.top * kBaseSide;
    const float cellWidth = (1 - window.left - window.right) * kBaseSide / kSampleSide;
    const float cellHeight = (1 - window.top - window.bottom) * kBaseSide / kSampleSide;
    auto overlap = [](float from, float to, int pixel) {
      return std::max(0.0f, std::min(to, pixel + 1.0f) - std::max(from, static_cast<float>(pixel)));
    };
    float expected[kSampleSide * kSampleSide], actual[kSampleSide * kSampleSide];
    for (int j = 0; j < kSampleSide; ++j) {
      for (int i = 0; i < kSampleSide; ++i) {
        double sum = 0;
        for (int y = 0; y < kBaseSide; ++y) {
          for (int x = 0; x < kBaseSide; ++x) {
            sum += overlap(x0 + i * cellWidth, x0 + (i + 1) * cellWidth, x) *
                   overlap(y0 + j * cellHeight, y0 + (j + 1) * cellHeight, y) *
                   descriptor.base[y * kBaseSide + x];
          }
        }
        expected[j * kSampleSide + i] = static_cast<float>(sum / (cellWidth * cellHeight));
      }
    }
    double mean = 0, squares = 0;
    for (float v : expected) mean += v / (kSampleSide * kSampleSide);
    for (float v : expected) squares += (v - mean) * (v - mean) / (kSampleSide * kSampleSide);
    for (float& v : expected) v = static_cast<float>((v - mean) / std::sqrt(squares));
    ASSERT_TRUE(SampleWindow(descriptor, window, actual));
    for (int c = 0; c < kSampleSide * kSampleSide; ++c) {
      ASSERT_NEAR(actual[c], expected[c], 1e-3)
          << "cell " << c << " of window " << window.left << " " << window.right << " "
          << window.top << " " << window.bottom;
    }
    ASSERT_TRUE(sampler.Sample(window, actual));
    for (int c = 0; c < kSampleSide * kSampleSide; ++c) ASSERT_NEAR(actual[c], expected[c], 1e-3);
    ASSERT_NEAR(sampler.Correlate(window, expected), 1, 1e-4);
  }
  // Cells narrower than a pixel are widened to one: the sampler then samples as well.
  float narrow[kSampleSide * kSampleSide], direct[kSampleSide * kSampleSide];
  ASSERT_TRUE(SampleWindow(descriptor, {0.3f, 0.3f, 0.35f, 0.4f}, direct));
  ASSERT_TRUE(sampler.Sample({0.3f, 0.3f, 0.35f, 0.4f}, narrow));
  EXPECT_TRUE(std::equal(narrow, narrow + kSampleSide * kSampleSide, direct));
  EXPECT_NEAR(sampler.Correlate({0.3f, 0.3f, 0.35f, 0.4f}, direct), 1, 1e-4);
}

// A crop is fitted from the nearest fixed window to within the finest step per side; a
// part of the picture that shares too little with it is not confirmed.
TEST(EditMatching, FitsTheWindowOfACrop) {
  const PackedImage original = PhotoLike(5);
  const EditDescriptor from = DescriptorOf(original);
  auto nearest = [](float cut) { return cut < 0.0775f ? 0.04f : 0.115f; };
  const CropWindow cuts[] = {
      {0.1f, 0.05f, 0.12f, 0.02f}, {0.0f, 0.15f, 0.06f, 0.13f}, {0.08f, 0.08f, 0.0f, 0.0f}};
  for (const CropWindow& cut : cuts) {
    const EditDescriptor to =
        DescriptorOf(Region(original, cut.left, cut.top, 1 - cut.right, 1 - cut.bottom));
    const CropWindow start = {nearest(cut.left), nearest(cut.right), nearest(cut.top),
                              nearest(cut.bottom)};
    EditFit fit;
    ASSERT_TRUE(ConfirmEdit(from, to, 0, start, &fit)) << cut.left << " " << cut.top;
    EXPECT_NEAR(fit.window.left, cut.left, 0.02f);
    EXPECT_NEAR(fit.window.right, cut.right, 0.02f);
    EXPECT_NEAR(fit.window.top, cut.top, 0.02f);
    EXPECT_NEAR(fit.window.bottom, cut.bottom, 0.02f);
  }
  EditFit fit;
  EXPECT_FALSE(ConfirmEdit(from, DescriptorOf(Region(original, 0, 0, 0.5f, 0.5f)), 0,
                           WindowAt(kWindowCount - 1), &fit));
}

// The groups of an original, one edited copy and distractors that must stay apart:
// parts of the original that share little with it, and other photos.
std::vector<std::vector<EditMember>> GroupsWithDistractors(const PackedImage& original,
                                                           const PackedImage& copy, uint32_t seed) {
  std::vector<EditDescriptor> descriptors = {DescriptorOf(original), DescriptorOf(copy)};
  for (const PackedImage& distractor :
       {Region(original, 0, 0, 0.34f, 1), Region(original, 0.66f, 0, 1, 1),
        Region(original, 0, 0, 0.5f, 0.5f), Region(original, 0.5f, 0.5f, 1, 1),
        Region(original, 0.2f, 0.2f, 0.65f, 0.65f), PhotoLike(seed + 1000),
        PhotoLike(seed + 2000)}) {
    descriptors.push_back(DescriptorOf(distractor));
  }
  std::vector<const EditDescriptor*> pointers;
  for (const EditDescriptor& d : descriptors) pointers.push_back(&d);
  return GroupEdits(static_cast<int32_t>(pointers.size()), FindEditMatches(pointers, {}));
}

TEST(EditMatching, GroupsEachEditKindUnderItsNameAndNothingElse) {
  const struct {
    const char* edit;
    std::function<PackedImage(const PackedImage&)> make;
  } cases[] = {
      {"identity", [](const PackedImage& p) { return Region(p, 0, 0, 1, 1); }},
      {"identity",
       [](const PackedImage& p) { return Toned(p, [](float v, int) { return v * 1.25f; }); }},
      {"identity",
       [](const PackedImage& p) { return Toned(p, [](float v, int) { return v * 0.75f; }); }},
      {"identity",
       [](const PackedImage& p) {
         return Toned(p, [](float v, int) { return 128 + (v - 128) * 1.3f; });
       }},
      {"identity", [](const PackedImage& p) { return Grey(p); }},
      {"mirror", [](const PackedImage& p) { return MirroredLeftRight(p); }},
      {"rot90", [](const PackedImage& p) { return Rotated90(p); }},
      {"rot180", [](const PackedImage& p) { return Rotated90(Rotated90(p)); }},
      {"rot270", [](const PackedImage& p) { return Rotated90(Rotated90(Rotated90(p))); }},
      {"crop", [](const PackedImage& p) { return Region(p, 0.1f, 0.1f, 0.9f, 0.9f); }},
      {"crop", [](const PackedImage& p) { return Region(p, 0.15f, 0.02f, 0.95f, 0.88f); }},
      {"mirror+crop",
       [](const PackedImage& p) { return MirroredLeftRight(Region(p, 0.12f, 0.12f, 1, 1)); }},
  };
  // Crops must be found in 3 of 4 photos (their lookup depends on how near a crop lies
  // to one of the fixed windows), the other edits in all; a distractor is never grouped.
  for (const auto& c : cases) {
    int found = 0;
    for (uint32_t seed = 1; seed <= 4; ++seed) {
      const PackedImage original = PhotoLike(seed);
      const auto groups = GroupsWithDistractors(original, c.make(original), seed);
      ASSERT_LE(groups.size(), 1u) << c.edit << " seed " << seed;
      if (groups.empty()) continue;
      ASSERT_EQ(groups[0].size(), 2u) << c.edit << " seed " << seed;
      EXPECT_EQ(groups[0][0].index, 0);
      EXPECT_EQ(groups[0][1].edit, c.edit) << " seed " << seed;
      ++found;
    }
    EXPECT_GE(found, std::string(c.edit).find("crop") == std::string::npos ? 4 : 3) << c.edit;
  }
}

// With many pictures in the index (each bucket shared, the key's thresholds taken from
// the collection) every copy is still found, and only with its own original.
TEST(EditMatching, FindsEachCopyAmongManyPictures) {
  const std::function<PackedImage(const PackedImage&)> edits[] = {
      [](const PackedImage& p) { return MirroredLeftRight(p); },
      [](const PackedImage& p) { return Rotated90(p); },
      [](const PackedImage& p) { return Grey(p); },
      [](const PackedImage& p) { return Toned(p, [](float v, int) { return v * 1.2f; }); },
      [](const PackedImage& p) { return Region(p, 0.1f, 0.1f, 0.9f, 0.9f); },
  };
  std::vector<EditDescriptor> descriptors;
  std::vector<int32_t> originalOf;  // per picture the index of its original, or -1
  for (uint32_t seed = 100; seed < 300; ++seed) {
    const PackedImage original = PhotoLike(seed, 200, 150);
    descriptors.push_back(DescriptorOf(original));
    originalOf.push_back(-1);
    if (seed % 8 != 0) continue;
    descriptors.push_back(DescriptorOf(edits[seed / 8 % std::size(edits)](original)));
    originalOf.push_back(static_cast<int32_t>(descriptors.size()) - 2);
  }
  std::vector<const EditDescriptor*> pointers;
  for (const EditDescriptor& d : descriptors) pointers.push_back(&d);
  const auto groups =
      GroupEdits(static_cast<int32_t>(pointers.size()), FindEditMatches(pointers, {}));
  EXPECT_EQ(groups.size(), 25u);
  for (const auto& group : groups) {
    ASSERT_EQ(group.size(), 2u);
    EXPECT_EQ(originalOf[static_cast<size_t>(group[1].index)], group[0].index)
        << "pictures " << group[0].index << " and " << group[1].index;
  }
}

// A member is named by how it shows the member it joined through: the original first,
// its copy that is turned back ("rot270" for a picture that a quarter turn gave), and a
// larger picture whose crop came first is an "uncrop".
TEST(EditMatching, NamesTheEditFromTheMemberJoinedThrough) {
  const PackedImage original = PhotoLike(9);
  std::vector<EditDescriptor> descriptors = {DescriptorOf(Rotated90(original)),
                                             DescriptorOf(original)};
  std::vector<const EditDescriptor*> pointers = {&descriptors[0], &descriptors[1]};
  auto groups = GroupEdits(2, FindEditMatches(pointers, {}));
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0][1].edit, "rot270");

  const EditDescriptor crop = DescriptorOf(Region(original, 0.1f, 0.1f, 0.9f, 0.9f));
  groups = GroupEdits(2, FindEditMatches({&crop, &descriptors[1]}, {}));
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0][0].edit, "");
  EXPECT_EQ(groups[0][1].edit, "uncrop");
}

TEST(EditMatching, FlatPicturesAndStopsMatchNothing) {
  PackedImage flat;
  flat.Allocate(200, 150);
  std::fill(flat.pixels.begin(), flat.pixels.end(), 90);
  const EditDescriptor a = DescriptorOf(flat), b = DescriptorOf(flat);
  EXPECT_EQ(a.flat, 1);
  EXPECT_TRUE(FindEditMatches({&a, &b, nullptr}, {}).empty());

  const EditDescriptor c = DescriptorOf(PhotoLike(3)), d = DescriptorOf(PhotoLike(3));
  EditMatchOptions stopAtOnce;
  stopAtOnce.threads = 1;
  stopAtOnce.progress = [](double) { return false; };
  bool stopped = false;
  FindEditMatches({&c, &d}, stopAtOnce, &stopped);
  EXPECT_TRUE(stopped);
}

}  // namespace
}  // namespace gq
