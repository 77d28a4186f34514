#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "search/SearchTestSupport.h"
#include "search/SimilarityIndex.h"
#include "signature/Criteria.h"

namespace gq {
namespace {

using test::SearchFixture;

// Records with coarse random signatures: few distinct values per place, so that the
// tree meets many equal keys, runs of them and whole equal entries.
void FillRandom(SearchFixture& fixture, uint32_t seed, int count, int distinct, int step = 100) {
  std::mt19937 random(seed);
  for (int i = 0; i < count; ++i) {
    ImageRecord* record = MakeRecord("/r/" + std::to_string(i) + ".jpg");
    const bool copyPrevious = i > 0 && random() % 5 == 0;
    for (int v = 0; v < kComputedSignatureLength; ++v) {
      record->m_Signature[v] =
          copyPrevious
              ? 0
              : static_cast<int16_t>((static_cast<int>(random() % distinct) - distinct / 2) * step);
    }
    if (copyPrevious) {
      ImageRecord* previous =
          static_cast<ImageRecord*>(iavl_select(&fixture.db.TreeByLfdNr(), i - 1));
      std::copy(previous->m_Signature, previous->m_Signature + kComputedSignatureLength,
                record->m_Signature);
    }
    fixture.Add(record);
  }
}

std::set<int32_t> BruteForceBox(ImageRecordDB& db, const int16_t* low, const int16_t* high) {
  std::set<int32_t> inside;
  for (ImageRecord* record : db.Records()) {
    bool in = true;
    for (int v = 0; v < kSignatureLength && in; ++v) {
      in = record->m_Signature[v] >= low[v] && record->m_Signature[v] <= high[v];
    }
    if (in) inside.insert(record->m_LfdNr);
  }
  return inside;
}

TEST(SimilarityIndexTest, BuildSetsPathPlacesAndBoundingBox) {
  SearchFixture fixture;
  FillRandom(fixture, 7, 50, 5);
  SimilarityIndex index;
  std::vector<double> reports;
  ASSERT_TRUE(index.Build(fixture.db, 0.5, 1.0, [&](double f) {
    reports.push_back(f);
    return true;
  }));
  EXPECT_EQ(index.EntryCount(), 50);
  const std::vector<ImageRecord*> byPath = fixture.db.RecordsByPath();
  for (size_t i = 0; i < byPath.size(); ++i) {
    EXPECT_EQ(byPath[i]->m_Signature[kSigFilePath], static_cast<int16_t>(i * 32767 / 50));
  }
  ASSERT_FALSE(reports.empty());
  EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
  EXPECT_GE(reports.front(), 0.5);
  EXPECT_DOUBLE_EQ(reports.back(), 1.0);
  for (int v = 0; v < kSignatureLength; ++v) {
    int16_t low = 32767, high = -32768;
    for (ImageRecord* record : byPath) {
      low = std::min(low, record->m_Signature[v]);
      high = std::max(high, record->m_Signature[v]);
    }
    EXPECT_EQ(index.BoxLow()[v], low) << "value " << v;
    EXPECT_EQ(index.BoxHigh()[v], high) << "value " << v;
  }
}

TEST(SimilarityIndexTest, BoxQueryMatchesBruteForce) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    SearchFixture fixture;
    FillRandom(fixture, seed, 400, seed == 3 ? 2 : 7);
    SimilarityIndex index;
    ASSERT_TRUE(index.Build(fixture.db, 0, 0, nullptr));
    std::mt19937 random(seed * 101);
    for (int query = 0; query < 40; ++query) {
      int16_t low[kSignatureLength], high[kSignatureLength];
      for (int v = 0; v < kSignatureLength; ++v) {
        const int a = (static_cast<int>(random() % 9) - 4) * 100;
        const int width = v % 3 == 0 ? 65535 : static_cast<int>(random() % 700);
        low[v] = static_cast<int16_t>(std::max(-32768, a - width / 2));
        high[v] = static_cast<int16_t>(std::min(32767, a + width / 2));
      }
      const std::set<int32_t> expected = BruteForceBox(fixture.db, low, high);
      ASSERT_EQ(index.BoxQuery(low, high, 1 << 30), static_cast<int32_t>(expected.size()));
      EXPECT_EQ(index.Results(), index.BoxQueryByWalk(low, high, 1 << 30))
          << "the list follows the tree walk";
      const std::set<int32_t> found(index.Results().begin(), index.Results().end());
      EXPECT_EQ(found, expected);
      EXPECT_EQ(found.size(), index.Results().size()) << "an entry was listed twice";
      if (expected.size() > 2) {
        EXPECT_EQ(index.BoxQuery(low, high, 2), 2);
        EXPECT_EQ(index.Results(), index.BoxQueryByWalk(low, high, 2));
      }
    }
  }
}

TEST(SimilarityIndexTest, EqualEntriesFormAChainAndAreAllFound) {
  SearchFixture fixture;
  for (int i = 0; i < 30; ++i) fixture.Add(MakeRecord("/same/" + std::to_string(i)));
  SimilarityIndex index;
  ASSERT_TRUE(index.Build(fixture.db, 0, 0, nullptr));
  // 30 records: value 103 differs (i * 32767 / 30), every other value is 0.
  int16_t low[kSignatureLength] = {}, high[kSignatureLength] = {};
  low[kSigFilePath] = -32768;
  high[kSigFilePath] = 32767;
  EXPECT_EQ(index.BoxQuery(low, high, 100), 30);
  low[kSigFilePath] = high[kSigFilePath] = 0;
  EXPECT_EQ(index.BoxQuery(low, high, 100), 1);
}

