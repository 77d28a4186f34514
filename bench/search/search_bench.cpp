// Speed of the search subsystem against exact brute force (score every record, then
// sort), on collections of 100,000 and 1,000,000 records: building the similarity
// index, Search Similar for places 1-20 and 1-200 (with the share of queries whose first
// 20 equal the brute-force first 20), a full duplicate search, a full criteria
// adjustment, and a 20 x 30 mosaic of 1024 x 768 over 10,000 pictures. The collections
// are those of GeneratedCollection.h.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "GeneratedCollection.h"
#include "search/CriteriaAdjust.h"
#include "search/DuplicateSearch.h"
#include "search/Mosaic.h"
#include "search/SearchEngine.h"
#include "signature/Criteria.h"
#include "signature/SearchResult.h"
#include "signature/Signature.h"
#include "signature/Similarity.h"
#include "signature/Thumbnail.h"

namespace gq {
namespace {

void BM_BuildIndex(benchmark::State& state) {
  Collection& collection = CollectionOf(state.range(0));
  for (auto _ : state) {
    collection.engine->RebuildIndex(0, 0);
  }
  state.counters["records"] = static_cast<double>(collection.records.size());
}
BENCHMARK(BM_BuildIndex)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SimilarText(benchmark::State& state) {
  Collection& collection = CollectionOf(state.range(0));
  const int32_t last = static_cast<int32_t>(state.range(1));
  const WeightVector weights = BuildWeights(DefaultCriteria());
  const std::vector<ImageRecord*> queries = Queries(collection, 200);
  size_t q = 0;
  int64_t bytes = 0;
  const int64_t queriesBefore = collection.engine->Index().QueryCount();
  for (auto _ : state) {
    const std::string text =
        collection.engine->SimilarText(queries[q++ % queries.size()], 1, last, weights);
    bytes += static_cast<int64_t>(text.size());
  }
  benchmark::DoNotOptimize(bytes);
  state.counters["box_queries"] = benchmark::Counter(
      static_cast<double>(collection.engine->Index().QueryCount() - queriesBefore),
      benchmark::Counter::kAvgIterations);
  // How often the first 20 places equal the exact ones, and whether the places within
  // the search's last radius always do (the box holds every record of that distance).
  const int checked = state.range(0) >= 1000000 ? 20 : 50;
  int equal = 0, withinRadiusEqual = 0;
  for (int i = 0; i < checked; ++i) {
    const std::vector<ScoredRecord> fast =
        collection.engine->SimilarList(queries[i], 1, 20, weights);
    const double radius = collection.engine->Index().LastQueryRadius();
    const std::vector<ImageRecord*> exact = BruteForceSimilar(collection, queries[i], 20, weights);
    bool same = fast.size() == exact.size();
    for (size_t k = 0; same && k < fast.size(); ++k) same = fast[k].record == exact[k];
    equal += same;
    bool prefix = true;
    for (size_t k = 0; k < exact.size() && prefix; ++k) {
      if (Distance(queries[i]->m_Signature, exact[k]->m_Signature, weights.data()) > radius) break;
      prefix = k < fast.size() && fast[k].record == exact[k];
    }
    withinRadiusEqual += prefix;
  }
  state.counters["top20_exact_share"] = static_cast<double>(equal) / checked;
  state.counters["within_radius_exact_share"] = static_cast<double>(withinRadiusEqual) / checked;
  state.counters["radius"] = collection.engine->Index().RememberedRadius();
}
BENCHMARK(BM_SimilarText)
    ->Args({100000, 20})
    ->Args({100000, 200})
    ->Args({1000000, 20})
    ->Args({1000000, 200})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

void BM_BruteForceSimilar(benchmark::State& state) {
  Collection& collection = CollectionOf(state.range(0));
  const WeightVector weights = BuildWeights(DefaultCriteria());
  const std::vector<ImageRecord*> queries = Queries(collection, 200);
  size_t q = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(BruteForceSimilar(collection, queries[q++ % queries.size()],
                                               static_cast<int32_t>(state.range(1)), weights));
  }
}
BENCHMARK(BM_BruteForceSimilar)
    ->Args({100000, 20})
    ->Args({100000, 200})
    ->Args({1000000, 20})
    ->Args({1000000, 200})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

void BM_DuplicateSearch(benchmark::State& state) {
  Collection& collection = CollectionOf(state.range(0));
  int32_t grouped = 0;
  for (auto _ : state) {
    DuplicateSearch& search = collection.engine->Duplicates();
    search.Prepare(false, false, kDefaultDuplicateSimilarity);
    while (search.Step(100, &grouped) >= 0) {
    }
  }
  int found = 0, inBox = 0;
  const int64_t copies = state.range(0) / kCopyEvery;
  for (int64_t i = kCopyEvery - 1; i < state.range(0); i += kCopyEvery) {
    const ImageRecord* copy = collection.records[i];
    const ImageRecord* original = collection.records[OriginalOf(i)];
    found += copy->m_GroupNr >= 0 && copy->m_GroupNr == original->m_GroupNr;
    int16_t low[kSignatureLength], high[kSignatureLength];
    BoxFromRadius(copy->m_Signature, collection.engine->Duplicates().Weights(),
                  collection.engine->Duplicates().Threshold(), low, high);
    bool inside = true;
    for (int v = 0; v < kSignatureLength && inside; ++v) {
      inside = original->m_Signature[v] >= low[v] && original->m_Signature[v] <= high[v];
    }
    inBox += inside;
  }
  state.counters["copies_in_box"] = inBox;
  state.counters["grouped"] = grouped;
  state.counters["known_copies"] = static_cast<double>(copies);
  state.counters["copies_with_original"] = found;
}
BENCHMARK(BM_DuplicateSearch)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Exact duplicate search cost per seed: score every record against the seed, keep those
// within the threshold box, sort them. The full search is n such seeds.
void BM_BruteForceDuplicateSeed(benchmark::State& state) {
  Collection& collection = CollectionOf(state.range(0));
  const WeightVector weights = DefaultWeights();
  const double threshold = DuplicateThreshold(weights, kDefaultDuplicateSimilarity);
  const std::vector<ImageRecord*> queries = Queries(collection, 200);
  size_t q = 0;
  for (auto _ : state) {
    ImageRecord* seed = queries[q++ % queries.size()];
    std::vector<SearchResult> results(collection.records.size());
    std::vector<SearchResult*> order;
    for (size_t i = 0; i < results.size(); ++i) {
      ImageRecord* record = collection.records[i];
      results[i] = {Distance(seed->m_Signature, record->m_Signature, weights.data()),
                    record->m_Path.c_str(), record};
      if (results[i].distance <= threshold) order.push_back(&results[i]);
    }
    SortResults(order.data(), order.size());
    benchmark::DoNotOptimize(order.data());
  }
  // The whole exact search is range(0) seeds of this time each.
  state.counters["seeds_in_full_search"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_BruteForceDuplicateSeed)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_AdjustCriteria(benchmark::State& state) {
  Collection& collection = CollectionOf(state.range(0));
  // A picture with a perturbed copy: the copy (set index 24) and its original.
  ImageRecord* copy = collection.records[kCopyEvery - 1];
  ImageRecord* best = nullptr;
  double nearest = 1e300;
  const WeightVector weights = DefaultWeights();
  for (int i = 0; i < kCopyEvery - 1; ++i) {
    const double d =
        Distance(copy->m_Signature, collection.records[i]->m_Signature, weights.data());
    if (d < nearest) {
      nearest = d;
      best = collection.records[i];
    }
  }
  int trials = 0;
  for (auto _ : state) {
    SetCurrentCriteria(DefaultCriteria());
    collection.db.ClearSelection();
    collection.engine->SetSearchPicture(best->m_LfdNr);
    AdjustCriteria(*collection.engine, false, true, copy, [&](double, unsigned) {
      ++trials;
      return true;
    });
  }
  SetCurrentCriteria(DefaultCriteria());
  state.counters["trials"] = trials;
}
BENCHMARK(BM_AdjustCriteria)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// 10,000 pictures with their thumbnails in memory, and a 1600 x 1200 source.
Collection& TileCollection() {
  static std::unique_ptr<Collection> collection;
  if (collection) return *collection;
  collection = std::make_unique<Collection>();
  collection->db.m_ThumbBudget = 1 << 30;
  collection->engine = std::make_unique<SearchEngine>(collection->db);
  for (int64_t i = 0; i < 10000; ++i) {
    int32_t width, height;
    const PackedImage picture = PictureOf(i, &width, &height);
    ImageRecord* record = MakeRecord(PathOf(i));
    MakeRecordThumbnail(record, picture.width, picture.height, picture.stride(),
                        picture.pixels.data());
    record->m_PictureWidth = width;
    record->m_PictureHeight = height;
    ComputeSignature(record->m_ThumbWidth, record->m_ThumbHeight, record->m_ThumbPixels, width,
                     height, record->m_Signature);
    collection->db.AddRecord(record, false);
    collection->records.push_back(record);
  }
  collection->engine->EnsureIndex();
  return *collection;
}

void BM_Mosaic(benchmark::State& state) {
  Collection& collection = TileCollection();
  const PackedImage source = GeneratedPicture(4711, 1600, 1200);
  MosaicOptions options;
  options.file = "/tmp/gq-search-bench-mosaic.bmp";
  for (auto _ : state) {
    MosaicRun& mosaic = collection.engine->Mosaic();
    if (!mosaic.Setup(options, source).empty()) state.SkipWithError("setup failed");
    while (mosaic.Step() >= 0) {
    }
  }
}
BENCHMARK(BM_Mosaic)->Unit(benchmark::kMillisecond)->Iterations(3);

// The mosaic's tile choice done exactly: per cell, every picture scored and sorted.
void BM_BruteForceMosaicChoice(benchmark::State& state) {
  Collection& collection = TileCollection();
  const PackedImage source = GeneratedPicture(4711, 1600, 1200);
  const WeightVector weights = MosaicWeights(std::min(1600 / 20, 1200 / 30));
  for (auto _ : state) {
    for (int cell = 0; cell < 600; ++cell) {
      const int row = cell / 20, column = cell % 20;
      PackedImage piece, thumb;
      piece.Allocate(80, 40);
      for (int y = 0; y < 40; ++y) {
        std::memcpy(piece.row(y), source.row(row * 40 + y) + 3 * column * 80, 240);
      }
      MakeThumbnail(piece.width, piece.height, piece.stride(), piece.pixels.data(), 96, &thumb);
      int16_t signature[kSignatureLength] = {};
      ComputeSignature(thumb.width, thumb.height, thumb.pixels.data(), 1600, 1200, signature);
      std::vector<SearchResult> results(collection.records.size());
      std::vector<SearchResult*> order(results.size());
      for (size_t i = 0; i < results.size(); ++i) {
        ImageRecord* record = collection.records[i];
        results[i] = {Distance(signature, record->m_Signature, weights.data()),
                      record->m_Path.c_str(), record};
        order[i] = &results[i];
      }
      SortResults(order.data(), order.size());
      benchmark::DoNotOptimize(order.front());
    }
  }
}
BENCHMARK(BM_BruteForceMosaicChoice)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace gq

BENCHMARK_MAIN();
