#include "signature/Resize.h"

#include <gtest/gtest.h>

#include <random>

#include "signature/PictureMaker.h"
#include "signature/Thumbnail.h"

namespace gq {
namespace {

using testing::Noise;

// The shrink written the plain way: one block at a time.
PackedImage ReferenceBlockAverage(const PackedImage& in, int sx, int sy) {
  PackedImage out;
  out.Allocate(in.width / sx, in.height / sy);
  const int x0 = (in.width % sx) / 2, y0 = (in.height % sy) / 2;
  for (int oy = 0; oy < out.height; ++oy)
    for (int ox = 0; ox < out.width; ++ox)
      for (int c = 0; c < 3; ++c) {
        uint64_t sum = 0;
        for (int y = 0; y < sy; ++y)
          for (int x = 0; x < sx; ++x) sum += in.row(y0 + oy * sy + y)[3 * (x0 + ox * sx + x) + c];
        out.row(oy)[3 * ox + c] = static_cast<uint8_t>(sum / (uint64_t(sx) * sy));
      }
  return out;
}

::testing::AssertionResult SameImage(const PackedImage& expected, const PackedImage& actual) {
  if (expected.width != actual.width || expected.height != actual.height)
    return ::testing::AssertionFailure()
           << "size " << actual.width << "x" << actual.height << ", expected " << expected.width
           << "x" << expected.height;
  for (int y = 0; y < expected.height; ++y)
    for (int x = 0; x < 3 * expected.width; ++x)
      if (expected.row(y)[x] != actual.row(y)[x])
        return ::testing::AssertionFailure()
               << "pixel (" << x / 3 << ", " << y << ") channel " << x % 3 << ": "
               << int(actual.row(y)[x]) << ", expected " << int(expected.row(y)[x]);
  return ::testing::AssertionSuccess();
}

TEST(BlockAverage, MatchesThePlainShrinkOnRandomPictures) {
  const unsigned seed = 20261207;
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> side(1, 700), block(1, 300);
  for (int round = 0; round < 40; ++round) {
    const int w = side(random), h = side(random);
    const int sx = std::min(block(random), w), sy = std::min(block(random), h);
    const PackedImage in = Noise(w, h, &random);
    PackedImage out;
    ASSERT_TRUE(BlockAverage(w, h, in.stride(), in.pixels.data(), sx, sy, &out));
    ASSERT_TRUE(SameImage(ReferenceBlockAverage(in, sx, sy), out))
        << "seed " << seed << " round " << round << ": " << w << "x" << h << " by " << sx << "x"
        << sy;
  }
}

TEST(BlockAverage, TallBlocksUseWideSums) {
  // 300 rows of 255 overflow 16-bit column sums.
  PackedImage in = testing::Uniform(4, 600, 255, 254, 1);
  PackedImage out;
  ASSERT_TRUE(BlockAverage(4, 600, in.stride(), in.pixels.data(), 2, 300, &out));
  EXPECT_TRUE(SameImage(testing::Uniform(2, 2, 255, 254, 1), out));
}

TEST(BlockAverage, SplitsTheRemainderAndTruncates) {
  // 5 columns by blocks of 2: the remainder 1 splits into 0 before and 1 after, so the
  // blocks are columns 0-1 and 2-3.
  PackedImage in;
  in.Allocate(5, 1);
  const uint8_t values[5] = {1, 2, 10, 13, 200};
  for (int x = 0; x < 5; ++x) in.row(0)[3 * x] = values[x];
  PackedImage out;
  ASSERT_TRUE(BlockAverage(5, 1, in.stride(), in.pixels.data(), 2, 1, &out));
  ASSERT_EQ(out.width, 2);
  EXPECT_EQ(out.row(0)[0], 1);   // (1 + 2) / 2
  EXPECT_EQ(out.row(0)[3], 11);  // (10 + 13) / 2

  // 8 columns by 3: remainder 2, so the blocks start at column 1.
  in.Allocate(8, 1);
  for (int x = 0; x < 8; ++x) in.row(0)[3 * x + 2] = static_cast<uint8_t>(x * 10);
  ASSERT_TRUE(BlockAverage(8, 1, in.stride(), in.pixels.data(), 3, 1, &out));
  ASSERT_EQ(out.width, 2);
  EXPECT_EQ(out.row(0)[2], 20);  // columns 1-3
  EXPECT_EQ(out.row(0)[5], 50);  // columns 4-6
}

TEST(BlockAverage, BlocksOfOneCopyAndEmptyOutputFails) {
  std::mt19937 random(7);
  PackedImage in = Noise(9, 4, &random);
  PackedImage out;
  ASSERT_TRUE(BlockAverage(9, 4, in.stride(), in.pixels.data(), 1, 0, &out));
  EXPECT_TRUE(SameImage(in, out));
  EXPECT_FALSE(BlockAverage(9, 4, in.stride(), in.pixels.data(), 10, 1, &out));
  EXPECT_TRUE(out.empty());
}

TEST(ResizeBilinear, SameSizeIsIdentity) {
  std::mt19937 random(11);
  PackedImage in = Noise(13, 7, &random);
  PackedImage out;
  ASSERT_TRUE(ResizeBilinear(13, 7, in.pixels.data(), 13, 7, &out));
  EXPECT_TRUE(SameImage(in, out));
}

TEST(ResizeBilinear, HandComputedSamples) {
  // 4 x 1 to 2 x 1: e = (4 * 128 * (2j + 1)) / 2 - 128 = 128 and 640, so column 0
  // samples half way between pixels 0 and 1, column 1 between 2 and 3. The single row
  // gives e = 0: yi = 0, fy = 0.
  PackedImage in;
  in.Allocate(4, 1);
  const uint8_t values[4] = {0, 100, 201, 255};
  for (int x = 0; x < 4; ++x) in.row(0)[3 * x + 1] = values[x];
  PackedImage out;
  ASSERT_TRUE(ResizeBilinear(4, 1, in.pixels.data(), 2, 1, &out));
  // (P0 * 128 + P1 * 128) * 256 >> 16 = (P0 + P1) / 2
  EXPECT_EQ(out.row(0)[1], 50);
  EXPECT_EQ(out.row(0)[4], 228);

  // 2 x 1 to 3 x 1: e = 2*128*(2j+1)/3 - 128 = -43, 128, 298: column 0 takes pixel 0
  // with fraction 213 of pixel 1 (the low byte of -43), column 2 lies past the last
  // pixel and clamps to it.
  in.Allocate(2, 1);
  in.row(0)[0] = 0;
  in.row(0)[3] = 240;
  ASSERT_TRUE(ResizeBilinear(2, 1, in.pixels.data(), 3, 1, &out));
  EXPECT_EQ(out.row(0)[0], (240 * 213 * 256) >> 16);
  EXPECT_EQ(out.row(0)[3], 120);
  EXPECT_EQ(out.row(0)[6], (240 * (256 - 42) + 240 * 42) * 256 >> 16);
}

TEST(FitResize, ShrinksByBlocksFirstOnlyWhenMoreThanHalving) {
  std::mt19937 random(5);
  PackedImage in = Noise(40, 30, &random);
  PackedImage direct, fitted;
  // 40 -> 20 is exactly half: bilinear directly.
  ASSERT_TRUE(FitResize(40, 30, in.pixels.data(), 20, 15, &fitted));
  ASSERT_TRUE(ResizeBilinear(40, 30, in.pixels.data(), 20, 15, &direct));
  EXPECT_TRUE(SameImage(direct, fitted));
  // 40 -> 9: blocks of 40/9 = 4 by 30/9 = 3 first.
  PackedImage shrunk;
  ASSERT_TRUE(BlockAverage(40, 30, in.stride(), in.pixels.data(), 4, 3, &shrunk));
  ASSERT_TRUE(ResizeBilinear(shrunk.width, shrunk.height, shrunk.pixels.data(), 9, 9, &direct));
  ASSERT_TRUE(FitResize(40, 30, in.pixels.data(), 9, 9, &fitted));
  EXPECT_TRUE(SameImage(direct, fitted));
}

TEST(MakeThumbnail, SmallPicturesAreCopiedUnchanged) {
  std::mt19937 random(3);
  for (auto [w, h] : {std::pair{96, 96}, {1, 1}, {96, 5}, {17, 80}}) {
    PackedImage in = Noise(w, h, &random);
    PackedImage thumb;
    ASSERT_TRUE(MakeThumbnail(w, h, in.stride(), in.pixels.data(), kThumbnailSide, &thumb));
    EXPECT_TRUE(SameImage(in, thumb)) << w << "x" << h;
  }
}

TEST(MakeThumbnail, LongerSideBecomes96) {
  std::mt19937 random(4);
  struct Case {
    int w, h, thumbW, thumbH;
  };
  for (const Case& c : {Case{100, 50, 96, 48}, Case{50, 100, 48, 96}, Case{97, 97, 96, 96},
                        Case{4000, 3000, 96, 72}, Case{1001, 30, 96, 2}}) {
    PackedImage in = Noise(c.w, c.h, &random);
    PackedImage thumb;
    ASSERT_TRUE(MakeThumbnail(c.w, c.h, in.stride(), in.pixels.data(), kThumbnailSide, &thumb));
    EXPECT_EQ(thumb.width, c.thumbW) << c.w << "x" << c.h;
    EXPECT_EQ(thumb.height, c.thumbH) << c.w << "x" << c.h;
    EXPECT_EQ(thumb.pixels.size(), size_t(PackedStride(c.thumbW)) * c.thumbH);
  }
}

TEST(MakeThumbnail, IsTheBlockAverageResizedBilinearly) {
  std::mt19937 random(9);
  PackedImage in = Noise(500, 333, &random);
  PackedImage thumb, shrunk, expected;
  ASSERT_TRUE(MakeThumbnail(500, 333, in.stride(), in.pixels.data(), 96, &thumb));
  // n = 500 / 96 = 5: 100 x 66, then 96 x (333 * 96 / 500 = 63).
  ASSERT_TRUE(BlockAverage(500, 333, in.stride(), in.pixels.data(), 5, 5, &shrunk));
  ASSERT_TRUE(ResizeBilinear(100, 66, shrunk.pixels.data(), 96, 63, &expected));
  EXPECT_TRUE(SameImage(expected, thumb));
}

TEST(MakeThumbnail, FailsWhenTheShrunkPictureWouldBeEmpty) {
  // n = 20000 / 96 = 208 > the height of 100: no rows are left.
  PackedImage in = testing::Uniform(20000, 100, 1, 2, 3);
  PackedImage thumb;
  EXPECT_FALSE(MakeThumbnail(20000, 100, in.stride(), in.pixels.data(), 96, &thumb));
  EXPECT_EQ(thumb.width, 0);
  EXPECT_EQ(thumb.height, 0);
}

}  // namespace
}  // namespace gq
