#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "search/CriteriaAdjust.h"
#include "signature/CriteriaFile.h"
#include "search/SearchTestSupport.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

using test::GeneratedPicture;
using test::SearchFixture;

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Restores the default criteria after each test.
class CriteriaTest : public ::testing::Test {
 protected:
  void SetUp() override { SetCurrentCriteria(DefaultCriteria()); }
  void TearDown() override { SetCurrentCriteria(DefaultCriteria()); }
};

TEST_F(CriteriaTest, FileOfTheDefaultsHasFiftyNineCharactersAndReadsBack) {
  const std::string path = ::testing::TempDir() + "/criteria_defaults.txt";
  ASSERT_TRUE(WriteCriteriaFile(path, DefaultCriteria()));
  const std::string text = ReadFile(path);
  EXPECT_EQ(text, " 50 50 50 50 50 10 40 40 40 10 50 50 50 50 50 50 50 50 50 0");
  EXPECT_EQ(text.size(), 59u);
  Criteria read;
  ASSERT_TRUE(ReadCriteriaFile(path, &read));
  EXPECT_EQ(read, DefaultCriteria());
  // Without the leading blank, with a line end and trailing text.
  WriteFile(path, text.substr(1) + "\r\nanything after");
  Criteria again;
  ASSERT_TRUE(ReadCriteriaFile(path, &again));
  EXPECT_EQ(again, DefaultCriteria());
  Criteria odd;
  ASSERT_TRUE(ParseCriteriaText("\t-5\n200 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18", &odd));
  EXPECT_EQ(odd.value[0], -5) << "values outside 0-100 are stored as read";
  EXPECT_EQ(odd.value[1], 200);
}

TEST_F(CriteriaTest, NineteenNumbersFailAfterStoringThem) {
  Criteria criteria = DefaultCriteria();
  EXPECT_FALSE(ParseCriteriaText(" 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19", &criteria));
  for (int i = 0; i < 19; ++i) EXPECT_EQ(criteria.value[i], i + 1);
  EXPECT_EQ(criteria.value[19], 0);
  EXPECT_FALSE(ParseCriteriaText(" 1 x", &criteria));
  EXPECT_FALSE(ReadCriteriaFile(::testing::TempDir() + "/no/such/criteria.txt", &criteria));
}

TEST_F(CriteriaTest, UnwritableFileSaysSo) {
  test::ScriptedMessageBox boxes;
  EXPECT_FALSE(
      WriteCriteriaFile(::testing::TempDir() + "/no/such/folder/c.txt", DefaultCriteria()));
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Can't write file."}));
}

// A collection where the "similar" pictures are variants of the search picture and the
// rest are unrelated.
struct AdjustFixture : SearchFixture {
  AdjustFixture() {
    const PackedImage base = GeneratedPicture(4242);
    search = AddPicture("/a/search.jpg", base);
    for (int i = 0; i < 3; ++i) {
      similar.push_back(
          AddPicture("/a/similar" + std::to_string(i) + ".jpg",
                     test::Perturbed(GeneratedPicture(4242, 120 + 8 * i, 90), i, 20)));
    }
    for (int i = 0; i < 40; ++i) {
      AddPicture("/a/other" + std::to_string(i) + ".jpg", GeneratedPicture(6000 + i));
    }
  }
  ImageRecord* search;
  std::vector<ImageRecord*> similar;
};

TEST_F(CriteriaTest, AdjustmentRefusesWithoutItsInputs) {
  AdjustFixture fixture;
  EXPECT_EQ(AdjustCriteria(*fixture.engine, false, true, nullptr, nullptr), "No search picture.");
  fixture.engine->SetSearchPicture(fixture.search->m_LfdNr);
  EXPECT_EQ(AdjustCriteria(*fixture.engine, false, true, fixture.search, nullptr),
            "No pictures selected.");
  SetCurrentCriteria(Criteria{});
  EXPECT_EQ(AdjustCriteria(*fixture.engine, false, true, fixture.similar[0], nullptr),
            "All criterias are deactivated.");
  EXPECT_EQ(CurrentCriteria(), Criteria{});
}

TEST_F(CriteriaTest, QuickAdjustStartsFromFiftyAndLeavesZeroCriteriaAlone) {
  AdjustFixture fixture;
  fixture.engine->SetSearchPicture(fixture.search->m_LfdNr);
  fixture.db.Select(fixture.similar[1]->m_LfdNr, kSelect);
  int reports = 0;
  EXPECT_EQ(AdjustCriteria(*fixture.engine, true, false, fixture.similar[0],
                           [&](double, unsigned) {
                             ++reports;
                             return true;
                           }),
            "");
  EXPECT_EQ(reports, 1) << "quick reports only its start";
  EXPECT_EQ(CurrentCriteria().value[kFilePath], 0);
  for (int c = 0; c < kCriteriaCount; ++c) {
    if (c == kFilePath) continue;
    EXPECT_GE(CurrentCriteria().value[c], 1) << c;
    EXPECT_LE(CurrentCriteria().value[c], 100) << c;
  }
  EXPECT_TRUE(fixture.db.IsSelected(fixture.similar[0]->m_LfdNr))
      << "the focused picture is selected";
}

TEST_F(CriteriaTest, FullAdjustReportsProgressAndStopsWhenAsked) {
  AdjustFixture fixture;
  fixture.engine->SetSearchPicture(fixture.search->m_LfdNr);
  for (ImageRecord* record : fixture.similar) fixture.db.Select(record->m_LfdNr, kSelect);
  std::vector<double> fractions;
  ASSERT_EQ(AdjustCriteria(*fixture.engine, false, true, nullptr,
                           [&](double fraction, unsigned) {
                             fractions.push_back(fraction);
                             return true;
                           }),
            "");
  ASSERT_GE(fractions.size(), 2u);
  EXPECT_DOUBLE_EQ(fractions.front(), 0.01);
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
  const Criteria adjusted = CurrentCriteria();
  EXPECT_EQ(adjusted.value[kFilePath], 0);

  // Stopped after the first trial: at most one criterion moved by one.
  SetCurrentCriteria(DefaultCriteria());
  int calls = 0;
  AdjustCriteria(*fixture.engine, false, true, nullptr,
                 [&](double, unsigned) { return ++calls < 2; });
  int changed = 0;
  for (int c = 0; c < kCriteriaCount; ++c) {
    const int diff = CurrentCriteria().value[c] - DefaultCriteria().value[c];
    if (diff != 0) {
      ++changed;
      EXPECT_EQ(diff, 1);
    }
  }
  EXPECT_LE(changed, 1);
}

TEST_F(CriteriaTest, CriteriaAtTheirBoundsAreNeverPushedBeyond) {
  AdjustFixture fixture;
  fixture.engine->SetSearchPicture(fixture.search->m_LfdNr);
  fixture.db.Select(fixture.similar[0]->m_LfdNr, kSelect);
  Criteria criteria = DefaultCriteria();
  criteria.value[kTexture] = 100;
  criteria.value[kFormat] = 1;
  SetCurrentCriteria(criteria);
  std::vector<Criteria> seen;
  AdjustCriteria(*fixture.engine, false, true, nullptr, [&](double, unsigned) {
    seen.push_back(CurrentCriteria());
    return true;
  });
  for (const Criteria& state : seen) {
    for (int32_t value : state.value) {
      EXPECT_LE(value, 100);
    }
    EXPECT_GE(state.value[kFormat], 1);
    EXPECT_EQ(state.value[kFilePath], 0);
  }
}

}  // namespace
}  // namespace gq
