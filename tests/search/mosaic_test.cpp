#include "search/Mosaic.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "loading/OpenCvHighGui/loadsave.h"
#include "search/IdentityDifference.h"
#include "search/SearchTestSupport.h"
#include "search/StepRunner.h"
#include "signature/Resize.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

using test::GeneratedPicture;
using test::SearchFixture;

::testing::AssertionResult SameImages(const PackedImage& expected, const PackedImage& actual) {
  if (expected.width != actual.width || expected.height != actual.height) {
    return ::testing::AssertionFailure()
           << "size " << actual.width << "x" << actual.height << ", expected " << expected.width
           << "x" << expected.height;
  }
  for (int y = 0; y < expected.height; ++y) {
    for (int x = 0; x < 3 * expected.width; ++x) {
      if (expected.row(y)[x] != actual.row(y)[x]) {
        return ::testing::AssertionFailure()
               << "pixel (" << x / 3 << ", " << y << ") channel " << x % 3 << ": "
               << int{actual.row(y)[x]} << ", expected " << int{expected.row(y)[x]};
      }
    }
  }
  return ::testing::AssertionSuccess();
}

struct MosaicFixture : SearchFixture {
  MosaicFixture() {
    source = GeneratedPicture(31, 240, 180);
    sourceRecord = AddPicture("/m/source.jpg", source);
    for (int i = 0; i < 24; ++i)
      AddPicture("/m/tile" + std::to_string(i) + ".jpg", GeneratedPicture(700 + i));
  }
  MosaicOptions Options(int rows, int columns, int width, int height) const {
    MosaicOptions options;
    options.file = ::testing::TempDir() + "/mosaic_test.bmp";
    options.sourceLfdNr = sourceRecord->m_LfdNr;
    options.rows = rows;
    options.columns = columns;
    options.width = width;
    options.height = height;
    return options;
  }
  // Steps to the end; returns the number of steps until the file was written.
  int RunToEnd(bool* written) {
    int steps = 0;
    while (engine->Mosaic().Step(written) >= 0) ++steps;
    return steps;
  }
  PackedImage source;
  ImageRecord* sourceRecord;
};

TEST(MosaicTest, SpiralStartsInTheCentreAndVisitsEveryCellOnce) {
  EXPECT_EQ(SpiralOrder(3, 3), (std::vector<int32_t>{4, 1, 2, 5, 8, 7, 6, 3, 0}));
  EXPECT_EQ(SpiralOrder(1, 1), (std::vector<int32_t>{0}));
  for (auto [rows, columns] : {std::pair{4, 7}, std::pair{1, 9}, std::pair{10, 2}}) {
    std::vector<int32_t> order = SpiralOrder(rows, columns);
    EXPECT_EQ(order.front(), rows / 2 * columns + columns / 2);
    std::sort(order.begin(), order.end());
    for (int i = 0; i < rows * columns; ++i) ASSERT_EQ(order[i], i);
  }
}

TEST(MosaicTest, WeightsAndTypicalAspect) {
  const WeightVector small = MosaicWeights(7);
  EXPECT_DOUBLE_EQ(small[0], 1.0);
  EXPECT_DOUBLE_EQ(small[kSigTexture], 0);
  EXPECT_DOUBLE_EQ(small[kSigLocal], 0);
  const WeightVector large = MosaicWeights(40);
  EXPECT_DOUBLE_EQ(large[kSigTexture], 1.0);
  EXPECT_DOUBLE_EQ(large[17], 0.25);
  EXPECT_DOUBLE_EQ(MosaicWeights(20)[kSigTexture], 1.0);  // 0.5 against cells of 0.25

  SearchFixture fixture;
  for (int i = 0; i < 3; ++i)
    fixture.AddPicture("/t/w" + std::to_string(i), GeneratedPicture(i, 200, 100));
  fixture.AddPicture("/t/p", GeneratedPicture(9, 100, 200));
  EXPECT_DOUBLE_EQ(TypicalAspect(fixture.db), 2.0) << "landscape dominates 3 to 1";
  fixture.AddPicture("/t/p2", GeneratedPicture(10, 100, 200));
  EXPECT_DOUBLE_EQ(TypicalAspect(fixture.db), 1 / (1 - 0.1)) << "mean f of all: (1.5 - 1) / 5";
}

