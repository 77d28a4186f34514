// Speed of painting the thumbnail view: a full 1920 x 1080 view (about 200 cells of
// 96 x 72 thumbnails held in memory) rendered into an off-screen picture, as the view
// paints on every scroll step; once in Unsorted with a current picture and a few
// selected ones, and once in Search Duplicates. Then paging page by page through
// 100,000 pictures whose thumbnails live in a database file and are paged in as they
// are drawn: the worst page time and the most thumbnails held in memory at once.
// Runs on Qt's offscreen platform.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QImage>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "db/FileLayer.h"
#include "db/ImageRecordDB.h"
#include "frame/AtomicFile.h"
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

constexpr int kPagedPictures = 100000;

// A 96 x 72 thumbnail of flat rows whose shade follows from the record's number: cheap
// to make, so that writing the database file dominates the set-up.
ImageRecord* PlainRecord(int i) {
  ImageRecord* record = MakeRecord("/bench/paged/p" + std::to_string(i) + ".jpg", 1000);
  const auto bytes = static_cast<size_t>(ThumbnailBytes(96, 72));
  auto* pixels = static_cast<uint8_t*>(std::malloc(bytes));
  for (size_t row = 0; row < 72; ++row) {
    std::memset(pixels + row * bytes / 72, static_cast<int>((i * 37 + row) & 0xFF), bytes / 72);
  }
  SetRecordThumbnail(record, pixels, 96, 72);
  return record;
}

// The plain file system without fsync: the bench's scratch file needs no durability,
// and a sync per paged-out thumbnail would make writing 100,000 of them take minutes.
class UnsyncedFiles final : public FileSystem {
 public:
  UnsyncedFiles() : m_Plain(Files()) { m_Before = SetFileSystem(this); }
  ~UnsyncedFiles() override { SetFileSystem(m_Before); }
  int Open(const std::string& path, int flags, unsigned mode) override {
    return m_Plain.Open(path, flags, mode);
  }
  ssize_t Read(int fd, void* buffer, size_t size) override {
    return m_Plain.Read(fd, buffer, size);
  }
  ssize_t Write(int fd, const void* buffer, size_t size) override {
    return m_Plain.Write(fd, buffer, size);
  }
  int64_t Seek(int fd, int64_t offset, int whence) override {
    return m_Plain.Seek(fd, offset, whence);
  }
  int Sync(int) override { return 0; }
  int Close(int fd) override { return m_Plain.Close(fd); }
  int Unlink(const std::string& path) override { return m_Plain.Unlink(path); }
  int Rename(const std::string& from, const std::string& to) override {
    return m_Plain.Rename(from, to);
  }
  int Truncate(int fd, int64_t size) override { return m_Plain.Truncate(fd, size); }
  int LockExclusive(int fd) override { return m_Plain.LockExclusive(fd); }
  int LockShared(int fd) override { return m_Plain.LockShared(fd); }

 private:
  FileSystem& m_Plain;
  FileSystem* m_Before = nullptr;
};

// A database of kPagedPictures records whose thumbnails were paged out into its file
// as they were added, none left in memory. The file goes with the object.
struct PagedDatabase {
  PagedDatabase()
      : path(TemporaryFolder() + "/gq_thumbs_bench_" + std::to_string(getpid()) + ".gqdb") {
    UnsyncedFiles unsynced;
    db.File().SetName(path);
    db.File().Create();
    for (int i = 0; i < kPagedPictures; ++i) db.AddRecord(PlainRecord(i), false);
    // The last ones too, as after saving: paging starts with every thumbnail in the file.
    for (ImageRecord* record : db.Records()) {
      if (record->m_ThumbPixels) db.PageOut(record);
    }
  }
  ~PagedDatabase() {
    db.File().Close();
    db.ClearAll();
    std::remove(path.c_str());
  }
  std::string path;
  ImageRecordDB db;
  SearchEngine engine{db};
};

void BM_PageThroughPagedThumbnails(benchmark::State& state) {
  PagedDatabase paged;
  ThumbsView view(paged.db, paged.engine);
  view.resize(1920, 1080);
  view.show();
  view.Refresh(true, false);
  QImage target(view.viewport()->size(), QImage::Format_RGB32);
  QScrollBar* bar = view.verticalScrollBar();
  double worstMs = 0, totalMs = 0;
  int32_t pages = 0, mostInMemory = 0;
  for (auto _ : state) {
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    for (int32_t last = -1; last != bar->value(); ++pages) {
      last = bar->value();
      const auto start = std::chrono::steady_clock::now();
      view.viewport()->render(&target);
      const std::chrono::duration<double, std::milli> took =
          std::chrono::steady_clock::now() - start;
      worstMs = std::max(worstMs, took.count());
      totalMs += took.count();
      mostInMemory = std::max(mostInMemory, m_NrThumbsLoaded.load());
      bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    }
  }
  state.counters["pages"] = pages;
  state.counters["worst_page_ms"] = worstMs;
  state.counters["mean_page_ms"] = totalMs / std::max(1, pages);
  state.counters["most_thumbs_in_memory"] = mostInMemory;
  state.counters["thumb_budget"] = paged.db.m_ThumbBudget;
}
BENCHMARK(BM_PageThroughPagedThumbnails)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
}  // namespace gq
