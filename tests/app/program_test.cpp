// Runs the real GlimmerQuorum program: the database option, the file list, the orderly
// shut-down, and the hand-off between two starts of the same instance label.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "db/DatabaseOps.h"
#include "db/DbTestSupport.h"
#include "frame/HandOff.h"
#include "base/TextFile.h"
#include "loading/LoaderTestSupport.h"
#include "platform/InstanceChannel.h"
#include "platform/NamedMutex.h"
#include "platform/Process.h"
#include "support/ProgramRun.h"

namespace gq {
namespace {

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Dir = test::FolderForThisTest("program_");
    m_Label = "test" + std::to_string(getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  void TearDown() override {
    for (pid_t child : m_Running) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
  }
  std::string Path(const std::string& name) const { return m_Dir + "/" + name; }

  // Starts the program in the background; standard error goes to errName.
  pid_t Start(const std::vector<std::string>& arguments, const std::string& errName) {
    pid_t child = test::StartProgram(GQ_PROGRAM_PATH, arguments, m_Dir, errName);
    m_Running.push_back(child);
    return child;
  }
  // Runs the program to its end; returns its exit code.
  int RunToEnd(const std::vector<std::string>& arguments, const std::string& errName) {
    pid_t child = Start(arguments, errName);
    int status = 0;
    waitpid(child, &status, 0);
    m_Running.erase(std::find(m_Running.begin(), m_Running.end(), child));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int Terminate(pid_t child) {
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    m_Running.erase(std::find(m_Running.begin(), m_Running.end(), child));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  bool WaitForText(const std::string& errName, const std::string& text, int times = 1) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::string content;
    while (std::chrono::steady_clock::now() < deadline) {
      ReadWholeTextFile(Path(errName), -1, &content);
      int found = 0;
      for (size_t at = content.find(text); at != std::string::npos;
           at = content.find(text, at + 1)) {
        ++found;
      }
      if (found >= times) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "no \"" << text << "\" in " << content;
    return false;
  }
  // Waits until the instance of label listens for hand-offs.
  bool WaitForInstance(const std::string& label) {
    std::string channel = InstanceChannelPath("GlimmerQuorumAppClass_" + label);
    for (int i = 0; i < 1500 && access(channel.c_str(), F_OK) != 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return access(channel.c_str(), F_OK) == 0;
  }
  std::vector<std::string> SavedPaths(const std::string& database) {
    ImageRecordDB db;
    std::vector<std::string> paths;
    if (!LoadDatabase(db, database, 0, 1)) return paths;
    for (ImageRecord* record : db.RecordsByPath()) paths.push_back(record->m_Path);
    return paths;
  }

  test::ScriptedMessageBox m_Boxes;
  std::string m_Dir;
  std::string m_Label;
  std::vector<pid_t> m_Running;
};

TEST_F(ProgramTest, TheDatabaseOptionAndTheFileListAreLoadedAndSavedAtTheEnd) {
  mkdir(Path("pics").c_str(), 0755);
  for (int i = 0; i < 3; ++i)
    test::WritePicture(Path("pics/" + std::to_string(i) + ".png"), 40, 30, i);
  pid_t program = Start({"--db", Path("c.gqdb"), Path("pics")}, "err1.txt");
  ASSERT_TRUE(WaitForText("err1.txt", "Finished loading pictures."));
  EXPECT_EQ(Terminate(program), 0);
  EXPECT_EQ(SavedPaths(Path("c.gqdb")).size(), 3u);

  // A folder as the database option names tmp.gqdb in it; ".gqdb" is appended.
  program = Start({"--db", Path("pics"), Path("pics/0.png")}, "err2.txt");
  ASSERT_TRUE(WaitForText("err2.txt", "Finished loading pictures."));
  EXPECT_EQ(Terminate(program), 0);
  EXPECT_EQ(SavedPaths(Path("pics/tmp.gqdb")).size(), 1u);
  program = Start({"--db", Path("other"), Path("pics/1.png")}, "err3.txt");
  ASSERT_TRUE(WaitForText("err3.txt", "Finished loading pictures."));
  EXPECT_EQ(Terminate(program), 0);
  EXPECT_EQ(SavedPaths(Path("other.gqdb")).size(), 1u);
}

TEST_F(ProgramTest, ASecondStartHandsItsPicturesToTheRunningInstance) {
  test::WritePicture(Path("a.png"), 40, 30, 1);
  test::WritePicture(Path("b.png"), 41, 30, 2);
  pid_t first = Start({"-i", m_Label, "--db", Path("c.gqdb")}, "first.txt");
  ASSERT_TRUE(WaitForInstance(m_Label));
  // The second start ends at once; the first one loads what it was given.
  EXPECT_EQ(RunToEnd({"-i", m_Label, Path("a.png"), Path("b.png")}, "second.txt"), 0);
  ASSERT_TRUE(WaitForText("first.txt", "Finished loading pictures."));

  // Delete: a single picture only, then by path.
  EXPECT_EQ(RunToEnd({"-i", m_Label, "-d", Path("a.png"), Path("b.png")}, "third.txt"), 0);
  ASSERT_TRUE(WaitForText("third.txt", "Option delete only allowed for single picture."));
  EXPECT_EQ(RunToEnd({"-i", m_Label, "-d", Path("a.png")}, "fourth.txt"), 0);

  // Another label is another instance; a block with a foreign tag or wParam is not taken.
  pid_t other = Start({"-i", m_Label + "x", "--db", Path("x.gqdb")}, "other.txt");
  ASSERT_TRUE(WaitForInstance(m_Label + "x"));
  std::string text = "GlimmerQuorum_" + m_Label + "\n\"" + Path("b.png") + "\" ";
  text.push_back('\0');
  std::string className = "GlimmerQuorumAppClass_" + m_Label;
  EXPECT_EQ(SendCopyData(className, 0, 0x12345678, text), 0);
  EXPECT_EQ(SendCopyData(className, 1, kHandOffTag, text), 0);
  EXPECT_EQ(SendCopyData(className, 0, kHandOffTag, "GlimmerQuorum_other\n" + std::string(1, '\0')),
            0);
  EXPECT_EQ(Terminate(other), 0);

  EXPECT_EQ(Terminate(first), 0);
  EXPECT_EQ(SavedPaths(Path("c.gqdb")), std::vector<std::string>{Path("b.png")});
}

TEST_F(ProgramTest, QueriesFromALaterStartAndFromAClientOverTcp) {
  mkdir(Path("pics").c_str(), 0755);
  for (int i = 0; i < 4; ++i)
    test::WritePicture(Path("pics/" + std::to_string(i) + ".png"), 40, 30, i * 40);
  int port = 20000 + getpid() % 20000;
  pid_t server =
      Start({"-i", m_Label, "--server", std::to_string(port), "--db", Path("c.gqdb"), Path("pics")},
            "server.txt");
  ASSERT_TRUE(WaitForInstance(m_Label));
  ASSERT_TRUE(WaitForText("server.txt", "Finished loading pictures."));
  std::string picture = Path("pics/0.png");

  EXPECT_EQ(RunToEnd({"-i", m_Label, "-q", "1", "2", Path("local.txt"), picture}, "l.txt"), 0);
  std::string local;
  ASSERT_TRUE(ReadWholeTextFile(Path("local.txt"), -1, &local));
  EXPECT_EQ(local.rfind("!status: 0 - OK\n", 0), 0u) << local;
  EXPECT_EQ(std::count(local.begin(), local.end(), '\n'), 3);
  EXPECT_EQ(local.find(picture + "\n"), std::string::npos);  // never the query picture

  EXPECT_EQ(RunToEnd({"--client", "127.0.0.1:" + std::to_string(port), "-i", m_Label, "-q", "1",
                      "2", Path("remote.txt"), picture},
                     "r.txt"),
            0);
  std::string remote;
  ASSERT_TRUE(ReadWholeTextFile(Path("remote.txt"), -1, &remote));
  EXPECT_EQ(remote, local);

  // An unknown picture, and a client with another label (the server closes at the
  // greeting: the client reports a failure, never "OK").
  RunToEnd({"-i", m_Label, "-q", "1", "2", Path("none.txt"), Path("pics/none.png")}, "n.txt");
  ASSERT_TRUE(ReadWholeTextFile(Path("none.txt"), -1, &local));
  EXPECT_EQ(local, "!status: 102 - Picture not in database.\n");
  RunToEnd({"--client", "127.0.0.1:" + std::to_string(port), "-i", m_Label + "other", "-q", "1",
            "2", Path("other.txt"), picture},
           "c.txt");
  ASSERT_TRUE(ReadWholeTextFile(Path("other.txt"), -1, &remote));
  EXPECT_EQ(remote.rfind("!status: ", 0), 0u) << remote;
  EXPECT_EQ(remote.find("!status: 0 "), std::string::npos) << remote;

  EXPECT_EQ(Terminate(server), 0);
  EXPECT_EQ(SavedPaths(Path("c.gqdb")).size(), 4u);
}

TEST_F(ProgramTest, DeleteOrQueryWithoutARunningInstance) {
  // No instance of the label runs: the start goes on alone, and a query then writes
  // "Server not found.".
  EXPECT_EQ(RunToEnd({"-i", m_Label, "-q", "1", "5", Path("r.txt"), Path("p.png")}, "q.txt"), 0);
  std::string result;
  ASSERT_TRUE(ReadWholeTextFile(Path("r.txt"), -1, &result));
  EXPECT_EQ(result, "!status: 3 - Server not found.\n");
}

TEST_F(ProgramTest, ALaterStartGivesUpOnAStoppedInstanceAfterTheRetryPeriod) {
  pid_t first = Start({"-i", m_Label, "--db", Path("c.gqdb")}, "first.txt");
  ASSERT_TRUE(WaitForInstance(m_Label));
  kill(first, SIGSTOP);
  test::ProgramOutput run = test::RunProgram(
      GQ_PROGRAM_PATH, {"-i", m_Label, "-q", "1", "2", Path("r.txt"), Path("p.png")}, m_Dir,
      120000);
  EXPECT_EQ(run.exitCode, 0);
  std::string result;
  ASSERT_TRUE(ReadWholeTextFile(Path("r.txt"), -1, &result));
  EXPECT_EQ(result, "!status: 3 - Server not found.\n");
  kill(first, SIGCONT);
  EXPECT_EQ(Terminate(first), 0);
}

TEST_F(ProgramTest, AStartThatOutlivesTheInstanceItTriedTakesOverTheLabel) {
  // An instance that declines while it ends, then lets go of its label.
  NamedMutex instance;
  ASSERT_EQ(instance.Create("GlimmerQuorum_" + m_Label), NamedMutex::Result::Created);
  int offers = 0;
  MessageWindow window([&](unsigned message, uintptr_t, intptr_t) -> intptr_t {
    offers += message == kMsgCopyData;
    return 0;
  });
  InstanceChannelServer channel;
  ASSERT_TRUE(channel.Start("GlimmerQuorumAppClass_" + m_Label, window.Target()));
  pid_t later = Start({"-i", m_Label, "--db", Path("c.gqdb")}, "later.txt");
  ASSERT_TRUE(WaitHandlingSent([&] { return offers > 0; }, std::chrono::seconds(30)));
  channel.Stop();
  instance.Release();

  ASSERT_TRUE(WaitForInstance(m_Label));
  NamedMutex third;
  EXPECT_EQ(third.Create("GlimmerQuorum_" + m_Label), NamedMutex::Result::AlreadyExisted);
  EXPECT_EQ(Terminate(later), 0);
}

TEST_F(ProgramTest, ACriteriaFileThatDoesNotParseIsReported) {
  std::ofstream(Path("bad.txt")) << "50 50 x";
  pid_t first = Start({"-i", m_Label, "-c", Path("bad.txt"), "--db", Path("c.gqdb")}, "first.txt");
  ASSERT_TRUE(WaitForText("first.txt", "Can't read criterias file."));
  ASSERT_TRUE(WaitForInstance(m_Label));
  EXPECT_EQ(RunToEnd({"-i", m_Label, "-c", Path("bad.txt")}, "second.txt"), 0);
  EXPECT_TRUE(WaitForText("first.txt", "Can't read criterias file.", 2));
  EXPECT_EQ(Terminate(first), 0);
}

}  // namespace
}  // namespace gq
