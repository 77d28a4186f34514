#include "signature/Signature.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "signature/PictureMaker.h"
#include "signature/SignatureVariants.h"

namespace gq {
namespace {

using testing::FillRect;
using testing::Uniform;

Signature SignatureOf(const PackedImage& thumb, int pictureWidth = 0, int pictureHeight = 0) {
  Signature s{};
  s[kSigFilePath] = 1234;
  EXPECT_TRUE(ComputeSignature(thumb.width, thumb.height, thumb.pixels.data(),
                               pictureWidth ? pictureWidth : thumb.width,
                               pictureHeight ? pictureHeight : thumb.height, s.data()));
  return s;
}

// Compares a run of signature values and names the first index that differs.
::testing::AssertionResult ValuesAre(const Signature& s, int first,
                                     std::initializer_list<int> expected) {
  int i = first;
  for (int value : expected) {
    if (s[i] != value)
      return ::testing::AssertionFailure()
             << "value " << i << " is " << s[i] << ", expected " << value;
    ++i;
  }
  return ::testing::AssertionSuccess();
}

TEST(ConvertColour, CasesAndTies) {
  struct Case {
    uint8_t b, g, r, hue, chroma, white;
  };
  const Case cases[] = {
      {0, 0, 255, 96, 255, 0},       // red: case 1, f = 0
      {0, 255, 255, 127, 255, 0},    // R = G > B: case 1 with f = 255
      {255, 255, 0, 191, 255, 0},    // B = G > R: case 4 with f = 255
      {255, 0, 0, 32, 255, 0},       // blue: case 2, f = 0
      {0, 255, 0, 160, 255, 0},      // green: case 4, f = 0
      {255, 0, 255, 63, 255, 0},     // B = R > G: case 2, f = 255
      {77, 77, 77, 255, 0, 77},      // grey
      {10, 100, 200, 111, 255, 10},  // case 1: f = 90 * 255 / 190 = 120; chroma capped
      {100, 10, 200, 80, 255, 10},   // case 3: (512 + 255 - 120) / 8
      {100, 60, 50, 25, 60, 50},     // case 6: f = 51, (255 - 51) / 8; chroma 50 + 10
      {30, 20, 10, 16, 30, 10},      // case 6: f = 127, (255 - 127) / 8; chroma 20 + 10
  };
  for (const Case& c : cases) {
    const PixelColour p = ConvertColour(c.b, c.g, c.r);
    const std::string where =
        std::to_string(c.b) + " " + std::to_string(c.g) + " " + std::to_string(c.r);
    EXPECT_EQ(p.hue, c.hue) << where;
    EXPECT_EQ(p.chroma, c.chroma) << where;
    EXPECT_EQ(p.white, c.white) << where;
  }
}

// The conversion table written out case by case, with an integer division.
PixelColour PlainColour(int b, int g, int r) {
  const int which = 4 * (r < g) + 2 * (g < b) + (b < r);
  int largest, middle, smallest, code;
  switch (which) {
    case 1:
      largest = r, middle = g, smallest = b;
      code = 3 * 256 + (middle - smallest) * 255 / (largest - smallest);
      break;
    case 2:
      largest = b, middle = r, smallest = g;
      code = 1 * 256 + (middle - smallest) * 255 / (largest - smallest);
      break;
    case 3:
      largest = r, middle = b, smallest = g;
      code = 2 * 256 + 255 - (middle - smallest) * 255 / (largest - smallest);
      break;
    case 4:
      largest = g, middle = b, smallest = r;
      code = 5 * 256 + (middle - smallest) * 255 / (largest - smallest);
      break;
    case 5:
      largest = g, middle = r, smallest = b;
      code = 4 * 256 + 255 - (middle - smallest) * 255 / (largest - smallest);
      break;
    case 6:
      largest = b, middle = g, smallest = r;
      code = 0 * 256 + 255 - (middle - smallest) * 255 / (largest - smallest);
      break;
    default:
      return PixelColour{255, 0, static_cast<uint8_t>(b)};
  }
  return PixelColour{static_cast<uint8_t>(code / 8),
                     static_cast<uint8_t>(std::min(255, largest - smallest + middle - smallest)),
                     static_cast<uint8_t>(smallest)};
}

TEST(ConvertColour, EveryColourMatchesTheTable) {
  // Rows of 256 pixels, red running 0-255, go through the conversion's vector lanes; the
  // single pixels above take its scalar tail. Every build of the conversion this
  // processor runs is checked.
  for (const SignatureVariant& variant : RunnableSignatureVariants()) {
    SCOPED_TRACE(variant.name);
    int wrong = 0;
    uint8_t row[3 * 256], hue[256], chroma[256], white[256];
    for (int b = 0; b < 256; ++b)
      for (int g = 0; g < 256; ++g) {
        for (int r = 0; r < 256; ++r) {
          row[3 * r] = static_cast<uint8_t>(b);
          row[3 * r + 1] = static_cast<uint8_t>(g);
          row[3 * r + 2] = static_cast<uint8_t>(r);
        }
        variant.convertColours(row, 256, hue, chroma, white);
        for (int r = 0; r < 256; ++r) {
          const PixelColour plain = PlainColour(b, g, r);
          if (hue[r] != plain.hue || chroma[r] != plain.chroma || white[r] != plain.white) {
            if (++wrong <= 5)
              ADD_FAILURE() << "b " << b << " g " << g << " r " << r << ": hue " << int{hue[r]}
                            << " chroma " << int{chroma[r]} << " white " << int{white[r]}
                            << ", the table gives " << int{plain.hue} << " "
                            << int{plain.chroma} << " " << int{plain.white};
          }
        }
      }
    EXPECT_EQ(wrong, 0);
  }
}

TEST(ComputeSignature, CoarseCellsHandComputed) {
  // A 3 x 3 thumbnail: every cell is one pixel.
  PackedImage thumb = Uniform(3, 3, 128, 128, 128);
  FillRect(&thumb, 0, 0, 1, 1, 255, 0, 0);    // blue
  FillRect(&thumb, 1, 0, 1, 1, 0, 0, 255);    // red
  FillRect(&thumb, 2, 0, 1, 1, 0, 255, 0);    // green
  FillRect(&thumb, 0, 1, 1, 1, 0, 255, 255);  // yellow
  FillRect(&thumb, 1, 1, 1, 1, 40, 80, 200);  // the centre cell
  const Signature s = SignatureOf(thumb);
  EXPECT_TRUE(ValuesAre(s, 0, {5461, 3153, 6306, 8160}));
  EXPECT_TRUE(ValuesAre(s, 4, {-5461, 3153, 6306, 8160}));
  EXPECT_TRUE(ValuesAre(s, 8, {0, -6306, 6306, 16320}));
  EXPECT_TRUE(ValuesAre(s, 12, {-10922, -6306, 12612, 24480}));
  EXPECT_TRUE(ValuesAre(s, 16, {-4751, 1371, 4945, 12800}));
  EXPECT_TRUE(ValuesAre(s, 20, {0, 0, 0, 16384}));
}

TEST(ComputeSignature, UniformGrey) {
  const PackedImage thumb = Uniform(10, 10, 128, 128, 128);
  const Signature s = SignatureOf(thumb);
  for (int cell = 0; cell < 9; ++cell)
    EXPECT_TRUE(ValuesAre(s, 4 * cell, {0, 0, 0, 16384})) << "cell " << cell;
  for (int i = kSigTexture; i < kSigLocal; ++i) EXPECT_EQ(s[i], 0) << i;
  for (int i = kSigLocal; i < kSigHue; ++i) EXPECT_EQ(s[i], 0) << i;
  EXPECT_TRUE(ValuesAre(s, kSigHue, {0, 0, 0, 0, 0, 0}));
  // Chroma bin 0 holds all 100 pixels: 100 * 32768 / 101.
  EXPECT_TRUE(ValuesAre(s, kSigChroma, {32443, 0, 0, 0, 0, 0}));
  // White level 128 lies in the windows centred at 105 and 147.
  EXPECT_TRUE(ValuesAre(s, kSigWhite, {0, 0, 32443, 32443, 0, 0}));
  EXPECT_TRUE(ValuesAre(s, kSigFormat, {0, 7774, 7774}));
  EXPECT_EQ(s[kSigFilePath], 1234);  // not written
}

TEST(ComputeSignature, GlobalHueWindows) {
  // All pure red: hue 96 with chroma 255, 255 * 100 * 512 / 100 = 130560 in bin 96,
  // which the windows centred at 93 and 124 both hold; halved and capped.
  const Signature s = SignatureOf(Uniform(10, 10, 0, 0, 255));
  EXPECT_TRUE(ValuesAre(s, kSigHue, {0, 0, 0, 32767, 32767, 0}));
  EXPECT_TRUE(ValuesAre(s, kSigChroma, {0, 0, 0, 0, 0, 32443}));
  EXPECT_TRUE(ValuesAre(s, kSigWhite, {32443, 0, 0, 0, 0, 0}));
  // Cyan sits at hue 0: its window wraps around to bins 161-191.
  const Signature cyan = SignatureOf(Uniform(10, 10, 255, 255, 0));
  EXPECT_EQ(cyan[kSigHue], 32767);  // hue 191 lies in the wrapped part of window 0
}

TEST(ComputeSignature, FormatAndSizeValues) {
  const PackedImage thumb = Uniform(4, 4, 1, 2, 3);
  EXPECT_EQ(SignatureOf(thumb, 100, 50)[kSigFormat], 16383);
  EXPECT_EQ(SignatureOf(thumb, 50, 100)[kSigFormat], -16383);
  EXPECT_EQ(SignatureOf(thumb, 77, 77)[kSigFormat], 0);
  struct Case {
    int side, value;
  };
  for (const Case& c : {Case{1, 0}, Case{2, 2340}, Case{100, 15549}, Case{16384, 32766},
                        Case{16385, 32767}, Case{1000000, 32767}}) {
    const Signature s = SignatureOf(thumb, c.side, 3);
    EXPECT_EQ(s[kSigWidth], c.value) << "width " << c.side;
    EXPECT_EQ(SignatureOf(thumb, 3, c.side)[kSigHeight], c.value) << "height " << c.side;
  }
}

TEST(ComputeSignature, TextureHandComputed) {
  // Grey columns 0, 255, 0, 255 over 2 rows: three neighbourhoods, each with horizontal,
  // anti-diagonal and diagonal difference 255: 765 * 32768 / (255 * 3 * 1 + 1).
  PackedImage thumb = Uniform(4, 2, 0, 0, 0);
  FillRect(&thumb, 1, 0, 1, 2, 255, 255, 255);
  FillRect(&thumb, 3, 0, 1, 2, 255, 255, 255);
  const Signature s = SignatureOf(thumb);
  EXPECT_TRUE(ValuesAre(s, kSigTexture, {32725, 0, 32725, 32725}));
  // The next level is 2 x 1: too low, all 0.
  EXPECT_TRUE(ValuesAre(s, kSigTexture + 4, {0, 0, 0, 0}));
}

TEST(ComputeSignature, TextureLevelsOfAFiveWideThumbnail) {
  // Widths 5, 2, 1, 0: levels 2 and 3 are 0 whatever the content.
  std::mt19937 random(17);
  const PackedImage thumb = testing::Noise(5, 40, &random);
  const Signature s = SignatureOf(thumb);
  EXPECT_NE(s[kSigTexture], 0);
  EXPECT_NE(s[kSigTexture + 4], 0);  // 2 x 20
  for (int i = kSigTexture + 8; i < kSigLocal; ++i) EXPECT_EQ(s[i], 0) << i;
}

TEST(ComputeSignature, HalvingDropsTheLastOddColumn) {
  // 7 x 6 halves to 3 x 3 from columns 0-5: the second level equals that of the 6 x 6
  // picture with the same first six columns, whatever column 6 holds.
  std::mt19937 random(23);
  PackedImage seven = testing::Noise(7, 6, &random);
  PackedImage six;
  six.Allocate(6, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 18; ++x) six.row(y)[x] = seven.row(y)[x];
  const Signature a = SignatureOf(seven);
  FillRect(&seven, 6, 0, 1, 6, 0, 255, 0);
  const Signature b = SignatureOf(seven);
  const Signature c = SignatureOf(six);
  for (int i = kSigTexture + 4; i < kSigTexture + 8; ++i) {
    EXPECT_EQ(a[i], c[i]) << i;
    EXPECT_EQ(b[i], c[i]) << i;
  }
}

TEST(ComputeSignature, RedRegionHandComputed) {
  // A 2 x 2 pure red area (hue 96, mask (28 - 4) * 255 / 28 = 218) in grey.
  PackedImage thumb = Uniform(10, 10, 128, 128, 128);
  FillRect(&thumb, 4, 4, 2, 2, 0, 0, 255);
  const Signature s = SignatureOf(thumb);
  // place (4 + 5) / 2 / 10 = 0.45, extent 0.2, intensity 872 / 1020, shape 0.
  EXPECT_TRUE(ValuesAre(s, kSigLocal, {14745, 14745, 6553, 28012, 0}));
  // Yellow (centre 118, width 20) does not reach hue 96; magenta (64, 28) does not either.
  for (int i = kSigLocal + 5; i < kSigLocal + 10; ++i) EXPECT_EQ(s[i], 0) << i;
}

TEST(ComputeSignature, ShapeOfAWideRegion) {
  // A 6 x 2 red bar: A = 0.6, B = 0.2, shape 1 - B / A.
  PackedImage thumb = Uniform(10, 10, 128, 128, 128);
  FillRect(&thumb, 2, 4, 6, 2, 0, 0, 255);
  Signature s = SignatureOf(thumb);
  EXPECT_EQ(s[kSigLocal + 4], static_cast<int16_t>((1 - 0.2 / 0.6) * 32767));
  // The same bar standing: A / B - 1 < 0.
  thumb = Uniform(10, 10, 128, 128, 128);
  FillRect(&thumb, 4, 2, 2, 6, 0, 0, 255);
  s = SignatureOf(thumb);
  EXPECT_EQ(s[kSigLocal + 4], static_cast<int16_t>((0.2 / 0.6 - 1) * 32767));
}

TEST(ComputeSignature, ARegionTouchingTheBorderScoresHalf) {
  // Two equal red areas: the one on the left border loses to the inner one, whichever
  // of them the region finder meets first.
  for (bool innerFirst : {false, true}) {
    PackedImage thumb = Uniform(12, 12, 128, 128, 128);
    const int inner = innerFirst ? 0 : 6;
    FillRect(&thumb, 0, innerFirst ? 7 : 2, 2, 2, 0, 0, 255);  // border area
    FillRect(&thumb, 5, inner + 2, 2, 2, 0, 0, 255);           // inner area
    const Signature s = SignatureOf(thumb);
    // The inner area's centre column is 5.5 of 12.
    EXPECT_EQ(s[kSigLocal], static_cast<int16_t>(5.5 / 12 * 32767)) << innerFirst;
  }
  // Alone, the border area still wins.
  PackedImage thumb = Uniform(12, 12, 128, 128, 128);
  FillRect(&thumb, 0, 2, 2, 2, 0, 0, 255);
  EXPECT_EQ(SignatureOf(thumb)[kSigLocal], static_cast<int16_t>(0.5 / 12 * 32767));
}

TEST(ComputeSignature, DeterministicAndWithinTheDocumentedRanges) {
  const unsigned seed = 4242;
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> side(3, 96), picture(1, 30000);
  for (int round = 0; round < 60; ++round) {
    const int w = side(random), h = side(random);
    const PackedImage thumb =
        round % 2 ? testing::Noise(w, h, &random) : testing::Blocks(w, h, &random);
    const int pw = picture(random), ph = picture(random);
    const Signature s = SignatureOf(thumb, pw, ph);
    const PackedImage copy = thumb;
    ASSERT_EQ(SignatureOf(copy, pw, ph), s) << "seed " << seed << " round " << round;
    auto within = [&](int first, int count, int low, int high) {
      for (int i = first; i < first + count; ++i)
        ASSERT_TRUE(s[i] >= low && s[i] <= high)
            << "value " << i << " = " << s[i] << " for " << w << "x" << h << ", seed " << seed
            << " round " << round;
    };
    for (int cell = 0; cell < 9; ++cell) {
      within(4 * cell, 2, -12612, 12612);
      within(4 * cell + 2, 1, 0, 12612);
      within(4 * cell + 3, 1, 0, 32640);
    }
    within(kSigTexture, 16, 0, 32767);
    for (int colour = 0; colour < kLocalColours; ++colour) {
      within(kSigLocal + 5 * colour, 4, 0, 32767);
      within(kSigLocal + 5 * colour + 4, 1, -32767, 32767);
    }
    within(kSigHue, 18, 0, 32767);
    within(kSigFormat, 1, -32767, 32767);
    within(kSigWidth, 2, 0, 32767);
  }
}

TEST(ComputeSignature, NoiseHasFullTextureWithoutWrapping) {
  // Random noise: mean grey differences of about 52 give sums near 470000, times 32768
  // far past 32 bits. Wrapped at 32 bits, a value could not exceed 2^32 / (255 * 95 * 95)
  // = 1866; computed in 64 bits it is about 6600.
  std::mt19937 random(99);
  const Signature s = SignatureOf(testing::Noise(96, 96, &random));
  for (int i = kSigTexture; i < kSigTexture + 4; ++i) EXPECT_GT(s[i], 5000) << i;
}

TEST(ComputeSignature, EmptyThumbnailWritesNothing) {
  Signature s{};
  s.fill(7);
  const uint8_t pixel[4] = {};
  EXPECT_FALSE(ComputeSignature(0, 5, pixel, 10, 10, s.data()));
  EXPECT_FALSE(ComputeSignature(5, 5, nullptr, 10, 10, s.data()));
  for (int16_t v : s) EXPECT_EQ(v, 7);
}

}  // namespace
}  // namespace gq
