// The exact similar search against brute force (every record scored, all sorted in path
// order with SortResults), for each scan variant the processor runs.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <random>

#include "search/ExactSearch.h"
#include "search/SearchTestSupport.h"
#include "signature/SearchResult.h"

namespace gq {
namespace {

std::vector<ScoredRecord> BruteForce(const ImageRecordDB& db, const int16_t* query,
                                     const WeightVector& weights, size_t count) {
  const std::vector<ImageRecord*> records = db.RecordsByPath();
  std::vector<SearchResult> results(records.size());
  std::vector<SearchResult*> order;
  for (size_t i = 0; i < records.size(); ++i) {
    results[i] = {Distance(query, records[i]->m_Signature, weights.data()),
                  records[i]->m_Path.c_str(), records[i]};
    order.push_back(&results[i]);
  }
  SortResults(order.data(), order.size());
  std::vector<ScoredRecord> list;
  for (size_t i = 0; i < std::min(count, order.size()); ++i) {
    list.push_back({order[i]->distance, static_cast<ImageRecord*>(order[i]->record)});
  }
  return list;
}

::testing::AssertionResult SameList(const std::vector<ScoredRecord>& actual,
                                    const std::vector<ScoredRecord>& expected) {
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure() << actual.size() << " places, not " << expected.size();
  }
  for (size_t i = 0; i < actual.size(); ++i) {
    if (actual[i].record != expected[i].record || actual[i].distance != expected[i].distance) {
      return ::testing::AssertionFailure()
             << "place " << i << ": " << (actual[i].record ? actual[i].record->m_Path : "none")
             << " at " << actual[i].distance << ", not " << expected[i].record->m_Path << " at "
             << expected[i].distance;
    }
  }
  return ::testing::AssertionSuccess();
}

enum class Values { kUniform, kExtreme, kClustered, kReal };
enum class Weights { kDefault, kRandomCriteria, kFlat };

WeightVector WeightsOf(Weights kind, std::mt19937& random) {
  if (kind == Weights::kDefault) return DefaultWeights();
  Criteria criteria{};  // all 0: every weight 1.0
  if (kind == Weights::kRandomCriteria) {
    for (int32_t& value : criteria.value) value = static_cast<int32_t>(random() % 101);
  }
  return BuildWeights(criteria);
}

// Fills the database with n records; every fourth is a twin of an earlier one: the same
// signature under the same path but for letter case, so that the two tie fully.
void Fill(test::SearchFixture& fixture, Values kind, int n, std::mt19937& random) {
  std::vector<Signature> bases(5);
  for (Signature& base : bases) {
    for (int16_t& value : base) value = static_cast<int16_t>(random());
  }
  static const int16_t kExtremes[] = {-32768, -1, 0, 1, 32767};
  std::vector<ImageRecord*> made;
  for (int i = 0; i < n; ++i) {
    const int named = i % 4 == 3 ? i - 1 : i;
    const std::string path = "/set/Pic" + std::to_string(named) + (i % 4 == 3 ? "A" : "a");
    ImageRecord* record = nullptr;
    if (kind == Values::kReal) {
      const PackedImage picture = test::GeneratedPicture(i / 8);
      record = test::RecordOf(path, i % 8 < 4 ? picture : test::Perturbed(picture, i));
    } else {
      record = MakeRecord(path);
      for (int v = 0; v < kSignatureLength; ++v) {
        int16_t& value = record->m_Signature[v];
        if (kind == Values::kUniform) value = static_cast<int16_t>(random());
        if (kind == Values::kExtreme) value = kExtremes[random() % 5];
        if (kind == Values::kClustered) value = bases[i % 5][v] + static_cast<int>(random() % 7);
      }
    }
    if (i % 4 == 3) std::copy_n(made[i - 1]->m_Signature, kSignatureLength, record->m_Signature);
    made.push_back(fixture.Add(record));
  }
}

TEST(ExactSearch, GivesTheBruteForceListForEveryScanVariant) {
  struct Case {
    Values values;
    Weights weights;
    int records, count;
  } const cases[] = {
      {Values::kUniform, Weights::kDefault, 1, 1},
      {Values::kUniform, Weights::kRandomCriteria, 8, 8},
      {Values::kExtreme, Weights::kFlat, 9, 20},
      {Values::kUniform, Weights::kDefault, 1500, 21},
      {Values::kExtreme, Weights::kRandomCriteria, 1500, 30},
      {Values::kClustered, Weights::kDefault, 1500, 60},
      {Values::kClustered, Weights::kRandomCriteria, 300, 40},
      {Values::kClustered, Weights::kFlat, 700, 700},
      {Values::kReal, Weights::kDefault, 400, 50},
      {Values::kReal, Weights::kRandomCriteria, 400, 25},
  };
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    for (const Case& c : cases) {
      std::mt19937 random(seed);
      test::SearchFixture fixture;
      Fill(fixture, c.values, c.records, random);
      ASSERT_TRUE(fixture.engine->EnsureIndex());
      const WeightVector weights = WeightsOf(c.weights, random);
      ExactSearch exact;
      ASSERT_TRUE(exact.Build(fixture.db));
      const std::vector<ImageRecord*> records = fixture.db.RecordsByPath();
      Signature outside;
      for (int16_t& value : outside) value = static_cast<int16_t>(random());
      const int16_t* queries[] = {records[random() % records.size()]->m_Signature,
                                  records.back()->m_Signature, outside.data()};
      for (const ScanVariant& variant : RunnableScanVariants()) {
        exact.SetVariant(variant);
        for (const int16_t* query : queries) {
          EXPECT_TRUE(SameList(exact.Nearest(fixture.db, query, weights, c.count),
                               BruteForce(fixture.db, query, weights, c.count)))
              << "seed " << seed << ", " << variant.name << ", values "
              << static_cast<int>(c.values) << ", weights " << static_cast<int>(c.weights) << ", "
              << c.records << " records";
        }
      }
    }
  }
}

