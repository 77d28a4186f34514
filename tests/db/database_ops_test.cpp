#include <gtest/gtest.h>

#include <fstream>

#include "base/TextFile.h"
#include "db/DatabaseOps.h"
#include "db/DbTestSupport.h"
#include "db/FileLayer.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

using test::MakeTestRecord;

class DatabaseOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Folder = test::FolderForThisTest("ops_");
    m_Path = m_Folder + "/c.gqdb";
    m_Db.Host().statusText = [&](const std::string& text, int) { m_Statuses.push_back(text); };
  }
  void Add(const std::string& path) {
    m_Db.AddRecord(MakeTestRecord(path, static_cast<uint32_t>(m_Db.Count())), false);
  }

  test::ScriptedMessageBox m_Boxes;
  ImageRecordDB m_Db;
  std::vector<std::string> m_Statuses;
  std::vector<std::string> m_Unlisted;
  std::string m_Folder;
  std::string m_Path;
};

TEST_F(DatabaseOpsTest, FileListsArePathOrderedQuotedAndEndInCrLf) {
  Add("/a/img10.jpg");
  Add("/a/img2.jpg");
  Add("/a/b/x.jpg");
  std::string list = m_Folder + "/files.txt";
  ASSERT_TRUE(WriteList(m_Db, list, false, false, "", -1, &m_Unlisted));
  std::string text;
  ASSERT_TRUE(ReadWholeTextFile(list, -1, &text));
  EXPECT_EQ(text, "\"/a/b/x.jpg\"\r\n\"/a/img2.jpg\"\r\n\"/a/img10.jpg\"\r\n");
}

TEST_F(DatabaseOpsTest, FolderListsNameEachFolderOnce) {
  Add("/p/a/1.jpg");
  Add("/p/a/2.jpg");
  Add("/p/a/b/3.jpg");
  EXPECT_EQ(ListText(m_Db, true, false, -1, &m_Unlisted), "\"/p/a\"\r\n");
  m_Db.ClearAll();
  Add("/p/a/x.jpg");
  Add("/p/a/b/3.jpg");
  EXPECT_EQ(ListText(m_Db, true, false, -1, &m_Unlisted), "\"/p/a/b\"\r\n\"/p/a\"\r\n");
}

TEST_F(DatabaseOpsTest, SelectedListsIncludeTheCurrentPictureAndAnUpdateHeader) {
  Add("/u/1.jpg");
  Add("/u/2.jpg");
  Add("/u/3.jpg");
  std::string list = m_Folder + "/update.txt";
  EXPECT_FALSE(
      WriteList(m_Db, list, false, true, "!update\n", -1, &m_Unlisted));  // nothing selected
  m_Db.Select(m_Db.LfdNrAt(2, kOrderByLfdNr, true), kSelect);
  ASSERT_TRUE(WriteList(m_Db, list, false, true, "!update\n!filecount=2\n",
                        m_Db.LfdNrAt(0, kOrderByLfdNr, true), &m_Unlisted));
  std::string text;
  ASSERT_TRUE(ReadWholeTextFile(list, -1, &text));
  EXPECT_EQ(text, "!update\n!filecount=2\n\"/u/1.jpg\"\r\n\"/u/3.jpg\"\r\n");
  m_Db.ClearAll();
  EXPECT_FALSE(WriteList(m_Db, list, false, false, "", -1, &m_Unlisted));  // empty collection
}

TEST(ListLine, NamesThatALineCannotCarryAreRefused) {
  const struct {
    std::string path;
    const char* line;  // nullptr: refused
  } cases[] = {
      {"/a/b.png", "\"/a/b.png\"\r\n"},
      {"/a/t.png ", "\"/a/t.png \"\r\n"},
      {"/a/q\"b.png", "/a/q\"b.png\r\n"},
      {"/a/q\"b.png ", nullptr},
      {"/a/x.txt", nullptr},
      {"/a/x.TXT", "\"/a/x.TXT\"\r\n"},
      {"/a/l\nb.png", nullptr},
      {"/a/l\rb.png", nullptr},
  };
  for (const auto& c : cases) {
    std::string line;
    EXPECT_EQ(ListLine(c.path, &line), c.line != nullptr) << c.path;
    if (c.line) {
      EXPECT_EQ(line, c.line);
    }
  }
}

TEST_F(DatabaseOpsTest, LoadedTextHintsAtUnusedSpaceFromTenMegabytesOn) {
  EXPECT_EQ(LoadedDatabaseText(10240LL * 1024), "Loaded Database.");
  EXPECT_EQ(LoadedDatabaseText(10241LL * 1024),
            "Loaded Database. --- Use \"Save DB As\" to save 10 MB.");
  EXPECT_EQ(LoadedDatabaseText(3LL << 30),
            "Loaded Database. --- Use \"Save DB As\" to save 3072 MB.");
}

