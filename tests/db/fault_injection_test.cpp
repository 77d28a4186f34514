// I/O errors at every write, read and fsync of a save or a load: the failure is
// reported, the collection is never marked saved after a failed write, and reopening
// shows the last saved state.
#include <gtest/gtest.h>

#include <cerrno>

#include "db/DatabaseOps.h"
#include "db/DbTestSupport.h"
#include "support/FaultInjectingFileSystem.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

using Op = test::FaultInjectingFileSystem::Op;
using test::MakeTestRecord;
using test::PictureOf;

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Folder = test::FolderForThisTest("fault_");
    m_Path = m_Folder + "/c.gqdb";
    ImageRecordDB db;
    for (int i = 0; i < 6; ++i) db.AddRecord(MakeTestRecord("/f/" + std::to_string(i), i), false);
    ASSERT_TRUE(SaveDatabase(db, m_Path, false));
    m_Saved = PictureOf(db);
    ASSERT_TRUE(ReadWholeFile(m_Path, &m_SavedBytes));
  }
  static bool ReadWholeFile(const std::string& path, std::string* bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    bytes->clear();
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes->append(buffer, n);
    std::fclose(file);
    return true;
  }
  void RestoreSavedFile() {
    FILE* file = std::fopen(m_Path.c_str(), "wb");
    std::fwrite(m_SavedBytes.data(), 1, m_SavedBytes.size(), file);
    std::fclose(file);
    std::remove(RecoveryJournal::PathFor(m_Path).c_str());
  }
  // Load, change (remove, add, page out, rename) and save with the fault armed.
  bool ChangeAndSave(test::FaultInjectingFileSystem& fs, Op op, int nth, int error, bool persistent,
                     bool* loaded) {
    ImageRecordDB db;
    *loaded = LoadDatabase(db, m_Path, 0, 1);
    if (!*loaded) return false;
    fs.FailAt(op, nth, error, persistent);
    db.RemoveRecord(db.FindByPath("/f/2"));
    ImageRecord* paged = MakeTestRecord("/f/paged", 40);
    db.AddRecord(paged, false);
    db.PageOut(paged);
    db.AddRecord(MakeTestRecord("/f/new", 41), false);
    db.RenameRecord(db.FindByPath("/f/4"), "/f/renamed");
    bool saved = db.File().Save();
    EXPECT_EQ(saved, db.IsClean());
    fs.Heal();
    db.File().Close();  // the process ends here, whatever happened
    return saved;
  }
  // Reopens (recovering when asked) and returns what the file holds.
  std::map<std::string, test::RecordPicture> Reopen() {
    m_Boxes.Answer(IDOK);
    return test::PictureOfFile(m_Path);
  }

  test::ScriptedMessageBox m_Boxes;
  std::string m_Folder;
  std::string m_Path;
  std::string m_SavedBytes;
  std::map<std::string, test::RecordPicture> m_Saved;
};

TEST_F(FaultInjectionTest, EveryFailingWriteAndSyncOfAChangeAndSaveKeepsTheLastSave) {
  // The number of writes and fsyncs the scenario makes without faults.
  std::map<std::string, test::RecordPicture> changed;
  {
    test::FaultInjectingFileSystem fs;
    bool loaded = false;
    ASSERT_TRUE(ChangeAndSave(fs, Op::kWrite, 0, EIO, false, &loaded));
    changed = Reopen();
    EXPECT_NE(changed, m_Saved);
  }
  int cases = 0;
  for (Op op : {Op::kWrite, Op::kSync}) {
    for (int error : {EIO, ENOSPC}) {
      for (bool persistent : {false, true}) {
        for (int nth = 1; nth <= 40; ++nth) {
          RestoreSavedFile();
          test::FaultInjectingFileSystem fs;
          bool loaded = false;
          bool saved = ChangeAndSave(fs, op, nth, error, persistent, &loaded);
          ASSERT_TRUE(loaded);
          std::map<std::string, test::RecordPicture> after = Reopen();
          if (saved) {
            EXPECT_EQ(after, changed) << "op " << int(op) << " nth " << nth;
          } else {
            ++cases;
            EXPECT_EQ(after, m_Saved) << "op " << int(op) << " nth " << nth << " errno " << error
                                      << (persistent ? " persistent" : " once");
          }
        }
      }
    }
  }
  EXPECT_GT(cases, 20);  // failures inside the scenario, not only past its end
}

TEST_F(FaultInjectionTest, ReadErrorsDuringALoadFailCleanly) {
  for (int nth = 1; nth <= 12; ++nth) {
    test::FaultInjectingFileSystem fs;
    fs.FailAt(Op::kRead, nth, EIO, true);
    ImageRecordDB db;
    bool loaded = LoadDatabase(db, m_Path, 0, 1);
    if (loaded) {
      EXPECT_EQ(db.Count(), 6);
    } else {
      EXPECT_FALSE(db.File().IsOpen());
    }
    db.ClearAll();
  }
  EXPECT_EQ(test::PictureOfFile(m_Path), m_Saved);
}

}  // namespace
}  // namespace gq
