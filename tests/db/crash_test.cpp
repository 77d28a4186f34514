// Crash test: a child process loads a database, changes it (adds, removes, renames,
// merges, page-outs) and saves, several times, and is killed with SIGKILL right before
// its N-th file operation. The next load (recovering when asked) must show exactly the
// collection of the last completed save, or of the save in progress if that completed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "db/DatabaseOps.h"
#include "db/DbTestSupport.h"
#include "support/FaultInjectingFileSystem.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

using test::MakeTestRecord;
using test::PictureOf;
using Collection = std::map<std::string, test::RecordPicture>;

constexpr int kSaves = 6;

// One round of changes; round r is the same in every run.
void ChangeRound(ImageRecordDB& db, int round, const std::string& otherDb) {
  uint32_t seed = 1000 * (round + 1);
  switch (round) {
    case 0:
      for (int i = 0; i < 12; ++i) {
        ImageRecord* record = MakeTestRecord("/c/r0_" + std::to_string(i), seed + i, 16, 12);
        db.AddRecord(record, false);
        if (i % 2 == 0) db.PageOut(record);
      }
      db.RemoveRecord(db.FindByPath("/c/base_1"));
      db.RenameRecord(db.FindByPath("/c/base_2"), "/c/renamed_2");
      break;
    case 1:
      MergeDatabase(db, otherDb);
      db.RemoveRecord(db.FindByPath("/c/r0_4"));
      db.RemoveRecord(db.FindByPath("/c/base_3"));
      break;
    case 2:
      for (int i = 0; i < 5; ++i) {
        ImageRecord* record = MakeTestRecord("/c/r2_" + std::to_string(i), seed + i, 20, 20);
        db.AddRecord(record, false);
        db.PageOut(record);
      }
      db.RenameRecord(db.FindByPath("/c/r0_7"), "/c/renamed_7");
      break;
    case 3:
      for (int i = 0; i < 4; ++i) db.RemoveRecord(db.FindByPath("/c/r0_" + std::to_string(i)));
      db.AddRecord(MakeTestRecord("/c/r3_last", seed, 9, 30), false);
      break;
    case 4:
      for (int i = 0; i < 24; ++i) {
        ImageRecord* record = MakeTestRecord("/c/r4_" + std::to_string(i), seed + i, 24, 18);
        db.AddRecord(record, false);
        db.PageOut(record);
      }
      break;
    default:
      db.RenameRecord(db.FindByPath("/c/r4_3"), "/c/renamed_r4_3");
      for (int i = 5; i < 9; ++i) db.RemoveRecord(db.FindByPath("/c/r4_" + std::to_string(i)));
      db.AddRecord(MakeTestRecord("/c/r4_6", seed, 7, 7), false);
      break;
  }
}

// Loads the database, then for each round changes and saves it; after each completed
// save writes the round's number to report (when >= 0).
void RunWorkload(const std::string& path, const std::string& otherDb, int report,
                 std::vector<Collection>* states) {
  ImageRecordDB db;
  if (!LoadDatabase(db, path, 0, 1)) return;
  for (int round = 0; round < kSaves; ++round) {
    ChangeRound(db, round, otherDb);
    if (!db.File().Save()) return;
    if (report >= 0) {
      unsigned char done = static_cast<unsigned char>(round);
      if (write(report, &done, 1) != 1) return;
    }
    if (states) states->push_back(PictureOf(db));
  }
}

class CrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Folder = test::FreshFolder("crash");
    m_Path = m_Folder + "/c.gqdb";
    m_Other = m_Folder + "/other.gqdb";
    ImageRecordDB other;
    for (int i = 0; i < 6; ++i) {
      other.AddRecord(MakeTestRecord("/o/" + std::to_string(i), 500 + i, 10, 10), false);
    }
    other.AddRecord(MakeTestRecord("/c/base_0", 600, 10, 10), false);  // replaces one of ours
    ASSERT_TRUE(SaveDatabase(other, m_Other, false));
    other.ClearAll();
    ImageRecordDB base;
    for (int i = 0; i < 8; ++i) {
      base.AddRecord(MakeTestRecord("/c/base_" + std::to_string(i), i, 12, 9), false);
    }
    ASSERT_TRUE(SaveDatabase(base, m_Path, false));
    m_Initial = PictureOf(base);
    std::ifstream in(m_Path, std::ios::binary);
    m_InitialBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void RestoreInitial() {
    std::ofstream(m_Path, std::ios::binary | std::ios::trunc) << m_InitialBytes;
    std::remove(RecoveryJournal::PathFor(m_Path).c_str());
    std::remove((RecoveryJournal::PathFor(m_Path) + ".new").c_str());
  }

  std::string m_Folder;
  std::string m_Path;
  std::string m_Other;
  std::string m_InitialBytes;
  Collection m_Initial;
};

TEST_F(CrashTest, AKillAtAnyFileOperationLosesNothingSaved) {
  test::ScriptedMessageBox boxes;
  // A run without a kill gives the states after each save and the operation count.
  std::vector<Collection> states;
  long operations = 0;
  RunWorkload(m_Path, m_Other, -1, &states);
  RestoreInitial();
  {
    test::FaultInjectingFileSystem fs;
    RunWorkload(m_Path, m_Other, -1, nullptr);
    operations = fs.Operations();
  }
  ASSERT_EQ(states.size(), static_cast<size_t>(kSaves));
  ASSERT_GT(operations, 100);

  // At least 300 kill points spread over the whole run (every one when fewer).
  std::vector<long> killPoints;
  long step = std::max<long>(1, operations / 320);
  for (long n = 1; n <= operations; n += step) killPoints.push_back(n);
  EXPECT_GE(killPoints.size(), std::min<size_t>(300, operations));

  int recovered = 0;
  for (long killAt : killPoints) {
    RestoreInitial();
    int reports[2];
    ASSERT_EQ(pipe(reports), 0);
    pid_t child = fork();
    if (child == 0) {
      close(reports[0]);
      test::FaultInjectingFileSystem fs;
      fs.beforeEach = [killAt](long n) {
        if (n == killAt) raise(SIGKILL);
      };
      RunWorkload(m_Path, m_Other, reports[1], nullptr);
      _exit(0);
    }
    close(reports[1]);
    int lastSave = -1;
    unsigned char done;
    while (read(reports[0], &done, 1) == 1) lastSave = done;
    close(reports[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) || WIFEXITED(status));

    bool journal = FileExists(RecoveryJournal::PathFor(m_Path));
    recovered += journal;
    boxes.Answer(IDOK);
    ImageRecordDB db;
    ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1)) << "kill at " << killAt;
    Collection now = PictureOf(db);
    const Collection& last = lastSave < 0 ? m_Initial : states[lastSave];
    bool matchesLast = now == last;
    bool matchesNext = lastSave + 1 < kSaves && now == states[lastSave + 1];
    EXPECT_TRUE(matchesLast || matchesNext)
        << "kill at operation " << killAt << " of " << operations << ", last save " << lastSave
        << ", " << now.size() << " records loaded, journal " << journal;
    db.ClearAll();
  }
  EXPECT_GT(recovered, 0);
  std::printf("crash test: %zu kill points over %ld file operations, %d recoveries\n",
              killPoints.size(), operations, recovered);
}

}  // namespace
}  // namespace gq
