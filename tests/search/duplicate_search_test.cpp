#include <gtest/gtest.h>

#include "frame/Settings.h"
#include "search/DuplicateSearch.h"
#include "search/IdentityDifference.h"
#include "search/SearchTestSupport.h"
#include "search/StepRunner.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

using test::GeneratedPicture;
using test::SearchFixture;

// Runs a whole search without a runner; returns the step results seen.
std::vector<int> SearchAll(SearchFixture& fixture, int similarity, bool identity = false) {
  DuplicateSearch& search = fixture.engine->Duplicates();
  search.Prepare(false, identity, similarity);
  std::vector<int> results;
  for (int result = 0; result >= 0;) {
    result = search.Step(1);
    results.push_back(result);
  }
  return results;
}

std::vector<std::pair<int32_t, std::string>> Groups(ImageRecordDB& db) {
  std::vector<std::pair<int32_t, std::string>> groups;
  for (int32_t rank = 0; rank < static_cast<int32_t>(db.GroupList().count); ++rank) {
    auto* record = static_cast<ImageRecord*>(iavl_select(&db.GroupList(), rank));
    groups.emplace_back(record->m_GroupNr, record->m_Path);
  }
  return groups;
}

void AddOthers(SearchFixture& fixture, int count) {
  for (int i = 0; i < count; ++i) {
    fixture.AddPicture("/d/other" + std::to_string(i) + ".jpg", GeneratedPicture(3000 + 7 * i));
  }
}

TEST(DuplicateSearchTest, IdenticalSignaturesBeyondTheBoxLimitFormOneGroup) {
  // More identical copies than one box query may return: every seed's box is full of
  // copies at distance 0, and a seed outside the returned ones must still find its own.
  constexpr int kCopies = 3300;
  SearchFixture fixture;
  const ImageRecord* model = fixture.AddPicture("/d/copy0.jpg", GeneratedPicture(42));
  for (int i = 1; i < kCopies; ++i) {
    ImageRecord* copy = MakeRecord("/d/copy" + std::to_string(i) + ".jpg");
    std::memcpy(copy->m_Signature, model->m_Signature, sizeof copy->m_Signature);
    fixture.Add(copy);
  }
  AddOthers(fixture, 3);
  EXPECT_EQ(SearchAll(fixture, 20).back(), kDuplicatesFinished);
  const auto groups = Groups(fixture.db);
  ASSERT_EQ(groups.size(), static_cast<size_t>(kCopies));
  for (const auto& [group, path] : groups) {
    EXPECT_EQ(group, groups.front().first) << path;
    EXPECT_EQ(path.rfind("/d/copy", 0), 0u) << path;
  }
}

TEST(DuplicateSearchTest, ThresholdFollowsTheSimilarityValue) {
  EXPECT_NEAR(DuplicateThreshold(DefaultWeights(), 20),
              std::sqrt(44.0 / 104) * 20 * 56.05546540787727 + 10, 1e-9);
  EXPECT_NEAR(DuplicateThreshold(DefaultWeights(), 20), 739.2, 0.05);
  EXPECT_DOUBLE_EQ(DuplicateThreshold(DefaultWeights(), 0), 10);
}

TEST(DuplicateSearchTest, CollectionWithoutDuplicatesFindsNothing) {
  SearchFixture fixture;
  AddOthers(fixture, 12);
  const std::vector<int> results = SearchAll(fixture, 0);
  EXPECT_EQ(results.back(), kDuplicatesFinished);
  EXPECT_EQ(fixture.db.GroupList().count, 0u);
  EXPECT_TRUE(fixture.db.DuplicatesComplete());
  EXPECT_EQ(fixture.engine->Duplicates().Step(1), kDuplicatesStopped);
}

