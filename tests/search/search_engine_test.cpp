#include <gtest/gtest.h>

#include "frame/Settings.h"
#include "search/SearchEngine.h"
#include "search/SearchTestSupport.h"
#include "signature/Criteria.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

using test::GeneratedPicture;
using test::SearchFixture;

std::vector<std::string> PathsOf(const std::vector<ImageRecord*>& records) {
  std::vector<std::string> paths;
  for (ImageRecord* record : records) paths.push_back(record ? record->m_Path : "-");
  return paths;
}

TEST(SearchEngineTest, OnePictureDatabaseListsTheSearchPictureAlone) {
  test::ScriptedMessageBox boxes;
  SearchFixture fixture;
  ImageRecord* only = fixture.AddPicture("/p/only.jpg", GeneratedPicture(1));
  ASSERT_EQ(fixture.engine->SetSearchPicture(only->m_LfdNr), only);
  EXPECT_TRUE(fixture.engine->FillListWindow(4, 0, 8, kListSearchSimilar));
  EXPECT_EQ(PathsOf(fixture.db.List().Records()),
            (std::vector<std::string>{"/p/only.jpg", "-", "-", "-", "-", "-", "-", "-"}));
  EXPECT_EQ(fixture.engine->SimilarText(only, 1, 20, BuildWeights(DefaultCriteria())), "");
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(fixture.engine->SetSearchPicture(12345678), nullptr);
  EXPECT_EQ(fixture.db.SearchPicture(), only);
}

TEST(SearchEngineTest, IdenticalPicturesComeFirstOrderedByPathIgnoringCase) {
  test::ScriptedMessageBox boxes;
  SearchFixture fixture;
  for (int i = 0; i < 30; ++i) {
    fixture.AddPicture("/p/other" + std::to_string(i) + ".jpg", GeneratedPicture(100 + i));
  }
  const PackedImage picture = GeneratedPicture(7);
  ImageRecord* search = fixture.AddPicture("/p/m.jpg", picture);
  fixture.AddPicture("/p/Zeta.jpg", picture);
  fixture.AddPicture("/p/alpha.jpg", picture);
  fixture.engine->SetSearchPicture(search->m_LfdNr);
  fixture.engine->FillListWindow(5, 0, 10, kListSearchSimilar);
  std::vector<std::string> paths = PathsOf(fixture.db.List().Records());
  paths.resize(3);
  // With File Path at 0 the identical copies have distance 0 to the search picture.
  EXPECT_EQ(paths, (std::vector<std::string>{"/p/m.jpg", "/p/alpha.jpg", "/p/Zeta.jpg"}));
  const std::vector<ScoredRecord> list =
      fixture.engine->SimilarList(search, 1, 5, BuildWeights(DefaultCriteria()));
  ASSERT_GE(list.size(), 3u);
  EXPECT_EQ(list[0].distance, 0);
  EXPECT_EQ(list[1].distance, 0);
  EXPECT_GT(list[2].distance, 0);
  EXPECT_EQ(fixture.engine->SimilarText(search, 1, 2, BuildWeights(DefaultCriteria())),
            "/p/alpha.jpg\n/p/Zeta.jpg\n");
}

TEST(SearchEngineTest, ScrolledWindowStoresItsSliceOfTheSequence) {
  test::ScriptedMessageBox boxes;
  SearchFixture fixture;
  for (int i = 0; i < 80; ++i) {
    fixture.AddPicture("/s/" + std::to_string(i) + ".jpg", GeneratedPicture(500 + i));
  }
  auto* search = static_cast<ImageRecord*>(iavl_select(&fixture.db.TreeByPath(), 10));
  fixture.engine->SetSearchPicture(search->m_LfdNr);
  fixture.engine->FillListWindow(4, 0, 80, kListSearchSimilar);
  const std::vector<ImageRecord*> whole = fixture.db.List().Records();
  EXPECT_EQ(whole[0], search);
  EXPECT_EQ(std::count(whole.begin(), whole.end(), search), 1);
  EXPECT_TRUE(fixture.engine->FillListWindow(kKeep, 40, 20, kKeep));
  ASSERT_EQ(fixture.db.List().Size(), 20);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(fixture.db.List().Records()[i], whole[40 + i]) << i;
  EXPECT_FALSE(fixture.engine->FillListWindow(kKeep, kKeep, kKeep, kKeep));
  // A change of the criteria makes the same arguments recompute the list.
  Criteria criteria = DefaultCriteria();
  criteria.value[kTexture] = 100;
  SetCurrentCriteria(criteria);
  EXPECT_TRUE(fixture.engine->FillListWindow(kKeep, kKeep, kKeep, kKeep));
  SetCurrentCriteria(DefaultCriteria());
}

