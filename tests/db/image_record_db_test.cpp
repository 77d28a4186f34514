#include <gtest/gtest.h>

#include <fstream>

#include "db/DbTestSupport.h"
#include "db/ImageRecordDB.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

using test::MakeTestRecord;

class ImageRecordDBTest : public ::testing::Test {
 protected:
  void SetUp() override { m_Folder = test::FreshFolder("irdb_" + TestName()); }
  static std::string TestName() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  std::string Path(const std::string& name) { return m_Folder + "/" + name; }

  test::ScriptedMessageBox m_Boxes;
  std::string m_Folder;
};

TEST_F(ImageRecordDBTest, AddFindAndReplaceByPath) {
  ImageRecordDB db;
  int changes = 0;
  db.Host().changeListener = [&] { ++changes; };
  ImageRecord* first = MakeTestRecord("/p/a.jpg", 1);
  ImageRecord* second = MakeTestRecord("/p/b.jpg", 2);
  db.AddRecord(first, true);
  db.AddRecord(second, false);
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(db.IsClean());
  EXPECT_EQ(db.Count(), 2);
  EXPECT_EQ(db.FindByPath("/p/a.jpg"), first);
  EXPECT_EQ(db.FindByLfdNr(second->m_LfdNr), second);
  EXPECT_EQ(db.FindByPath("/p/A.jpg"), nullptr);  // another file on this system

  // A reloaded file replaces its record, which gets a new running number.
  int32_t oldNumber = first->m_LfdNr;
  ImageRecord* reloaded = MakeTestRecord("/p/a.jpg", 3);
  db.AddRecord(reloaded, false);
  EXPECT_EQ(db.Count(), 2);
  EXPECT_EQ(db.FindByPath("/p/a.jpg"), reloaded);
  EXPECT_EQ(db.FindByLfdNr(oldNumber), nullptr);
  EXPECT_GT(reloaded->m_LfdNr, second->m_LfdNr);
  EXPECT_EQ(db.PositionOf(reloaded, kOrderByLfdNr), 1);
  EXPECT_EQ(db.PositionOf(reloaded, kOrderByPath), 0);
}

TEST_F(ImageRecordDBTest, RemoveRenameAndTheSearchPicture) {
  ImageRecordDB db;
  ImageRecord* a = MakeTestRecord("/p/a.jpg", 1);
  ImageRecord* b = MakeTestRecord("/p/b.jpg", 2);
  db.AddRecord(a, false);
  db.AddRecord(b, false);
  db.SetSearchPicture(a);
  db.Select(a->m_LfdNr, kSelect);
  db.RemoveRecord(a);
  EXPECT_EQ(db.SearchPicture(), nullptr);
  EXPECT_EQ(db.SelectionCount(), 0);
  EXPECT_EQ(db.Count(), 1);

  db.RenameRecord(b, "/q/z.jpg");
  EXPECT_EQ(db.FindByPath("/p/b.jpg"), nullptr);
  EXPECT_EQ(db.FindByPath("/q/z.jpg"), b);
}

TEST_F(ImageRecordDBTest, PositionsCursorsAndTextSearchWithWrap) {
  ImageRecordDB db;
  std::vector<ImageRecord*> records;
  for (const char* name : {"/x/img10.jpg", "/x/img2.jpg", "/y/cat.png", "/x/img1.jpg"}) {
    records.push_back(MakeTestRecord(name, static_cast<uint32_t>(records.size())));
    db.AddRecord(records.back(), false);
  }
  // Path order: img1, img2, img10, cat.
  EXPECT_EQ(db.LfdNrAt(0, kOrderByPath, true), records[3]->m_LfdNr);
  EXPECT_EQ(db.LfdNrAt(2, kOrderByPath, true), records[0]->m_LfdNr);
  EXPECT_EQ(db.LfdNrAt(9, kOrderByPath, true), -1);
  EXPECT_EQ(db.LfdNrAt(9, kOrderByPath, false), records[2]->m_LfdNr);
  EXPECT_EQ(db.PositionOfLfdNr(records[1]->m_LfdNr, kOrderByPath), 1);

  // From img2 forward in path order: img10 matches "img".
  EXPECT_EQ(db.FindText(records[1]->m_LfdNr, "", "IMG", true, false, kOrderByPath),
            records[0]->m_LfdNr);
  // From img10 forward: cat does not match, no wrap -> none; with wrap -> img1.
  EXPECT_EQ(db.FindText(records[0]->m_LfdNr, "", "img", true, false, kOrderByPath), -1);
  EXPECT_EQ(db.FindText(records[0]->m_LfdNr, "", "img", true, true, kOrderByPath),
            records[3]->m_LfdNr);
  // The start itself is never found; folder texts match the folder part only.
  EXPECT_EQ(db.FindText(records[2]->m_LfdNr, "y", "", true, true, kOrderByPath), -1);
  EXPECT_EQ(db.FindText(records[2]->m_LfdNr, "X", "", false, false, kOrderByPath),
            records[0]->m_LfdNr);
}

TEST_F(ImageRecordDBTest, SelectionTogglesAndRangesStrictlyBetween) {
  ImageRecordDB db;
  std::vector<int32_t> numbers;
  for (int i = 0; i < 6; ++i) {
    ImageRecord* record = MakeTestRecord("/s/" + std::to_string(i) + ".jpg", i);
    db.AddRecord(record, false);
    numbers.push_back(record->m_LfdNr);
  }
  db.Select(numbers[0], kToggle);
  EXPECT_TRUE(db.IsSelected(numbers[0]));
  db.Select(numbers[0], kToggle);
  EXPECT_FALSE(db.IsSelected(numbers[0]));
  db.SelectRange(numbers[4], numbers[1], kSelect, kOrderByLfdNr);
  EXPECT_FALSE(db.IsSelected(numbers[1]));
  EXPECT_TRUE(db.IsSelected(numbers[2]));
  EXPECT_TRUE(db.IsSelected(numbers[3]));
  EXPECT_FALSE(db.IsSelected(numbers[4]));
  EXPECT_EQ(db.SelectionCount(), 2);
  db.ClearSelection();
  EXPECT_EQ(db.SelectionCount(), 0);
}

