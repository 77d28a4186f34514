// Speed of painting the thumbnail view: a full 1920 x 1080 view (about 200 cells of
// 96 x 72 thumbnails held in memory) rendered into an off-screen picture, as the view
// paints on every scroll step; once in Unsorted with a current picture and a few
// selected ones, and once in Search Duplicates. Runs on Qt's offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <cstdlib>
#include <memory>
#include <random>

#include "db/ImageRecordDB.h"
#include "search/DuplicateSearch.h"
#include "search/SearchEngine.h"
#include "ui/ThumbsView.h"

namespace gq {
namespace {

constexpr int kPictures = 400;

// A record with a noisy 96 x 72 thumbnail. Its signature stays all zero, so the
// duplicate search puts every record into a group.
ImageRecord* NoisyRecord(int i, std::mt19937& random) {
  ImageRecord* record = MakeRecord("/bench/p" + std::to_string(i) + ".jpg", 1000);
  const auto bytes = static_cast<size_t>(ThumbnailBytes(96, 72));
  auto* pixels = static_cast<uint8_t*>(std::malloc(bytes));
  for (size_t b = 0; b < bytes; ++b) pixels[b] = static_cast<uint8_t>(random());
  SetRecordThumbnail(record, pixels, 96, 72);
  record->m_PictureWidth = 960;
  record->m_PictureHeight = 720;
  return record;
}

struct PaintBench {
  PaintBench() {
    db.m_ThumbBudget = 1 << 30;
    std::mt19937 random(7);
    for (int i = 0; i < kPictures; ++i) db.AddRecord(NoisyRecord(i, random), false);
    view = std::make_unique<ThumbsView>(db, engine);
    view->resize(1920, 1080);
    view->show();
    view->Refresh(true, false);
    view->SetCurrentPicture(db.LfdNrAt(5, kOrderByLfdNr, true));
    for (int p = 10; p < 20; ++p) db.Select(db.LfdNrAt(p, kOrderByLfdNr, true), kSelect);
  }
  ~PaintBench() {
    view.reset();
    db.ClearAll();
  }
  ImageRecordDB db;
  SearchEngine engine{db};
  std::unique_ptr<ThumbsView> view;
};

void Paint(benchmark::State& state, PaintBench& bench) {
  QImage target(bench.view->viewport()->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    bench.view->viewport()->render(&target);
    benchmark::DoNotOptimize(target.constBits());
  }
  state.counters["cells"] = static_cast<double>(bench.db.CountIn(kOrderListWindow));
}

void BM_PaintFullViewUnsorted(benchmark::State& state) {
  PaintBench bench;
  Paint(state, bench);
}
BENCHMARK(BM_PaintFullViewUnsorted)->Unit(benchmark::kMillisecond);

void BM_PaintFullViewDuplicates(benchmark::State& state) {
  PaintBench bench;
  bench.engine.Duplicates().Prepare(false, false, 100);  // wide box: large groups
  while (bench.engine.Duplicates().Step(1000) >= 0) {
  }
  bench.view->SetListMode(kListSearchDuplicates, false);
  Paint(state, bench);
}
BENCHMARK(BM_PaintFullViewDuplicates)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace gq

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