TEST(SearchEngineTest, AllCriteriaZeroStillOrdersTheCollection) {
  test::ScriptedMessageBox boxes;
  SearchFixture fixture;
  for (int i = 0; i < 20; ++i) {
    fixture.AddPicture("/z/" + std::to_string(i) + ".jpg", GeneratedPicture(900 + i));
  }
  Criteria zero;
  SetCurrentCriteria(zero);
  auto* search = static_cast<ImageRecord*>(iavl_select(&fixture.db.TreeByPath(), 0));
  fixture.engine->SetSearchPicture(search->m_LfdNr);
  fixture.engine->FillListWindow(4, 0, 20, kListSearchSimilar);
  SetCurrentCriteria(DefaultCriteria());
  WeightVector ones;
  ones.fill(1.0);
  double previous = 0;
  for (int i = 1; i < 20; ++i) {
    ImageRecord* record = fixture.db.List().Records()[i];
    ASSERT_NE(record, nullptr) << i;
    const double distance = Distance(search->m_Signature, record->m_Signature, ones.data());
    EXPECT_GE(distance, previous) << i;
    previous = distance;
  }
}

TEST(SearchEngineTest, RemovingTheSearchPictureChoosesANewOneWithAMessage) {
  test::ScriptedMessageBox boxes;
  SearchFixture fixture;
  ImageRecord* a = fixture.AddPicture("/r/a.jpg", GeneratedPicture(1));
  ImageRecord* b = fixture.AddPicture("/r/b.jpg", GeneratedPicture(2));
  fixture.AddPicture("/r/c.jpg", GeneratedPicture(3));
  fixture.engine->SetSearchPicture(a->m_LfdNr);
  fixture.engine->FillListWindow(3, 0, 3, kListSearchSimilar);
  fixture.db.RemoveRecord(a);
  EXPECT_EQ(fixture.db.SearchPicture(), nullptr);
  // Nothing to choose from: the message comes once per run.
  fixture.engine->FillListWindow(3, 0, 3, kListSearchSimilar);
  fixture.engine->InvalidateSimilarList();
  fixture.engine->FillListWindow(3, 0, 3, kListSearchSimilar);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"No search picture selected"}));
  // With a focused picture it becomes the search picture.
  fixture.engine->focusedPicture = [b] { return b; };
  fixture.engine->InvalidateSimilarList();
  fixture.engine->FillListWindow(3, 0, 3, kListSearchSimilar);
  EXPECT_EQ(fixture.db.SearchPicture(), b);
  EXPECT_EQ(fixture.db.List().Records()[0], b);
  EXPECT_EQ(boxes.Texts().back(), "No search picture selected - using currently selected one");
  // Without one, the first entry of the list is taken.
  fixture.engine->focusedPicture = nullptr;
  fixture.db.RemoveRecord(b);
  fixture.engine->FillListWindow(3, 0, 3, kListSortedByFile);
  fixture.engine->FillListWindow(3, 0, 3, kListSearchSimilar);
  EXPECT_EQ(boxes.Texts().back(), "No search picture selected - choosing first visible one");
  ASSERT_NE(fixture.db.SearchPicture(), nullptr);
  EXPECT_EQ(fixture.db.SearchPicture()->m_Path, "/r/c.jpg");
}

TEST(SearchEngineTest, UnsortedAndSortedModesReadTheTrees) {
  SearchFixture fixture;
  fixture.AddPicture("/m/img10.jpg", GeneratedPicture(1));
  fixture.AddPicture("/m/img2.jpg", GeneratedPicture(2));
  fixture.AddPicture("/m/img1.jpg", GeneratedPicture(3));
  EXPECT_TRUE(fixture.engine->FillListWindow(2, 1, 3, kListUnsorted));
  EXPECT_EQ(PathsOf(fixture.db.List().Records()),
            (std::vector<std::string>{"/m/img2.jpg", "/m/img1.jpg", "-"}));
  EXPECT_TRUE(fixture.engine->FillListWindow(kKeep, 0, kKeep, kListSortedByFile));
  EXPECT_EQ(PathsOf(fixture.db.List().Records()),
            (std::vector<std::string>{"/m/img1.jpg", "/m/img2.jpg", "/m/img10.jpg"}));
  EXPECT_FALSE(fixture.engine->FillListWindow(kKeep, kKeep, kKeep, kKeep));
  EXPECT_EQ(fixture.db.List().Columns(), 2);
  EXPECT_EQ(fixture.db.List().Mode(), kListSortedByFile);
}

}  // namespace
}  // namespace gq
