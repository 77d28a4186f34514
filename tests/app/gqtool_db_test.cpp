// Runs the real gqtool binary on database files made by the tests.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "db/DatabaseOps.h"
#include "db/DbTestSupport.h"
#include "base/TextFile.h"
#include "platform/Process.h"
#include "support/ProgramRun.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

class GqtoolDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Folder = test::FolderForThisTest("gqtool_db_");
    m_Path = m_Folder + "/c.gqdb";
    ImageRecordDB db;
    for (const char* path : {"/a/img10.jpg", "/a/img2.jpg", "/a/b/x.jpg"}) {
      db.AddRecord(test::MakeTestRecord(path, static_cast<uint32_t>(db.Count())), false);
    }
    ASSERT_TRUE(SaveDatabase(db, m_Path, false));
  }
  test::ProgramOutput Tool(std::vector<std::string> args) {
    return test::RunProgram(GQTOOL_PATH, args, m_Folder);
  }

  test::ScriptedMessageBox m_Boxes;
  std::string m_Folder;
  std::string m_Path;
};

TEST_F(GqtoolDbTest, InfoShowsTheHeaderAndTheJournal) {
  test::ProgramOutput info = Tool({"info", m_Path});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("version: 6\n"), std::string::npos);
  EXPECT_NE(info.out.find("records: 3\n"), std::string::npos);
  EXPECT_NE(info.out.find("unused bytes: 0\n"), std::string::npos);
  EXPECT_NE(info.out.find("journal: none\n"), std::string::npos);
  {
    ImageRecordDB db;
    ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1));
    db.RemoveRecord(db.FindByPath("/a/img2.jpg"));
    db.File().Close();  // ends without saving: the journal stays
  }
  EXPECT_NE(Tool({"info", m_Path}).out.find("journal: present\n"), std::string::npos);
  EXPECT_EQ(Tool({"info", m_Folder + "/none.gqdb"}).exitCode, 1);
  EXPECT_EQ(Tool({"info"}).exitCode, 2);
}

TEST_F(GqtoolDbTest, CheckPassesAGoodFileAndNamesTheFirstProblem) {
  test::ProgramOutput good = Tool({"check", m_Path});
  EXPECT_EQ(good.exitCode, 0) << good.err;
  EXPECT_NE(good.out.find("ok, 3 records"), std::string::npos);

  std::fstream file(m_Path, std::ios::binary | std::ios::in | std::ios::out);
  int32_t wide = 5000;
  file.seekp(32);
  file.write(reinterpret_cast<char*>(&wide), 4);
  file.close();
  test::ProgramOutput bad = Tool({"check", m_Path});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.err.find("unreadable or damaged"), std::string::npos) << bad.err;

  std::ofstream(m_Path, std::ios::binary | std::ios::trunc) << "GQDB";
  bad = Tool({"check", m_Path});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.err.find("shorter than a header"), std::string::npos) << bad.err;
}

TEST_F(GqtoolDbTest, CheckNamesTheJournalOfAnUnfinishedSave) {
  {
    // A thumbnail paged out over the saved list, then the process ends without saving.
    ImageRecordDB db;
    ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1));
    ImageRecord* added = test::MakeTestRecord("/a/new.jpg", 7, 90, 90);
    db.AddRecord(added, false);
    ASSERT_TRUE(db.File().AppendThumbnail(added));
    db.File().Close();
  }
  test::ProgramOutput check = Tool({"check", m_Path});
  EXPECT_EQ(check.exitCode, 1);
  EXPECT_NE(check.err.find("recovery journal " + m_Path + "~"), std::string::npos) << check.err;
  EXPECT_NE(check.err.find("loading the database recovers"), std::string::npos) << check.err;
}

TEST_F(GqtoolDbTest, ADatabaseOpenInAnotherProcessIsRefused) {
  ImageRecordDB db;
  ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1));
  test::ProgramOutput check = Tool({"check", m_Path});
  EXPECT_EQ(check.exitCode, 1);
  EXPECT_NE(check.err.find("open for writing in another program"), std::string::npos) << check.err;
  test::ProgramOutput exported = Tool({"export", m_Path, "--files"});
  EXPECT_EQ(exported.exitCode, 1);
  EXPECT_NE(exported.err.find("open in another program"), std::string::npos) << exported.err;
}

TEST_F(GqtoolDbTest, ANamedPipeIsRefusedAsADatabaseWithoutBlocking) {
  std::string pipe = m_Folder + "/pipe.gqdb";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const char* command : {"info", "check"}) {
    test::ProgramOutput run = Tool({command, pipe});
    EXPECT_EQ(run.exitCode, 1) << command;
  }
}

TEST_F(GqtoolDbTest, ExportWritesFileAndFolderLists) {
  test::ProgramOutput files = Tool({"export", m_Path, "--files"});
  EXPECT_EQ(files.exitCode, 0) << files.err;
  EXPECT_EQ(files.out, "\"/a/b/x.jpg\"\r\n\"/a/img2.jpg\"\r\n\"/a/img10.jpg\"\r\n");
  test::ProgramOutput folders = Tool({"export", m_Path, "--folders", "--out", m_Folder + "/f.txt"});
  EXPECT_EQ(folders.exitCode, 0) << folders.err;
  std::string text;
  ASSERT_TRUE(ReadWholeTextFile(m_Folder + "/f.txt", -1, &text));
  EXPECT_EQ(text, "\"/a/b\"\r\n\"/a\"\r\n");
  EXPECT_EQ(Tool({"export", m_Path}).exitCode, 2);
}

}  // namespace
}  // namespace gq