TEST(DuplicateSearchTest, SmallCollectionsNeverReportANegativePercentage) {
  // The first step only rebuilds the stale index; its percentage must not look like
  // the end of the search.
  SearchFixture fixture;
  AddOthers(fixture, 5);
  const PackedImage copy = GeneratedPicture(42);
  fixture.AddPicture("/d/copy1.jpg", copy);
  fixture.AddPicture("/d/copy2.jpg", copy);
  const std::vector<int> results = SearchAll(fixture, 20);
  ASSERT_GE(results.size(), 8u);
  EXPECT_EQ(results[0], 0);
  for (size_t i = 0; i + 1 < results.size(); ++i) {
    EXPECT_GE(results[i], 0);
    EXPECT_LE(results[i], 100);
  }
  EXPECT_EQ(fixture.db.GroupList().count, 2u);
  // An empty collection ends without dividing by its size.
  SearchFixture empty;
  EXPECT_EQ(SearchAll(empty, 20), (std::vector<int>{kDuplicatesFinished}));
  empty.engine->Duplicates().Prepare(false, false, 20);
  empty.db.SetIndexValid(false);
  EXPECT_EQ(empty.engine->Duplicates().Step(1), 0);
}

TEST(DuplicateSearchTest, CopiesGroupByTheRankOfTheirFirstSeed) {
  SearchFixture fixture;
  AddOthers(fixture, 10);
  const PackedImage three = GeneratedPicture(77);
  for (const char* name : {"/d/b3.jpg", "/d/b1.jpg", "/d/b2.jpg"}) {
    fixture.AddPicture(name, three);
  }
  const PackedImage six = GeneratedPicture(99);
  for (int i = 1; i <= 6; ++i) fixture.AddPicture("/d/s" + std::to_string(i) + ".jpg", six);
  SearchAll(fixture, 20);
  const int32_t rankB1 =
      iavl_rank_of(&fixture.db.TreeByPath(), fixture.db.FindByPath("/d/b1.jpg"), 1);
  const int32_t rankS1 =
      iavl_rank_of(&fixture.db.TreeByPath(), fixture.db.FindByPath("/d/s1.jpg"), 1);
  std::vector<std::pair<int32_t, std::string>> expected = {
      {rankB1, "/d/b1.jpg"}, {rankB1, "/d/b2.jpg"}, {rankB1, "/d/b3.jpg"}};
  for (int i = 1; i <= 6; ++i) expected.emplace_back(rankS1, "/d/s" + std::to_string(i) + ".jpg");
  EXPECT_EQ(Groups(fixture.db), expected);
}

TEST(DuplicateSearchTest, SixCopiesGrowTheGroupFourAtATime) {
  SearchFixture fixture;
  const PackedImage six = GeneratedPicture(99);
  for (int i = 1; i <= 6; ++i) fixture.AddPicture("/g/s" + std::to_string(i) + ".jpg", six);
  DuplicateSearch& search = fixture.engine->Duplicates();
  search.Prepare(false, false, 20);
  int32_t grouped = 0;
  search.Step(2, &grouped);  // the index, then the first seed
  EXPECT_EQ(grouped, 4);
  search.Step(3, &grouped);  // s2-s4 are grouped already; s5 brings in s5 and s6
  EXPECT_EQ(grouped, 4);
  search.Step(1, &grouped);
  EXPECT_EQ(grouped, 6);
}

TEST(DuplicateSearchTest, IdentityCheckKeepsAMirrorImageApart) {
  for (bool identity : {false, true}) {
    SCOPED_TRACE(identity ? "identity check" : "no identity check");
    SearchFixture fixture;
    const PackedImage picture = GeneratedPicture(5);
    ImageRecord* original = fixture.AddPicture("/i/a.jpg", picture);
    ImageRecord* mirror = test::RecordOf("/i/b.jpg", test::Mirrored(picture));
    std::copy(original->m_Signature, original->m_Signature + kComputedSignatureLength,
              mirror->m_Signature);
    fixture.Add(mirror);
    ImageRecord* noisy = fixture.AddPicture("/i/c.jpg", test::Perturbed(picture, 9));
    SearchAll(fixture, 20, identity);
    EXPECT_EQ(original->m_GroupNr, 0);
    EXPECT_EQ(noisy->m_GroupNr, 0) << "a slightly changed copy passes";
    EXPECT_EQ(mirror->m_GroupNr, identity ? -1 : 0);
    EXPECT_GT(IdentityDifference(fixture.db, original, mirror), kIdentityLimit);
    EXPECT_LE(IdentityDifference(fixture.db, original, noisy), kIdentityLimit);
  }
}

