// The exact Search Similar on the generated collection (GeneratedCollection.h) of
// 1,000,000 records, or of the count given as the first argument:
// - the time of building the packed copy, and per query the wall and CPU time of
//   gqtool similar's list for places 1-20 with --exact, for each scan variant;
// - the memory-bandwidth reference: the time of one plain read of an array the size
//   of the packed copy, and the ratio of a query to it;
// - the recall of the default (box) search: the share of the exact first 20 that it
//   finds, and the share of queries whose first 20 it gets exactly right;
// - a check that the exact list equals the brute-force one for a few queries.
// Times are medians over the queries, so that a disturbance of the machine counts little.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "GeneratedCollection.h"
#include "search/ExactSearch.h"

namespace gq {
namespace {

struct Times {
  double wallMs = 0, cpuMs = 0;
};

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

Times Measure(const std::function<void()>& work) {
  const auto wallStart = std::chrono::steady_clock::now();
  const double cpuStart = CpuSeconds();
  work();
  const double cpu = CpuSeconds() - cpuStart;
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
  return {wall.count() * 1e3, cpu * 1e3};
}

Times Median(std::vector<Times> times) {
  auto middle = [&](auto member) {
    std::vector<double> values;
    for (const Times& t : times) values.push_back(t.*member);
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
  };
  return {middle(&Times::wallMs), middle(&Times::cpuMs)};
}

// One read of every 8-byte word of an array of the packed copy's size.
Times PlainRead(size_t blocks, int repetitions) {
  std::vector<ScanBlock> array(blocks);
  for (size_t b = 0; b < blocks; ++b) array[b].values[b % 832] = static_cast<int16_t>(b);
  const auto* words = reinterpret_cast<const uint64_t*>(array.data());
  const size_t count = blocks * sizeof(ScanBlock) / sizeof(uint64_t);
  uint64_t sums[4] = {};
  std::vector<Times> times;
  for (int r = 0; r < repetitions; ++r) {
    times.push_back(Measure([&] {
      for (size_t i = 0; i + 4 <= count; i += 4) {
        for (int k = 0; k < 4; ++k) sums[k] += words[i + k];
      }
    }));
  }
  if (sums[0] + sums[1] + sums[2] + sums[3] == 1) std::puts("");  // keeps the reads
  return Median(times);
}

int Run(int64_t count) {
  Collection& collection = CollectionOf(count);
  SearchEngine& engine = *collection.engine;
  const WeightVector weights = BuildWeights(DefaultCriteria());
  const std::vector<ImageRecord*> queries = Queries(collection, 200);

  ExactSearch exact;
  const Times build = Measure([&] { exact.Build(collection.db); });
  std::printf("records %lld, packed copy %.1f MB, built in %.1f ms\n",
              static_cast<long long>(count),
              static_cast<double>((count + 7) / 8 * sizeof(ScanBlock)) / 1e6, build.wallMs);
  const Times read = PlainRead(static_cast<size_t>((count + 7) / 8), 21);
  std::printf("plain read of the packed copy: %.2f ms wall, %.2f ms cpu\n", read.wallMs,
              read.cpuMs);
  for (const ScanVariant& variant : RunnableScanVariants()) {
    exact.SetVariant(variant);
    std::vector<Times> times;
    for (ImageRecord* query : queries) {
      times.push_back(
          Measure([&] { exact.Nearest(collection.db, query->m_Signature, weights, 21); }));
    }
    const Times median = Median(times);
    std::printf("exact, %s scan: %.2f ms wall, %.2f ms cpu per query (%.2f x the plain read)\n",
                variant.name, median.wallMs, median.cpuMs, median.wallMs / read.wallMs);
  }

  std::vector<Times> engineTimes;
  int found = 0, allRight = 0, bruteChecked = 0, bruteEqual = 0;
  for (size_t q = 0; q < queries.size(); ++q) {
    std::vector<ScoredRecord> truth;
    engineTimes.push_back(Measure(
        [&] { truth = engine.SimilarList(queries[q], 1, 20, weights, SimilarSearch::kExact); }));
    const std::vector<ScoredRecord> box = engine.SimilarList(queries[q], 1, 20, weights);
    int hits = 0;
    for (const ScoredRecord& t : truth) {
      hits += std::any_of(box.begin(), box.end(),
                          [&](const ScoredRecord& b) { return b.record == t.record; });
    }
    found += hits;
    allRight += hits == static_cast<int>(truth.size());
    if (q < 5) {
      const std::vector<ImageRecord*> brute =
          BruteForceSimilar(collection, queries[q], 20, weights);
      bool same = brute.size() == truth.size();
      for (size_t i = 0; same && i < brute.size(); ++i) same = brute[i] == truth[i].record;
      ++bruteChecked;
      bruteEqual += same;
    }
  }
  const Times engineMedian = Median(engineTimes);
  std::printf("engine, --exact places 1-20: %.2f ms wall, %.2f ms cpu per query\n",
              engineMedian.wallMs, engineMedian.cpuMs);
  std::printf(
      "default search recall of the exact first 20: %.1f %%, all 20 in %.1f %% of queries\n",
      100.0 * found / (20.0 * queries.size()), 100.0 * allRight / queries.size());
  std::printf("exact list equals brute force: %d of %d queries\n", bruteEqual, bruteChecked);
  return bruteEqual == bruteChecked ? 0 : 1;
}

}  // namespace
}  // namespace gq

int main(int argc, char** argv) {
  const int64_t count = argc > 1 ? std::atoll(argv[1]) : 1000000;
  if (count < 1) {
    std::fprintf(stderr, "usage: bench_exact_scan [RECORDS]\n");
    return 2;
  }
  return gq::Run(count);
}
