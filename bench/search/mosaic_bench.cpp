// Speed of the mosaic as gqtool runs it: the default 20 x 30 mosaic of 1024 x 768 out of a
// 1024 x 768 source, over a database file of 5,000 generated pictures that is loaded the
// way gqtool loads it (thumbnails paged in from the file within the default budget), with
// and without the additional similarity check; and the time of one such check, a cell's
// piece against one candidate's thumbnail.
//
// The database is written once to $GQ_BENCH_DATA (default /tmp) as
// gq-mosaic-bench-5000.gqdb and reused by later runs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "db/DatabaseOps.h"
#include "search/IdentityDifference.h"
#include "search/Mosaic.h"
#include "search/PieceCheck.h"
#include "search/SearchEngine.h"
#include "signature/Signature.h"
#include "signature/Thumbnail.h"

namespace gq {
namespace {

constexpr int kPictures = 5000;

// A photo-like picture: a gradient between random colours, noise and a few rectangles.
PackedImage GeneratedPicture(uint32_t seed, int width, int height) {
  std::mt19937 random(seed);
  int from[3], to[3];
  for (int c = 0; c < 3; ++c) {
    from[c] = static_cast<int>(random() % 256);
    to[c] = static_cast<int>(random() % 256);
  }
  const int noise = 1 + static_cast<int>(random() % 16);
  PackedImage picture;
  picture.Allocate(width, height);
  for (int y = 0; y < height; ++y) {
    uint8_t* p = picture.row(y);
    for (int x = 0; x < width; ++x, p += 3) {
      for (int c = 0; c < 3; ++c) {
        const int value = from[c] + (to[c] - from[c]) * (x + y) / (width + height) +
                          static_cast<int>(random() % (2 * noise + 1)) - noise;
        p[c] = static_cast<uint8_t>(std::clamp(value, 0, 255));
      }
    }
  }
  for (int shapes = 1 + static_cast<int>(random() % 6); shapes > 0; --shapes) {
    const int x0 = static_cast<int>(random() % width), y0 = static_cast<int>(random() % height);
    const int x1 = std::min(width, x0 + 4 + static_cast<int>(random() % (width / 2)));
    const int y1 = std::min(height, y0 + 4 + static_cast<int>(random() % (height / 2)));
    const uint8_t colour[3] = {static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                               static_cast<uint8_t>(random())};
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) std::copy(colour, colour + 3, picture.row(y) + 3 * x);
    }
  }
  return picture;
}

// Writes the database of kPictures records: thumbnail-sized pictures of landscape,
// portrait and square shapes, each with its signature.
bool WriteDatabase(const std::string& path) {
  static const int kSizes[][2] = {{4000, 3000}, {3000, 4000}, {1920, 1080}, {2048, 2048}};
  ImageRecordDB db;
  db.m_ThumbBudget = kPictures;  // every thumbnail stays in memory until the save
  for (int i = 0; i < kPictures; ++i) {
    const int* size = kSizes[i % 4];
    const int width = size[0] >= size[1] ? 96 : 96 * size[0] / size[1];
    const int height = size[0] >= size[1] ? 96 * size[1] / size[0] : 96;
    const PackedImage picture = GeneratedPicture(static_cast<uint32_t>(i), width, height);
    ImageRecord* record = MakeRecord("/pictures/picture" + std::to_string(i) + ".jpg", 1000);
    MakeRecordThumbnail(record, picture.width, picture.height, picture.stride(),
                        picture.pixels.data());
    record->m_PictureWidth = size[0];
    record->m_PictureHeight = size[1];
    ComputeSignature(record->m_ThumbWidth, record->m_ThumbHeight, record->m_ThumbPixels, size[0],
                     size[1], record->m_Signature);
    db.AddRecord(record, false);
  }
  const bool saved = SaveDatabase(db, path, false);
  db.ClearAll();
  return saved;
}

// The database loaded as gqtool loads it, with its search engine.
struct LoadedDatabase {
  ImageRecordDB db;
  SearchEngine engine{db};
  bool loaded = false;
};

LoadedDatabase& Database() {
  static std::unique_ptr<LoadedDatabase> database;
  if (database) return *database;
  const char* folder = std::getenv("GQ_BENCH_DATA");
  const std::string path = std::string(folder ? folder : "/tmp") + "/gq-mosaic-bench-" +
                           std::to_string(kPictures) + ".gqdb";
  if (!std::filesystem::exists(path)) WriteDatabase(path);
  database = std::make_unique<LoadedDatabase>();
  database->loaded = LoadDatabase(database->db, path, 0, 0) && database->engine.EnsureIndex();
  return *database;
}

void BM_Mosaic(benchmark::State& state) {
  LoadedDatabase& database = Database();
  if (!database.loaded) return state.SkipWithError("the database did not load");
  const PackedImage source = GeneratedPicture(4711, 1024, 768);
  MosaicOptions options;
  options.file = (std::filesystem::temp_directory_path() / "gq-mosaic-bench.bmp").string();
  options.similarityCheck = state.range(0) != 0;
  for (auto _ : state) {
    MosaicRun& mosaic = database.engine.Mosaic();
    if (!mosaic.Setup(options, source).empty()) return state.SkipWithError("setup failed");
    while (mosaic.Step() >= 0) {
    }
  }
}
BENCHMARK(BM_Mosaic)->ArgName("check")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// One check as the mosaic makes it: the centre cell's piece (51 x 25) against the
// thumbnail of one of 100 records. kept:0 fetches the thumbnail from the database and
// compares it with IdentityDifference, every time; kept:1 through the mosaic's
// PieceCheck, which has kept the 100 resized thumbnails after the first round.
void BM_PieceComparison(benchmark::State& state) {
  LoadedDatabase& database = Database();
  if (!database.loaded) return state.SkipWithError("the database did not load");
  const PackedImage source = GeneratedPicture(4711, 1024, 768);
  PackedImage piece;
  piece.Allocate(1024 / 20, 768 / 30);
  for (int y = 0; y < piece.height; ++y) {
    std::copy_n(source.row(15 * 768 / 30 + y) + 3 * (10 * 1024 / 20), 3 * piece.width,
                piece.row(y));
  }
  const std::vector<ImageRecord*> records = database.db.Records();
  PieceCheck check;
  check.SetPiece(piece);
  const bool kept = state.range(0) != 0;
  size_t next = 0;
  double total = 0;
  for (auto _ : state) {
    ImageRecord* record = records[next++ % 100];
    if (kept) {
      double difference = 0;
      check.Difference(database.db, record, &difference);
      total += difference;
    } else {
      PackedImage thumb;
      CopyThumbnail(database.db, record, &thumb);
      total += IdentityDifference(piece, thumb, false);
    }
  }
  benchmark::DoNotOptimize(total);
}
BENCHMARK(BM_PieceComparison)->ArgName("kept")->Arg(0)->Arg(1);

}  // namespace
}  // namespace gq

BENCHMARK_MAIN();
