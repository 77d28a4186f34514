// Speed of the iavl tree at 1,000,000 random 64-bit keys against std::set (and a sorted
// vector's binary search for rank lookups). Items of the separate-node tree are the keys
// themselves (ordered by the default address compare); the embedded-node tree orders records
// that carry their node and key, as the picture database does.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <vector>

#include "db/iavl.h"

namespace gq {
namespace {

constexpr size_t kItems = 1000000;

const std::vector<uint64_t>& Keys() {
  static const std::vector<uint64_t> keys = [] {
    std::mt19937_64 random(20261207);
    std::vector<uint64_t> k(kItems);
    for (uint64_t& key : k) key = random() | 1;  // never 0: items are never none
    return k;
  }();
  return keys;
}

// The keys in another random order, for lookups and removals.
const std::vector<uint64_t>& ShuffledKeys() {
  static const std::vector<uint64_t> keys = [] {
    std::vector<uint64_t> k = Keys();
    std::shuffle(k.begin(), k.end(), std::mt19937_64(7));
    return k;
  }();
  return keys;
}

void* AsItem(uint64_t key) { return reinterpret_cast<void*>(static_cast<uintptr_t>(key)); }

struct Record {
  iavl_node node;
  uint64_t key;
};

int CompareRecords(const void* key, const void* item, void*) {
  const uint64_t a = static_cast<const Record*>(key)->key;
  const uint64_t b = static_cast<const Record*>(item)->key;
  return a < b ? -1 : (a > b ? 1 : 0);
}

// A tree of the first count keys.
void FillTree(iavl* tree, size_t count = kItems) {
  iavl_create(tree, nullptr, nullptr, kIavlUnique, nullptr, kIavlSeparateNodes);
  for (size_t i = 0; i < count; ++i) iavl_insert(tree, AsItem(Keys()[i]), kIavlUnique);
}

std::vector<Record>& Records() {
  static std::vector<Record> records = [] {
    std::vector<Record> r(kItems);
    for (size_t i = 0; i < kItems; ++i) r[i].key = Keys()[i];
    return r;
  }();
  return records;
}

void BM_IavlInsert(benchmark::State& state) {
  for (auto _ : state) {
    iavl tree;
    FillTree(&tree);
    state.PauseTiming();
    iavl_destroy(&tree, nullptr);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kItems));
}
BENCHMARK(BM_IavlInsert)->Unit(benchmark::kMillisecond);

void BM_IavlEmbeddedInsert(benchmark::State& state) {
  std::vector<Record>& records = Records();
  for (auto _ : state) {
    iavl tree;
    iavl_create(&tree, CompareRecords, nullptr, kIavlUnique, nullptr, 0);
    for (Record& record : records) iavl_insert(&tree, &record, kIavlUnique);
    state.PauseTiming();
    iavl_destroy(&tree, [](void*, void*) {});  // with a callback the records' nodes are cleared
    state.ResumeTiming();
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kItems));
}
BENCHMARK(BM_IavlEmbeddedInsert)->Unit(benchmark::kMillisecond);

void BM_SetInsert(benchmark::State& state) {
  for (auto _ : state) {
    std::set<uint64_t> set;
    for (uint64_t key : Keys()) set.insert(key);
    state.PauseTiming();
    set.clear();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kItems));
}
BENCHMARK(BM_SetInsert)->Unit(benchmark::kMillisecond);

void BM_IavlRemove(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    iavl tree;
    FillTree(&tree);
    state.ResumeTiming();
    for (uint64_t key : ShuffledKeys()) iavl_remove(&tree, AsItem(key), 0);
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kItems));
}
BENCHMARK(BM_IavlRemove)->Unit(benchmark::kMillisecond);

void BM_SetRemove(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::set<uint64_t> set(Keys().begin(), Keys().end());
    state.ResumeTiming();
    for (uint64_t key : ShuffledKeys()) set.erase(key);
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kItems));
}
BENCHMARK(BM_SetRemove)->Unit(benchmark::kMillisecond);