// An entry whose distance is exactly the one the limit is made from is always listed,
// whatever the rounding of the weights and of the distance; the variants list alike.
// The entries lie around the query at several spreads, so that most limits are below
// the int32 maximum; now and then a value is extreme, a difference above 32767.
TEST(ExactScan, ListsEveryEntryWithinTheDistanceOfTheLimit) {
  constexpr int kEntries = 64;
  static const int16_t kExtremes[] = {-32768, -32767, 32766, 32767};
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    WeightVector weights;
    for (double& weight : weights) {
      // Odd seeds: weights the quantisation keeps exactly, so the bound meets the limit.
      const double choices[] = {0,
                                1,
                                0.5,
                                0.25,
                                std::ldexp(3.0, -20),
                                1 - std::ldexp(1.0, -40),
                                std::uniform_real_distribution<double>(0, 1)(random)};
      weight = choices[random() % (seed % 2 ? 4 : 7)];
    }
    Signature query;
    for (int16_t& value : query) value = static_cast<int16_t>(random() % 32001) - 16000;
    std::vector<ScanBlock> blocks(kEntries / kScanBlockEntries);
    std::vector<Signature> entries(kEntries);
    for (int e = 0; e < kEntries; ++e) {
      const int spread = 1 << (4 + 3 * (e % 4));
      for (int v = 0; v < kSignatureLength; ++v) {
        const int offset = static_cast<int>(random() % (2 * spread + 1)) - spread;
        const int16_t value =
            random() % 64 == 0 ? kExtremes[random() % 4] : static_cast<int16_t>(query[v] + offset);
        entries[e][v] = value;
        blocks[e / 8].values[v / 2 * kScanPairValues + 2 * (e % 8) + v % 2] = value;
      }
    }
    double scale = 0;
    const ScanQuery scan = MakeScanQuery(query.data(), weights, &scale);
    int limited = 0;
    for (int e = 0; e < kEntries; ++e) {
      const int32_t limit = ScanLimit(Distance(query, entries[e], weights), scale);
      limited += limit < INT32_MAX;
      std::vector<std::vector<uint32_t>> lists;
      for (const ScanVariant& variant : RunnableScanVariants()) {
        std::vector<uint32_t> found(kEntries);
        found.resize(
            variant.listWithin(blocks.data(), blocks.size(), scan, limit, 0, found.data()));
        EXPECT_TRUE(std::find(found.begin(), found.end(), uint32_t(e)) != found.end())
            << "seed " << seed << ", " << variant.name << ": entry " << e << " left out";
        lists.push_back(found);
      }
      EXPECT_EQ(lists.front(), lists.back()) << "seed " << seed << ", entry " << e;
    }
    EXPECT_GT(limited, kEntries / 2) << "seed " << seed;
  }
}