TEST_F(DatabaseOpsTest, OpeningTheOpenDatabaseAgain) {
  Add("/r/1.jpg");
  ASSERT_TRUE(SaveDatabase(m_Db, m_Path, false));
  Add("/r/2.jpg");
  // Adding asks; Cancel changes nothing.
  m_Boxes.Answer(IDCANCEL);
  EXPECT_FALSE(OpenDatabasePath(m_Db, m_Path, true));
  EXPECT_EQ(m_Boxes.Texts().back(), "DB already open. Reload Database?");
  EXPECT_EQ(m_Db.Count(), 2);
  // OK saves, closes and reloads.
  m_Boxes.Answer(IDOK);
  ASSERT_TRUE(OpenDatabasePath(m_Db, m_Path, true));
  EXPECT_EQ(m_Db.Count(), 2);
  EXPECT_TRUE(m_Db.IsClean());
  EXPECT_EQ(m_Statuses.back(), "Loaded Database.");
  // Without adding it is closed (saved) and loaded again without asking.
  size_t boxes = m_Boxes.Boxes().size();
  ASSERT_TRUE(OpenDatabasePath(m_Db, m_Path, false));
  EXPECT_EQ(m_Boxes.Boxes().size(), boxes);
  EXPECT_EQ(m_Db.Count(), 2);
}

TEST_F(DatabaseOpsTest, AFailedLoadOffersToClearTheCollection) {
  std::ofstream(m_Folder + "/bad.gqdb") << "not a database at all, not even close";
  Add("/k/1.jpg");
  m_Boxes.Answer(IDNO);
  EXPECT_FALSE(OpenDatabasePath(m_Db, m_Folder + "/bad.gqdb", true));
  EXPECT_EQ(m_Boxes.Texts().back(),
            "Problems loading database.\nClearing DB is recommended!\n\nClear database?");
  EXPECT_EQ(m_Statuses.back(), "Error loading Database.");
  EXPECT_EQ(m_Db.Count(), 1);
  EXPECT_EQ(m_Boxes.Beeps().size(), 1u);
}

TEST_F(DatabaseOpsTest, APromptHoldsTheBusyCountUntilItIsAnswered) {
  std::vector<int> busyDuringPrompts;
  MessageBoxBackend scripted = SetMessageBoxBackend([&](const MessageBoxRequest&) {
    busyDuringPrompts.push_back(g_BusyCount.load());
    return IDNO;
  });
  std::ofstream(m_Folder + "/bad.gqdb") << "not a database";
  Add("/k/1.jpg");
  EXPECT_FALSE(OpenDatabasePath(m_Db, m_Folder + "/bad.gqdb", true));
  SetMessageBoxBackend(scripted);
  EXPECT_EQ(busyDuringPrompts, std::vector<int>{1});
  EXPECT_EQ(g_BusyCount.load(), 0);
}

TEST_F(DatabaseOpsTest, ClosingAnUnsavedCollectionAsksToSave) {
  Add("/q/1.jpg");
  m_Db.Host().chooseDatabaseFile = [&] { return m_Path; };
  m_Boxes.Answer(IDYES);
  CloseDatabase(m_Db, true);
  EXPECT_EQ(m_Boxes.Texts().front(), "Save Database?");
  EXPECT_EQ(m_Statuses.back(), "Closed Database.");
  EXPECT_EQ(m_Db.Count(), 0);
  ImageRecordDB reloaded;
  ASSERT_TRUE(LoadDatabase(reloaded, m_Path, 0, 1));
  EXPECT_EQ(reloaded.Count(), 1);
  reloaded.ClearAll();

  Add("/q/2.jpg");
  m_Boxes.Answer(IDNO);
  CloseDatabase(m_Db, true);
  EXPECT_EQ(m_Statuses.back(), "Cleared Database");
}

TEST_F(DatabaseOpsTest, AFailedSaveOnClosingOffersSaveAsAndCancellingAsksAgain) {
  Add("/r/1.jpg");
  const std::string unwritable = m_Folder + "/missing/x.gqdb";
  m_Db.File().SetName(unwritable);
  int dialogs = 0;
  m_Db.Host().chooseDatabaseFile = [&] {
    ++dialogs;
    return std::string();
  };
  for (int answer : {IDYES, IDOK, IDNO}) m_Boxes.Answer(answer);
  CloseDatabase(m_Db, true);
  EXPECT_EQ(m_Boxes.Texts(),
            (std::vector<std::string>{"Save Database?", "Can not save DB to " + unwritable,
                                      "Save Database?"}));
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(m_Statuses.back(), "Cleared Database");
  EXPECT_EQ(m_Db.Count(), 0);
}

TEST_F(DatabaseOpsTest, SaveFailureReportsAndKeepsTheCollectionChanged) {
  Add("/f/1.jpg");
  EXPECT_FALSE(SaveDatabase(m_Db, m_Folder + "/missing/folder/x.gqdb", false));
  EXPECT_EQ(m_Boxes.Texts().back(), "Can not save DB to " + m_Folder + "/missing/folder/x.gqdb");
  EXPECT_EQ(m_Statuses.back(), "Save failed.");
  EXPECT_FALSE(m_Db.IsClean());
}

}  // namespace
}  // namespace gq