TEST_F(ImageRecordDBTest, UpdateMarksAndCheckFile) {
  std::string present = Path("present.jpg");
  std::ofstream(present) << "x";
  ImageRecordDB db;
  ImageRecord* kept = MakeTestRecord(present, 1);
  ImageRecord* gone = MakeTestRecord(Path("gone.jpg"), 2);
  ImageRecord* unknownTime = MakeTestRecord(Path("zero.jpg"), 3);
  kept->m_FileTime = 5000;
  gone->m_FileTime = 6000;
  unknownTime->m_FileTime = 1;
  for (ImageRecord* r : {kept, gone, unknownTime}) db.AddRecord(r, false);

  db.MarkForUpdate(false);
  EXPECT_EQ(kept->m_FileTime, -5000);
  EXPECT_EQ(unknownTime->m_FileTime, 1);  // 0, 1 and -1 are never marked
  db.UnmarkAll();
  EXPECT_EQ(kept->m_FileTime, 5000);

  db.MarkForUpdate(false);
  EXPECT_FALSE(db.CheckFile(present, 5000));  // known and unchanged: confirmed, skipped
  EXPECT_EQ(kept->m_FileTime, 5000);
  EXPECT_EQ(db.m_LastCheckedLfdNr, kept->m_LfdNr);
  EXPECT_TRUE(db.CheckFile(present, 5001));  // changed: load
  EXPECT_TRUE(db.CheckFile(Path("new.jpg"), 1));
  db.RemoveUnconfirmed();  // gone is still marked and missing
  EXPECT_EQ(db.Count(), 2);
  EXPECT_EQ(db.FindByPath(Path("gone.jpg")), nullptr);
}

TEST_F(ImageRecordDBTest, TheBudgetPagesOutTheOldestThumbnailIntoTheFile) {
  ImageRecordDB db;
  db.Host().chooseDatabaseFile = [&] { return Path("budget.gqdb"); };
  m_Boxes.Answer(IDYES);  // "would you like to choose a database file now?"
  int32_t base = m_NrThumbsLoaded;
  std::vector<ImageRecord*> records;
  for (int i = 0; i < kDefaultThumbBudget; ++i) {
    records.push_back(MakeTestRecord("/b/" + std::to_string(i), i));
    db.AddRecord(records.back(), false);
  }
  EXPECT_EQ(m_NrThumbsLoaded - base, kDefaultThumbBudget);
  EXPECT_FALSE(db.File().IsOpen());
  db.AddRecord(MakeTestRecord("/b/extra", 999), false);  // the 251st
  EXPECT_EQ(m_NrThumbsLoaded - base, kDefaultThumbBudget);
  EXPECT_TRUE(db.File().IsOpen());
  EXPECT_EQ(records[0]->m_ThumbPixels, nullptr);
  EXPECT_EQ(records[0]->m_ThumbOffset, kDbHeaderSize);
  // Read back on demand, making room first.
  ASSERT_TRUE(db.LoadThumbnail(records[0]));
  EXPECT_EQ(m_NrThumbsLoaded - base, kDefaultThumbBudget);
  EXPECT_EQ(records[1]->m_ThumbPixels, nullptr);
}

TEST_F(ImageRecordDBTest, DecliningAFileDoublesTheBudgetAndLoadingGoesOn) {
  ImageRecordDB db;
  int32_t base = m_NrThumbsLoaded;
  for (int i = 0; i <= kDefaultThumbBudget; ++i) {
    db.AddRecord(MakeTestRecord("/d/" + std::to_string(i), i), false);
  }
  EXPECT_EQ(db.m_ThumbBudget, 2 * kDefaultThumbBudget);
  EXPECT_EQ(m_NrThumbsLoaded - base, kDefaultThumbBudget + 1);
  EXPECT_FALSE(m_Boxes.Boxes().empty());  // the storage advice was shown (and declined)
}

TEST_F(ImageRecordDBTest, ClearAllEmptiesEverythingAndFreesThumbnails) {
  int32_t base = m_NrThumbsLoaded;
  {
    ImageRecordDB db;
    for (int i = 0; i < 10; ++i) db.AddRecord(MakeTestRecord("/c/" + std::to_string(i), i), false);
    db.Select(db.LfdNrAt(3, kOrderByLfdNr, true), kSelect);
    db.ClearAll();
    EXPECT_EQ(db.Count(), 0);
    EXPECT_TRUE(db.IsClean());
    EXPECT_EQ(db.SelectionCount(), 0);
    EXPECT_EQ(m_NrThumbsLoaded, base);
    db.AddRecord(MakeTestRecord("/c/after", 1), false);  // usable again
    EXPECT_EQ(db.Count(), 1);
  }
  EXPECT_EQ(m_NrThumbsLoaded, base);
}

TEST(ImageRecord, MatchesTextSplitsFolderAndName) {
  ImageRecord* record = MakeRecord("/Photos/Ürlaub/IMG_0001.JPG");
  EXPECT_TRUE(MatchesText(*record, "ürlaub", "img_"));
  EXPECT_TRUE(MatchesText(*record, "", ".jpg"));
  EXPECT_FALSE(MatchesText(*record, "img", ""));
  EXPECT_FALSE(MatchesText(*record, "", "photos"));
  DestroyRecord(record);
}

}  // namespace
}  // namespace gq
