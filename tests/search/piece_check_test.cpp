#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>

#include "search/IdentityDifference.h"
#include "search/Mosaic.h"
#include "search/PieceCheck.h"
#include "search/SearchTestSupport.h"
#include "search/SquaredDifferences.h"
#include "signature/Resize.h"

namespace gq {
namespace {

using test::GeneratedPicture;

// The identity difference as a plain loop over packed pixels: the reference that the
// split form must equal to the last bit.
double ReferenceDifference(const PackedImage& a, const PackedImage& b, bool perPixel) {
  if (a.empty() || b.empty()) return kRejectedDifference;
  PackedImage resized;
  const PackedImage* other = &b;
  if (b.width != a.width || b.height != a.height) {
    if (!FitResize(b.width, b.height, b.pixels.data(), a.width, a.height, &resized)) {
      return kRejectedDifference;
    }
    other = &resized;
  }
  double s = 0, l = 0;
  for (int y = 0; y < a.height; ++y) {
    const uint8_t* pa = a.row(y);
    const uint8_t* pb = other->row(y);
    int64_t rowS = 0, rowL = 0;
    for (int x = 0; x < a.width; ++x, pa += 3, pb += 3) {
      const int ma = std::min({pa[0], pa[1], pa[2]});
      const int mb = std::min({pb[0], pb[1], pb[2]});
      rowS += (mb - ma) * (mb - ma);
      for (int c = 0; c < 3; ++c) {
        const int diff = (pb[c] - mb) - (pa[c] - ma);
        rowL += diff * diff;
      }
    }
    s += static_cast<double>(rowS);
    l += static_cast<double>(rowL);
  }
  const double g = static_cast<double>(a.height) * b.width / b.height;
  const double h = a.width;
  const double q = std::max(g, h) / std::min(g, h);
  double difference = (s + 2 * l) * q;
  if (perPixel) difference /= static_cast<double>(a.width) * a.height;
  return difference;
}

// Random bytes, the extremes 0 and 255 frequent among them.
PackedImage NoisePicture(uint32_t seed, int width, int height) {
  std::mt19937 random(seed);
  PackedImage picture;
  picture.Allocate(width, height);
  for (uint8_t& byte : picture.pixels) {
    const uint32_t r = random() % 512;
    byte = static_cast<uint8_t>(r < 100 ? 0 : r < 200 ? 255 : r);
  }
  return picture;
}

PackedImage Filled(int width, int height, uint8_t value) {
  PackedImage picture;
  picture.Allocate(width, height);
  std::fill(picture.pixels.begin(), picture.pixels.end(), value);
  return picture;
}

// Both builds of the inner loop against a plain 64-bit sum: every length up to 100 (the
// vector loops' tails), and lengths whose 32-bit partial sums would overflow when all
// differences are 255.
TEST(PieceCheckTest, SquaredDifferenceSumsOfBothBuildsAreExact) {
  std::mt19937 random(7);
  std::vector<uint8_t> a(700000), b(700000);
  for (size_t i = 0; i < a.size(); ++i) {
    a[i] = static_cast<uint8_t>(random());
    b[i] = static_cast<uint8_t>(random());
  }
  auto plain = [&](size_t count) {
    uint64_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum += static_cast<uint64_t>((a[i] - b[i]) * (a[i] - b[i]));
    return sum;
  };
  for (size_t count = 0; count <= 100; ++count) {
    ASSERT_EQ(SquaredDifferenceSum(a.data(), b.data(), count), plain(count)) << count;
    ASSERT_EQ(PortableSquaredDifferenceSum(a.data(), b.data(), count), plain(count)) << count;
  }
  std::fill(a.begin(), a.end(), 0);
  std::fill(b.begin(), b.end(), 255);
  for (size_t count : {size_t{65537}, size_t{600001}, a.size()}) {
    EXPECT_EQ(SquaredDifferenceSum(a.data(), b.data(), count), count * 65025) << count;
    EXPECT_EQ(PortableSquaredDifferenceSum(a.data(), b.data(), count), count * 65025) << count;
  }
}

// Pieces and thumbnails of odd sizes, the same size, one pixel, shrunk by more than
// half (block average first) and enlarged; and a 300 x 300 pair whose sums pass 2^32.
TEST(PieceCheckTest, SplitDifferenceEqualsThePixelLoop) {
  struct Case {
    int aWidth, aHeight, bWidth, bHeight;
  };
  const Case cases[] = {{51, 25, 96, 72}, {52, 26, 54, 72}, {33, 17, 33, 17}, {1, 1, 96, 96},
                        {7, 3, 1, 1},     {95, 3, 5, 95},   {80, 40, 17, 9}};
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    for (const Case& c : cases) {
      const PackedImage a = NoisePicture(seed, c.aWidth, c.aHeight);
      const bool noise = seed % 2 || c.bWidth < 2 || c.bHeight < 2;
      const PackedImage b = noise ? NoisePicture(seed + 100, c.bWidth, c.bHeight)
                                  : GeneratedPicture(seed, c.bWidth, c.bHeight);
      for (bool perPixel : {false, true}) {
        ASSERT_EQ(IdentityDifference(a, b, perPixel), ReferenceDifference(a, b, perPixel))
            << "seed " << seed << ", " << c.aWidth << "x" << c.aHeight << " from " << c.bWidth
            << "x" << c.bHeight;
      }
    }
  }
  const PackedImage black = Filled(300, 300, 0), white = Filled(300, 300, 255);
  EXPECT_EQ(IdentityDifference(black, white, false), 300.0 * 300 * 255 * 255);
  EXPECT_EQ(IdentityDifference(black, white, false), ReferenceDifference(black, white, false));
  EXPECT_EQ(IdentityDifference(PackedImage(), white, false), kRejectedDifference);
}

// Pieces of three sizes in turn against the same records, so that thumbnails kept for one
// size are met again after another size; with a budget that holds all of them and with
// one that holds only a few.
TEST(PieceCheckTest, KeptThumbnailsGiveTheDifferenceOfTheirPieceSize) {
  test::SearchFixture fixture;
  static const int kSizes[][2] = {{120, 90}, {90, 120}, {50, 50}, {300, 40}};
  std::vector<ImageRecord*> records;
  for (int i = 0; i < 12; ++i) {
    records.push_back(fixture.AddPicture(
        "/k/" + std::to_string(i), GeneratedPicture(50 + i, kSizes[i % 4][0], kSizes[i % 4][1])));
  }
  ImageRecord* bare = fixture.Add(MakeRecord("/k/bare"));
  const PackedImage pieces[] = {NoisePicture(1, 51, 25), NoisePicture(2, 52, 26),
                                NoisePicture(3, 51, 25), NoisePicture(4, 96, 72)};
  for (size_t budget : {kPieceCheckBudget, size_t{40000}}) {
    PieceCheck check(budget);
    for (int round = 0; round < 2; ++round) {
      for (const PackedImage& piece : pieces) {
        check.SetPiece(piece);
        for (ImageRecord* record : records) {
          PackedImage thumb;
          ASSERT_TRUE(CopyThumbnail(fixture.db, record, &thumb));
          double difference = 0;
          ASSERT_TRUE(check.Difference(fixture.db, record, &difference));
          ASSERT_EQ(difference, ReferenceDifference(piece, thumb, false))
              << "budget " << budget << ", piece " << piece.width << "x" << piece.height
              << ", thumbnail " << thumb.width << "x" << thumb.height;
        }
        double difference = 0;
        EXPECT_FALSE(check.Difference(fixture.db, bare, &difference)) << "no thumbnail";
      }
    }
    EXPECT_LE(check.KeptBytes(), budget);
  }
  PieceCheck check;
  check.SetPiece(PackedImage());
  double difference = 0;
  ASSERT_TRUE(check.Difference(fixture.db, records[0], &difference));
  EXPECT_EQ(difference, kRejectedDifference) << "an empty piece";
}

uint64_t Fnv1a(uint64_t hash, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3u;
  return hash;
}

// A 7 x 9 mosaic over 60 pictures of four shapes, from a source whose cells differ in
// size, with every option at its default: the hash of its canvas and chosen tiles was
// taken from the pixel-by-pixel comparison that the check replaced.
TEST(PieceCheckTest, MosaicIsTheOneThePixelLoopMade) {
  test::SearchFixture fixture;
  static const int kSizes[][2] = {{120, 90}, {90, 120}, {100, 100}, {200, 70}};
  std::map<int32_t, int32_t> pictureOf;  // running number -> picture number
  for (int i = 0; i < 60; ++i) {
    pictureOf[fixture
                  .AddPicture("/p/" + std::to_string(i) + ".jpg",
                              GeneratedPicture(300 + i, kSizes[i % 4][0], kSizes[i % 4][1]))
                  ->m_LfdNr] = i;
  }
  MosaicOptions options;
  options.file = ::testing::TempDir() + "/piece_check_mosaic.bmp";
  options.rows = 7;
  options.columns = 9;
  options.width = 130;
  options.height = 110;
  uint64_t hashes[2];
  for (bool check : {true, false}) {
    options.similarityCheck = check;
    MosaicRun& mosaic = fixture.engine->Mosaic();
    ASSERT_EQ(mosaic.Setup(options, GeneratedPicture(31, 250, 170)), "");
    for (int step = 0; step < 5 * 7 * 9; ++step) mosaic.Step();
    const PackedImage& canvas = mosaic.Canvas();
    uint64_t hash = Fnv1a(0xcbf29ce484222325u, canvas.pixels.data(), canvas.pixels.size());
    for (int32_t tile : mosaic.Tiles()) {
      const int32_t picture = tile < 0 ? -1 : pictureOf.at(tile);
      hash = Fnv1a(hash, &picture, sizeof picture);
    }
    hashes[check] = hash;
    mosaic.Discard();
  }
  EXPECT_EQ(hashes[true], 8956545087422966137u);
  EXPECT_NE(hashes[false], hashes[true]) << "the check changes the choice of tiles";
}

}  // namespace
}  // namespace gq