TEST(ExactSearch, RecordsRemovedSinceTheBuildSortLastWithoutRecord) {
  std::mt19937 random(7);
  test::SearchFixture fixture;
  Fill(fixture, Values::kUniform, 12, random);
  ASSERT_TRUE(fixture.engine->EnsureIndex());
  ExactSearch exact;
  ASSERT_TRUE(exact.Build(fixture.db));
  std::vector<ImageRecord*> records = fixture.db.RecordsByPath();
  const Signature query = std::to_array(records[0]->m_Signature);
  fixture.db.RemoveRecord(records[0]);
  fixture.db.RemoveRecord(records[5]);
  const std::vector<ScoredRecord> list =
      exact.Nearest(fixture.db, query.data(), DefaultWeights(), 12);
  const std::vector<ScoredRecord> live = BruteForce(fixture.db, query.data(), DefaultWeights(), 10);
  ASSERT_EQ(list.size(), 12u);
  EXPECT_TRUE(SameList({list.begin(), list.begin() + 10}, live));
  for (size_t i = 10; i < 12; ++i) {
    EXPECT_EQ(list[i].record, nullptr);
    EXPECT_EQ(list[i].distance, kRejectedDistance);
  }
}

// The engine's exact list is the brute-force list with the picture itself left out, and
// it follows records added after an earlier exact search.
TEST(ExactSearch, EngineListFollowsTheDatabase) {
  std::mt19937 random(3);
  test::SearchFixture fixture;
  Fill(fixture, Values::kReal, 200, random);
  ImageRecord* picture = fixture.db.RecordsByPath()[17];
  const WeightVector weights = DefaultWeights();
  auto expected = [&](int32_t first, int32_t last) {
    std::vector<ScoredRecord> all = BruteForce(fixture.db, picture->m_Signature, weights, 1 << 20);
    std::erase_if(all, [&](const ScoredRecord& r) { return r.record == picture; });
    const size_t end = std::min<size_t>(all.size(), last);
    return std::vector<ScoredRecord>(all.begin() + std::min<size_t>(first - 1, end),
                                     all.begin() + end);
  };
  for (auto [first, last] : {std::pair{1, 20}, {5, 7}, {150, 400}}) {
    EXPECT_TRUE(
        SameList(fixture.engine->SimilarList(picture, first, last, weights, SimilarSearch::kExact),
                 expected(first, last)))
        << first << "-" << last;
  }
  ImageRecord* twin = MakeRecord("/set/twin");
  std::copy_n(picture->m_Signature, kComputedSignatureLength, twin->m_Signature);
  fixture.Add(twin);
  const std::vector<ScoredRecord> after =
      fixture.engine->SimilarList(picture, 1, 20, weights, SimilarSearch::kExact);
  EXPECT_TRUE(SameList(after, expected(1, 20)));
}

// Whether check holds in a child process whose address space may grow by 1 MiB at most.
bool HoldsWithLittleMemory(const std::function<bool()>& check) {
  const pid_t child = fork();
  if (child == 0) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const auto limit = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + (1 << 20));
    const rlimit cap{limit, limit};
    _exit(setrlimit(RLIMIT_AS, &cap) == 0 && check() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

TEST(ExactSearch, RunningOutOfMemoryIsToldFromAnEmptyList) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer reserves more address space than the limit leaves";
#endif
  std::mt19937 random(5);
  test::SearchFixture fixture;
  Fill(fixture, Values::kUniform, 50000, random);
  ImageRecord* picture = fixture.db.RecordsByPath()[3];
  const WeightVector weights = DefaultWeights();
  auto outOfMemory = [&](SimilarSearch search) {
    bool failed = false;
    return fixture.engine->SimilarList(picture, 1, 20, weights, search, &failed).empty() && failed;
  };
  EXPECT_TRUE(HoldsWithLittleMemory([&] { return outOfMemory(SimilarSearch::kBox); }));
  // With the index built, the exact search's packed copy is what does not fit.
  bool failed = true;
  EXPECT_EQ(
      fixture.engine->SimilarList(picture, 1, 20, weights, SimilarSearch::kBox, &failed).size(),
      20u);
  EXPECT_FALSE(failed);
  EXPECT_TRUE(HoldsWithLittleMemory([&] { return outOfMemory(SimilarSearch::kExact); }));
}

}  // namespace
}  // namespace gq