TEST(DuplicateSearchTest, ListLayoutWithAndWithoutCompactView) {
  test::ScriptedMessageBox boxes;
  SearchFixture fixture;
  const PackedImage a = GeneratedPicture(11), b = GeneratedPicture(12);
  for (const char* name : {"/l/a1", "/l/a2", "/l/a3"}) fixture.AddPicture(name, a);
  for (const char* name : {"/l/b1", "/l/b2"}) fixture.AddPicture(name, b);
  SearchAll(fixture, 0);
  ASSERT_EQ(fixture.db.GroupList().count, 5u);
  const bool compact = g_settings.compactDuplicates;
  g_settings.compactDuplicates = true;
  fixture.engine->FillListWindow(4, 1, 6, kListSearchDuplicates);
  std::vector<std::string> paths;
  for (ImageRecord* record : fixture.db.List().Records())
    paths.push_back(record ? record->m_Path : "-");
  EXPECT_EQ(paths, (std::vector<std::string>{"/l/a2", "/l/a3", "/l/b1", "/l/b2", "-", "-"}));
  EXPECT_EQ(fixture.engine->DuplicateRows(4), 2);
  g_settings.compactDuplicates = false;
  fixture.engine->FillListWindow(4, 1, 6, kListSearchDuplicates);
  paths.clear();
  for (ImageRecord* record : fixture.db.List().Records())
    paths.push_back(record ? record->m_Path : "-");
  EXPECT_EQ(paths, (std::vector<std::string>{"/l/a2", "/l/a3", "-", "/l/b1", "/l/b2", "-"}));
  EXPECT_EQ(fixture.engine->GroupBeforeListWindow(), 0);
  EXPECT_EQ(fixture.engine->DuplicateRows(4), 2);
  EXPECT_EQ(fixture.engine->DuplicateRows(2), 4);  // a1 a2 | a3 - | b1 b2 | and one more
  g_settings.compactDuplicates = compact;
}

TEST(DuplicateSearchTest, RunnerReportsCancelAndQuitAndKeepsASecondRunOut) {
  SearchFixture fixture;
  AddOthers(fixture, 10);
  const PackedImage copy = GeneratedPicture(42);
  for (int i = 0; i < 3; ++i) fixture.AddPicture("/d/c" + std::to_string(i) + ".jpg", copy);

  std::vector<std::string> texts;
  RunnerHooks hooks;
  hooks.statusText = [&](const std::string& text) { texts.push_back(text); };
  EXPECT_EQ(RunDuplicateSearch(*fixture.engine, false, false, 20, hooks), RunOutcome::kFinished);
  EXPECT_EQ(texts.front(), "Searching...");
  EXPECT_EQ(texts.back(), "3 potential duplicates.");
  EXPECT_FALSE(DuplicateSearchBusy());

  // The button pressed again during the search cancels it.
  int dispatches = 0;
  hooks.dispatchMessages = [&] {
    if (++dispatches == 3) {
      EXPECT_EQ(RunDuplicateSearch(*fixture.engine, false, false, 20, hooks),
                RunOutcome::kCancelRequested);
    }
    return true;
  };
  EXPECT_EQ(RunDuplicateSearch(*fixture.engine, false, false, 20, hooks), RunOutcome::kCancelled);
  EXPECT_EQ(texts.back().rfind("Search canceled. ", 0), 0u) << texts.back();
  EXPECT_FALSE(DuplicateSearchBusy());

  // A quit request ends the loop at once and frees the flag.
  hooks.dispatchMessages = [] { return false; };
  EXPECT_EQ(RunDuplicateSearch(*fixture.engine, false, false, 20, hooks), RunOutcome::kQuit);
  EXPECT_FALSE(DuplicateSearchBusy());
}

}  // namespace
}  // namespace gq