TEST(SimilarityIndexTest, BoxFromRadiusClipsAndOpensZeroWeights) {
  WeightVector weights{};
  weights[0] = 0.5;
  weights[1] = 1.0;
  int16_t query[kSignatureLength] = {};
  query[0] = 100;
  query[1] = 32700;
  int16_t low[kSignatureLength], high[kSignatureLength];
  BoxFromRadius(query, weights, 10.7, low, high);
  EXPECT_EQ(low[0], 78);  // 100 - 21.4 truncated toward zero
  EXPECT_EQ(high[0], 121);
  EXPECT_EQ(low[1], 32689);
  EXPECT_EQ(high[1], 32710);
  BoxFromRadius(query, weights, 1e6, low, high);
  EXPECT_EQ(low[1], -32768);
  EXPECT_EQ(high[1], 32767);
  EXPECT_EQ(low[2], -32768);
  EXPECT_EQ(high[2], 32767);
}

TEST(SimilarityIndexTest, CandidateSearchHoldsTheBoxOfItsLastRadius) {
  SearchFixture fixture;
  FillRandom(fixture, 11, 600, 4000, 3);
  SimilarityIndex index;
  ASSERT_TRUE(index.Build(fixture.db, 0, 0, nullptr));
  const WeightVector weights = BuildWeights(DefaultCriteria());
  std::mt19937 random(5);
  for (int query = 0; query < 20; ++query) {
    auto* record = static_cast<ImageRecord*>(
        iavl_select(&fixture.db.TreeByLfdNr(), static_cast<int32_t>(random() % 600)));
    const int32_t hits = index.CandidateSearch(record->m_Signature, weights, 30, 60, 0, 50);
    EXPECT_GE(hits, 30);
    EXPECT_LE(hits, 62);
    int16_t low[kSignatureLength], high[kSignatureLength];
    BoxFromRadius(record->m_Signature, weights, index.LastQueryRadius(), low, high);
    const std::set<int32_t> expected = BruteForceBox(fixture.db, low, high);
    const std::set<int32_t> found(index.Results().begin(), index.Results().end());
    if (expected.size() <= 62) {
      EXPECT_EQ(found, expected);
    }
    EXPECT_TRUE(found.count(record->m_LfdNr)) << "the query record is always in its box";
    // Every record within the last radius lies in the box and was found.
    for (ImageRecord* other : fixture.db.Records()) {
      if (Distance(record->m_Signature, other->m_Signature, weights.data()) <=
              index.LastQueryRadius() &&
          expected.size() <= 62) {
        EXPECT_TRUE(found.count(other->m_LfdNr));
      }
    }
  }
  // An explicit radius is used as given and not remembered.
  const double remembered = index.RememberedRadius();
  auto* first = static_cast<ImageRecord*>(iavl_select(&fixture.db.TreeByLfdNr(), 0));
  index.CandidateSearch(first->m_Signature, weights, 0, 10000, 500.0, 10);
  EXPECT_DOUBLE_EQ(index.LastQueryRadius(), 500.0);
  EXPECT_DOUBLE_EQ(index.RememberedRadius(), remembered);
}

TEST(SimilarityIndexTest, RadiusIsResetWhenTheBudgetRunsOut) {
  SearchFixture fixture;
  FillRandom(fixture, 13, 200, 4000, 3);
  SimilarityIndex index;
  ASSERT_TRUE(index.Build(fixture.db, 0, 0, nullptr));
  const WeightVector weights = BuildWeights(DefaultCriteria());
  auto* record = static_cast<ImageRecord*>(iavl_select(&fixture.db.TreeByLfdNr(), 3));
  index.CandidateSearch(record->m_Signature, weights, 5, 10, 0, 50);
  EXPECT_NE(index.RememberedRadius(), kInitialRadius);
  // More candidates than records can never be found: growth runs out of its 50 steps.
  EXPECT_EQ(index.CandidateSearch(record->m_Signature, weights, 201, 402, 0, 50), 200);
  EXPECT_DOUBLE_EQ(index.RememberedRadius(), kInitialRadius);
}

TEST(SimilarityIndexTest, ScoringSortsAndMarksVanishedRecords) {
  SearchFixture fixture;
  FillRandom(fixture, 17, 40, 5);
  SimilarityIndex index;
  ASSERT_TRUE(index.Build(fixture.db, 0, 0, nullptr));
  const WeightVector weights = BuildWeights(DefaultCriteria());
  auto* query = static_cast<ImageRecord*>(iavl_select(&fixture.db.TreeByLfdNr(), 0));
  int16_t low[kSignatureLength], high[kSignatureLength];
  BoxFromRadius(query->m_Signature, weights, 1e9, low, high);
  ASSERT_EQ(index.BoxQuery(low, high, 1000), 40);
  auto* gone = static_cast<ImageRecord*>(iavl_select(&fixture.db.TreeByLfdNr(), 1));
  fixture.db.RemoveRecord(gone);
  const std::vector<ScoredRecord> results =
      index.ScoreCandidates(fixture.db, query->m_Signature, weights, nullptr);
  ASSERT_EQ(results.size(), 40u);
  EXPECT_EQ(results.back().record, nullptr);
  EXPECT_EQ(results.back().distance, kRejectedDistance);
  for (size_t i = 1; i + 1 < results.size(); ++i) {
    EXPECT_LE(results[i - 1].distance, results[i].distance);
  }
  EXPECT_EQ(results.front().distance, 0);
}

}  // namespace
}  // namespace gq