// Single lookups over the shuffled keys; one benchmark iteration is one lookup.
template <typename Lookup>
void RunLookups(benchmark::State& state, Lookup lookup) {
  const std::vector<uint64_t>& keys = ShuffledKeys();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(lookup(keys[i], i));
    if (++i == keys.size()) i = 0;
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

void BM_IavlFind(benchmark::State& state) {
  iavl tree;
  FillTree(&tree);
  RunLookups(state, [&](uint64_t key, size_t) { return iavl_find(&tree, AsItem(key), 0); });
  iavl_destroy(&tree, nullptr);
}
BENCHMARK(BM_IavlFind);

void BM_IavlEmbeddedFind(benchmark::State& state) {
  iavl tree;
  iavl_create(&tree, CompareRecords, nullptr, kIavlUnique, nullptr, 0);
  for (Record& record : Records()) iavl_insert(&tree, &record, kIavlUnique);
  RunLookups(state, [&](uint64_t key, size_t) {
    Record probe{{}, key};
    return iavl_find(&tree, &probe, 0);
  });
  iavl_destroy(&tree, [](void*, void*) {});
}
BENCHMARK(BM_IavlEmbeddedFind);

void BM_SetFind(benchmark::State& state) {
  std::set<uint64_t> set(Keys().begin(), Keys().end());
  RunLookups(state, [&](uint64_t key, size_t) { return set.find(key) != set.end(); });
}
BENCHMARK(BM_SetFind);

// Rank lookups in trees of 1,000 to 1,000,000 items: the time grows with log n.
void BM_IavlRankOf(benchmark::State& state) {
  const size_t count = size_t(state.range(0));
  iavl tree;
  FillTree(&tree, count);
  std::vector<uint64_t> probes(Keys().begin(), Keys().begin() + count);
  std::shuffle(probes.begin(), probes.end(), std::mt19937_64(11));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(iavl_rank_of(&tree, AsItem(probes[i]), 0));
    if (++i == count) i = 0;
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
  iavl_destroy(&tree, nullptr);
}
BENCHMARK(BM_IavlRankOf)->Arg(1000)->Arg(31623)->Arg(int64_t(kItems));

void BM_SortedVectorRankOf(benchmark::State& state) {
  std::vector<uint64_t> sorted = Keys();
  std::sort(sorted.begin(), sorted.end());
  RunLookups(state, [&](uint64_t key, size_t) {
    return std::lower_bound(sorted.begin(), sorted.end(), key) - sorted.begin();
  });
}
BENCHMARK(BM_SortedVectorRankOf);

void BM_IavlSelect(benchmark::State& state) {
  const size_t count = size_t(state.range(0));
  iavl tree;
  FillTree(&tree, count);
  RunLookups(state, [&](uint64_t key, size_t) { return iavl_select(&tree, int32_t(key % count)); });
  iavl_destroy(&tree, nullptr);
}
BENCHMARK(BM_IavlSelect)->Arg(1000)->Arg(31623)->Arg(int64_t(kItems));

void BM_SortedVectorSelect(benchmark::State& state) {
  std::vector<uint64_t> sorted = Keys();
  std::sort(sorted.begin(), sorted.end());
  RunLookups(state, [&](uint64_t key, size_t) { return sorted[key % kItems]; });
}
BENCHMARK(BM_SortedVectorSelect);

void BM_IavlIteratorWalk(benchmark::State& state) {
  iavl tree;
  FillTree(&tree);
  for (auto _ : state) {
    iavl_iterator it;
    iavl_iter_init(&it, &tree);
    uint64_t sum = 0;
    for (void* item = iavl_iter_first(&it); item; item = iavl_iter_next(&it)) {
      sum += reinterpret_cast<uintptr_t>(item);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kItems));
  iavl_destroy(&tree, nullptr);
}
BENCHMARK(BM_IavlIteratorWalk)->Unit(benchmark::kMillisecond);

void BM_SetIteratorWalk(benchmark::State& state) {
  std::set<uint64_t> set(Keys().begin(), Keys().end());
  for (auto _ : state) {
    uint64_t sum = 0;
    for (uint64_t key : set) sum += key;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kItems));
}
BENCHMARK(BM_SetIteratorWalk)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace gq

BENCHMARK_MAIN();
