#include <gtest/gtest.h>

#include <fstream>

#include "db/DatabaseOps.h"
#include "db/DbTestSupport.h"
#include "db/FileLayer.h"
#include "db/RecoveryJournal.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

using test::MakeTestRecord;
using test::PictureOf;

class RecoveryJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Folder = test::FolderForThisTest("journal_");
    m_Path = m_Folder + "/c.gqdb";
    m_Journal = RecoveryJournal::PathFor(m_Path);
  }
  std::map<std::string, test::RecordPicture> SaveCollection(int count) {
    ImageRecordDB db;
    for (int i = 0; i < count; ++i) {
      db.AddRecord(MakeTestRecord("/j/" + std::to_string(i), i), false);
    }
    EXPECT_TRUE(SaveDatabase(db, m_Path, false));
    return PictureOf(db);
  }

  test::ScriptedMessageBox m_Boxes;
  std::string m_Folder;
  std::string m_Path;
  std::string m_Journal;
};

TEST_F(RecoveryJournalTest, ABrandNewFileNeverGetsAJournal) {
  ImageRecordDB db;
  db.File().SetName(m_Path);
  ASSERT_TRUE(db.File().Create());
  ImageRecord* record = MakeTestRecord("/n/1", 1);
  db.AddRecord(record, false);
  ASSERT_TRUE(db.PageOut(record));
  EXPECT_TRUE(db.File().Journal().IsSaved());
  EXPECT_FALSE(FileExists(m_Journal));
}

TEST_F(RecoveryJournalTest, AChangeWithoutSaveIsUndoneAtTheNextLoad) {
  auto saved = SaveCollection(4);
  {
    ImageRecordDB db;
    ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1));
    db.RemoveRecord(db.FindByPath("/j/2"));
    EXPECT_TRUE(FileExists(m_Journal));
    ImageRecord* added = MakeTestRecord("/j/new", 50);
    db.AddRecord(added, false);
    ASSERT_TRUE(db.PageOut(added));  // overwrites the saved list in the file
    // The process ends here without saving (the descriptor is simply closed).
    db.File().Close();
  }
  ASSERT_TRUE(FileExists(m_Journal));
  m_Boxes.Answer(IDOK);
  ImageRecordDB db;
  std::vector<std::string> statuses;
  db.Host().statusText = [&](const std::string& text, int) { statuses.push_back(text); };
  ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1));
  EXPECT_EQ(PictureOf(db), saved);
  EXPECT_FALSE(FileExists(m_Journal));
  EXPECT_EQ(statuses.front(), "Loading Recovery Information...");
  EXPECT_EQ(statuses[1], "Loaded Recovery Information.");
  EXPECT_NE(m_Boxes.Texts().back().find("Recovery information for this DB exists."),
            std::string::npos);
}

TEST_F(RecoveryJournalTest, CancelKeepsTheJournalAndDoesNotLoad) {
  SaveCollection(2);
  {
    ImageRecordDB db;
    ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1));
    db.RemoveRecord(db.FindByPath("/j/0"));
    db.File().Close();
  }
  m_Boxes.Answer(IDCANCEL);
  ImageRecordDB db;
  EXPECT_FALSE(LoadDatabase(db, m_Path, 0, 1));
  EXPECT_TRUE(FileExists(m_Journal));
}

TEST_F(RecoveryJournalTest, AJournalOfAnotherKindOfFileGivesErrorThree) {
  SaveCollection(2);
  std::ofstream(m_Journal, std::ios::binary)
      << std::string("XXXX\x06\0\0\0\x01\0\0\0", 12) << std::string(20, '\0');
  m_Boxes.Answer(IDOK);
  ImageRecordDB db;
  EXPECT_FALSE(LoadDatabase(db, m_Path, 0, 1));
  EXPECT_EQ(m_Boxes.Texts().back(), "Can't read recovery information. Error code: 3");
  EXPECT_TRUE(FileExists(m_Journal));
  std::ofstream(m_Journal, std::ios::binary | std::ios::trunc) << "short";
  m_Boxes.Answer(IDOK);
  EXPECT_FALSE(LoadDatabase(db, m_Path, 0, 1));
  EXPECT_EQ(m_Boxes.Texts().back(), "Can't read recovery information. Error code: 1");
}

TEST_F(RecoveryJournalTest, SavingThenChangingAgainWritesAFreshJournalOnce) {
  SaveCollection(3);
  ImageRecordDB db;
  ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1));
  db.RemoveRecord(db.FindByPath("/j/0"));
  EXPECT_TRUE(FileExists(m_Journal));
  ASSERT_TRUE(SaveDatabase(db, std::string(), false));
  EXPECT_FALSE(FileExists(m_Journal));
  db.RemoveRecord(db.FindByPath("/j/1"));
  EXPECT_TRUE(FileExists(m_Journal));
  std::ifstream journal(m_Journal, std::ios::binary | std::ios::ate);
  int64_t size = journal.tellg();
  db.RemoveRecord(db.FindByPath("/j/2"));  // no second journal
  std::ifstream again(m_Journal, std::ios::binary | std::ios::ate);
  EXPECT_EQ(static_cast<int64_t>(again.tellg()), size);
  EXPECT_FALSE(FileExists(m_Journal + ".new"));
}

TEST(RecoveryJournalDeathTest, AJournalThatCannotBeCreatedStopsTheProgram) {
  std::string folder = test::FreshFolder("journal_fatal");
  EXPECT_EXIT(
      {
        test::ScriptedMessageBox boxes;
        ImageRecordDB db;
        db.File().SetName(folder + "/no/such/folder/x.gqdb");
        db.File().Journal().Save(db.File());
      },
      ::testing::ExitedWithCode(255), "");
}

}  // namespace
}  // namespace gq