TEST(MosaicTest, ArrowButtonsKeepTheAspects) {
  // Cells of 4:3 pictures over a 4:3 source: as many rows as columns.
  EXPECT_EQ(MosaicRowsFor(20, 1600, 1200, 4.0 / 3), 20);
  EXPECT_EQ(MosaicColumnsFor(20, 1600, 1200, 4.0 / 3), 20);
  EXPECT_EQ(MosaicRowsFor(20, 1600, 1200, 1.0), 15);
  EXPECT_EQ(MosaicHeightFor(1024, 1600, 1200), 768);
  EXPECT_EQ(MosaicWidthFor(768, 1600, 1200), 1024);
  EXPECT_EQ(MosaicHeightFor(1001, 3, 2), 667) << "rounded: (2 * 1001 + 1) / 3";
}

TEST(MosaicTest, ColourCorrectionScalesInFixedPoint) {
  PackedImage piece, tile;
  piece.Allocate(4, 4);
  tile.Allocate(2, 2);
  std::fill(piece.pixels.begin(), piece.pixels.end(), 100);
  std::fill(tile.pixels.begin(), tile.pixels.end(), 50);
  tile.row(0)[0] = 0;  // blue sum 150 over 4 pixels
  CorrectColours(piece, &tile);
  EXPECT_EQ(tile.row(0)[1], 100);
  EXPECT_EQ(tile.row(1)[0], 133) << "50 * trunc(4 * 1600 / (16 * 150) * 65536) >> 16";
  std::fill(piece.pixels.begin(), piece.pixels.end(), 255);
  std::fill(tile.pixels.begin(), tile.pixels.end(), 10);
  tile.row(0)[0] = 200;
  CorrectColours(piece, &tile);
  EXPECT_EQ(tile.row(0)[0], 255) << "a product of 2^24 or more gives 255";
}

// Tile 10 over source 200 at share 0.5 on an 8 x 8 cell: plain blending mixes every pixel
// half and half; masked blending shows the tile whole at the centre and the source up to
// the share at the corner (values worked out by hand from the cosine mask).
TEST(MosaicTest, BlendingMixesTileAndSourcePixelByPixel) {
  auto filled = [](uint8_t value) {
    PackedImage image;
    image.Allocate(8, 8);
    for (int32_t y = 0; y < 8; ++y) std::memset(image.row(y), value, 24);
    return image;
  };
  const PackedImage source = filled(200);
  PackedImage plain = filled(10);
  BlendTile(source, 0.5, false, &plain);
  EXPECT_TRUE(SameImages(filled(105), plain));

  PackedImage masked = filled(10);
  BlendTile(source, 0.5, true, &masked);
  struct Expected {
    int32_t row, column, value;
  };
  for (const Expected& e : {Expected{4, 4, 10}, Expected{0, 0, 105}, Expected{4, 2, 48},
                            Expected{4, 6, 48}, Expected{2, 4, 48}, Expected{2, 2, 71}}) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(masked.row(e.row)[3 * e.column + c], e.value) << e.row << ", " << e.column;
    }
  }
}

TEST(MosaicTest, TooSmallSourceIsRefused) {
  test::ScriptedMessageBox boxes;
  MosaicFixture fixture;
  MosaicOptions options = fixture.Options(20, 20, 100, 100);
  std::string message;
  EXPECT_EQ(RunMosaic(*fixture.engine, options, GeneratedPicture(1, 50, 50), {}, &message),
            RunOutcome::kSetupFailed);
  EXPECT_EQ(message, "Picture is too small for given number of rows and columns.");
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{message}));
  EXPECT_FALSE(MosaicBusy());
}

TEST(MosaicTest, OneCellWithoutBlendingIsTheChosenTileResized) {
  MosaicFixture fixture;
  MosaicOptions options = fixture.Options(1, 1, 64, 48);
  options.blending = 0;
  options.masked = false;
  options.correctColours = false;
  ASSERT_EQ(fixture.engine->Mosaic().Setup(options, fixture.source), "");
  for (int i = 0; i < 5; ++i) fixture.engine->Mosaic().Step();
  ASSERT_EQ(fixture.engine->Mosaic().Tiles()[0], fixture.sourceRecord->m_LfdNr)
      << "the source itself matches best";
  PackedImage thumb, expected;
  ASSERT_TRUE(CopyThumbnail(fixture.db, fixture.sourceRecord, &thumb));
  ASSERT_TRUE(FitResize(thumb.width, thumb.height, thumb.pixels.data(), 64, 48, &expected));
  EXPECT_TRUE(SameImages(expected, fixture.engine->Mosaic().Canvas()));

  // Excluding the source picture picks another tile.
  options.excludeSource = true;
  ASSERT_EQ(fixture.engine->Mosaic().Setup(options, fixture.source), "");
  for (int i = 0; i < 5; ++i) fixture.engine->Mosaic().Step();
  EXPECT_NE(fixture.engine->Mosaic().Tiles()[0], fixture.sourceRecord->m_LfdNr);
  EXPECT_NE(fixture.engine->Mosaic().Tiles()[0], -1);
  fixture.engine->Mosaic().Discard();
}

