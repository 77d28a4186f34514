// Runs the real program with a display (a virtual X server): it loads a folder, answers
// a query handed over by a later start, and saves and ends on SIGTERM. Without a
// reachable display it runs headless.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "base/TextFile.h"
#include "db/DatabaseOps.h"
#include "db/DbTestSupport.h"
#include "loading/LoaderTestSupport.h"
#include "support/ProgramRun.h"

namespace gq {
namespace {

constexpr const char* kXvfbRun = "/usr/bin/xvfb-run";

// Waits (polling, as for any other process's output) until file holds text.
bool WaitForFileText(const std::string& file, const std::string& text) {
  std::string content;
  for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
       std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
    if (ReadWholeTextFile(file, -1, &content) && content.find(text) != std::string::npos) {
      return true;
    }
  }
  ADD_FAILURE() << "no \"" << text << "\" in " << file << ": " << content;
  return false;
}

TEST(DesktopProgram, LoadsAnswersAHandedOverQueryAndSavesOnSigterm) {
  if (access(kXvfbRun, X_OK) != 0) GTEST_SKIP() << "xvfb-run is not installed";
  std::string dir = test::FolderForThisTest("desktop_");
  std::string label = "desk" + std::to_string(getpid());
  mkdir((dir + "/pics").c_str(), 0755);
  for (int i = 0; i < 4; ++i) {
    test::WritePicture(dir + "/pics/" + std::to_string(i) + ".png", 40, 30, i * 40);
  }
  pid_t xvfb =
      test::StartProgram(kXvfbRun,
                         {"-a", "/bin/sh", "-c", "echo $$ >program.pid; exec \"$0\" \"$@\"",
                          GQ_PROGRAM_PATH, "-i", label, "--db", dir + "/c.gqdb", dir + "/pics"},
                         dir, "program.txt");
  ASSERT_TRUE(WaitForFileText(dir + "/program.txt", "Finished loading pictures."));

  std::string picture = dir + "/pics/0.png";
  test::ProgramOutput query =
      test::RunProgram(GQ_PROGRAM_PATH, {"-i", label, "-q", "1", "20", "r.txt", picture}, dir);
  EXPECT_EQ(query.exitCode, 0) << query.err;
  std::string result;
  ASSERT_TRUE(ReadWholeTextFile(dir + "/r.txt", -1, &result));
  EXPECT_EQ(result.rfind("!status: 0 - OK\n", 0), 0u) << result;
  EXPECT_EQ(std::count(result.begin(), result.end(), '\n'), 4) << result;
  EXPECT_EQ(result.find(picture + "\n"), std::string::npos) << result;

  std::string pid;
  ASSERT_TRUE(ReadWholeTextFile(dir + "/program.pid", -1, &pid));
  kill(std::stoi(pid), SIGTERM);
  int status = 0;
  waitpid(xvfb, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ImageRecordDB db;
  ASSERT_TRUE(LoadDatabase(db, dir + "/c.gqdb", 0, 1));
  EXPECT_EQ(db.Count(), 4);
}

TEST(DesktopProgram, AnUnreachableDisplayRunsTheHeadlessProgram) {
  const std::string display = ":9876";  // no server listens there
  ASSERT_NE(access("/tmp/.X11-unix/X9876", F_OK), 0);
  std::string dir = test::FolderForThisTest("nodisplay_");
  mkdir((dir + "/pics").c_str(), 0755);
  test::WritePicture(dir + "/pics/0.png", 40, 30, 0);
  pid_t program = test::StartProgram(
      "/usr/bin/env", {"DISPLAY=" + display, GQ_PROGRAM_PATH, dir + "/pics"}, dir, "program.txt");
  ASSERT_TRUE(WaitForFileText(dir + "/program.txt", "Finished loading pictures."));
  kill(program, SIGTERM);
  int status = 0;
  waitpid(program, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace gq