TEST(MosaicTest, FullBlendingReproducesTheSourceAndNoBlendingShowsTiles) {
  MosaicFixture fixture;
  MosaicOptions options = fixture.Options(3, 4, 160, 120);
  options.blending = 100;
  options.masked = false;
  ASSERT_EQ(fixture.engine->Mosaic().Setup(options, fixture.source), "");
  for (int i = 0; i < 60; ++i) fixture.engine->Mosaic().Step();
  PackedImage resizedSource;
  ASSERT_TRUE(FitResize(fixture.source.width, fixture.source.height, fixture.source.pixels.data(),
                        160, 120, &resizedSource));
  EXPECT_TRUE(SameImages(resizedSource, fixture.engine->Mosaic().Canvas()));

  options.blending = 0;
  options.similarityCheck = false;
  ASSERT_EQ(fixture.engine->Mosaic().Setup(options, fixture.source), "");
  for (int i = 0; i < 60; ++i) fixture.engine->Mosaic().Step();
  EXPECT_FALSE(SameImages(resizedSource, fixture.engine->Mosaic().Canvas()));
  for (int32_t tile : fixture.engine->Mosaic().Tiles()) EXPECT_NE(tile, -1);
  fixture.engine->Mosaic().Discard();
}

TEST(MosaicTest, AvoidReuseUsesFreshTilesUntilNoneIsLeft) {
  SearchFixture fixture;
  const PackedImage source = GeneratedPicture(31, 240, 180);
  for (int i = 0; i < 4; ++i)
    fixture.AddPicture("/a/tile" + std::to_string(i), GeneratedPicture(800 + i));
  MosaicOptions options;
  options.file = ::testing::TempDir() + "/mosaic_reuse.bmp";
  options.rows = 3;
  options.columns = 3;
  options.width = 90;
  options.height = 90;
  options.avoidReuse = true;
  ASSERT_EQ(fixture.engine->Mosaic().Setup(options, source), "");
  for (int i = 0; i < 45; ++i) fixture.engine->Mosaic().Step();
  const std::vector<int32_t> tiles = fixture.engine->Mosaic().Tiles();
  const std::vector<int32_t> spiral = SpiralOrder(3, 3);
  const std::set<int32_t> firstThree = {tiles[spiral[0]], tiles[spiral[1]], tiles[spiral[2]]};
  EXPECT_EQ(firstThree.size(), 3u);
  for (int32_t tile : tiles) EXPECT_NE(tile, -1) << "later cells reuse tiles";
  fixture.engine->Mosaic().Discard();
}

TEST(MosaicTest, CancelledRunWritesTheCentreCells) {
  MosaicFixture fixture;
  MosaicOptions options = fixture.Options(5, 5, 100, 100);
  std::remove(options.file.c_str());
  int dispatches = 0;
  RunnerHooks hooks;
  std::vector<int> progress;
  hooks.setProgress = [&](int percent) { progress.push_back(percent); };
  hooks.dispatchMessages = [&] {
    if (++dispatches == 10) {  // two cells done
      EXPECT_EQ(RunMosaic(*fixture.engine, options, PackedImage(), hooks),
                RunOutcome::kCancelRequested);
    }
    return true;
  };
  EXPECT_EQ(RunMosaic(*fixture.engine, options, fixture.source, hooks), RunOutcome::kCancelled);
  EXPECT_FALSE(MosaicBusy());
  EXPECT_FALSE(fixture.engine->Mosaic().Active());
  EXPECT_EQ(progress.back(), 0);
  IplImage* written = cvLoadImage(options.file.c_str(), 1);
  ASSERT_NE(written, nullptr);
  EXPECT_EQ(written->width, 100);
  EXPECT_EQ(written->height, 100);
  // The centre cell (40..59) shows a tile, a corner cell still the resized source.
  PackedImage resizedSource;
  ASSERT_TRUE(FitResize(fixture.source.width, fixture.source.height, fixture.source.pixels.data(),
                        100, 100, &resizedSource));
  auto pixelDiffers = [&](int x, int y) {
    const auto* file =
        reinterpret_cast<const uint8_t*>(written->imageData + y * written->widthStep + 3 * x);
    return !std::equal(file, file + 3, resizedSource.row(y) + 3 * x);
  };
  int centreDiffers = 0, cornerDiffers = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      centreDiffers += pixelDiffers(40 + x, 40 + y);
      cornerDiffers += pixelDiffers(x, y);
    }
  }
  EXPECT_GT(centreDiffers, 100);
  EXPECT_EQ(cornerDiffers, 0);
  cvReleaseImage(&written);
}

}  // namespace
}  // namespace gq
