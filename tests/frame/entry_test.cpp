// Runs the real program as a child process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "base/TextFile.h"
#include "frame/CommandLine.h"
#include "frame/FileTypeRegistration.h"
#include "platform/Process.h"
#include "platform/RegStore.h"
#include "support/ProgramRun.h"

namespace gq {
namespace {

class EntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Dir = ::testing::TempDir() + "/entry_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RunProcess({"/bin/rm", "-rf", m_Dir}, 5000);
    RunProcess({"/bin/mkdir", "-p", m_Dir}, 5000);
  }

  test::ProgramOutput Start(std::vector<std::string> arguments) {
    return test::RunProgram(GQ_PROGRAM_PATH, arguments, m_Dir, 20000);
  }
  pid_t StartInBackground(const std::vector<std::string>& arguments) {
    return test::StartProgram(GQ_PROGRAM_PATH, arguments, m_Dir, "err.txt");
  }
  // Waits up to 20 s until the file holds text.
  static bool WaitForText(const std::string& path, const std::string& text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::string content;
    while (std::chrono::steady_clock::now() < deadline) {
      ReadWholeTextFile(path, -1, &content);
      if (content.find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  std::string m_Dir;
};

TEST_F(EntryTest, HelpPrintsTheUsageTextAndEnds) {
  for (const char* option : {"-h", "-?", "--help", "/help", "-help"}) {
    test::ProgramOutput run = Start({option});
    EXPECT_EQ(run.exitCode, 0) << option;
    EXPECT_EQ(run.out, UsageText()) << option;
  }
}

TEST_F(EntryTest, AnAbsoluteFolderReachesTheFileList) {
  // The folder is loaded (it holds no pictures); the headless program then runs until
  // it is told to end.
  pid_t child = StartInBackground({m_Dir});
  ASSERT_TRUE(WaitForText(m_Dir + "/err.txt", "Finished loading pictures."));
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::string err;
  ReadWholeTextFile(m_Dir + "/err.txt", -1, &err);
  EXPECT_EQ(err.find("Unknown option"), std::string::npos) << err;
}

TEST_F(EntryTest, QueryWithoutInstanceWritesItsStatusIntoTheResultFile) {
  test::ProgramOutput run = Start({"-q", "1", "5", m_Dir + "/r.txt", "x.jpg"});
  EXPECT_EQ(run.exitCode, 0);
  std::string result;
  ASSERT_TRUE(ReadWholeTextFile(m_Dir + "/r.txt", -1, &result));
  EXPECT_EQ(result, "!status: 2 - Missing instance option for query.\n");

  // Nothing to write to: the status is lost, and standard error says so.
  for (const char* instance : {"", "-i"}) {
    std::vector<std::string> arguments = {"-q", "1", "5", "/nonexistent-folder/r.txt", "x.jpg"};
    if (*instance)
      arguments.insert(arguments.begin(), {instance, "entry" + std::to_string(getpid())});
    run = Start(arguments);
    EXPECT_EQ(run.exitCode, 0) << instance;
    EXPECT_NE(run.err.find("/nonexistent-folder/r.txt"), std::string::npos) << run.err;
  }
}

TEST_F(EntryTest, BadArgumentsGetClearMessages) {
  test::ProgramOutput quote = Start({"say \"hi\""});
  EXPECT_EQ(quote.exitCode, 2);
  EXPECT_NE(quote.err.find("double quote"), std::string::npos);

  test::ProgramOutput unknown = Start({"-x\xff\xfe", std::string(100000, 'a')});
  EXPECT_EQ(unknown.exitCode, 0);
  EXPECT_NE(unknown.err.find("Unknown option in call:"), std::string::npos);

  test::ProgramOutput glued = Start({"-dx"});
  EXPECT_NE(glued.err.find("Unknown option in call:"), std::string::npos);
}

TEST_F(EntryTest, SigtermEndsTheHeadlessProgramThroughTheQuitPathAndSavesSettings) {
  std::string config = m_Dir + "/config";
  pid_t child = StartInBackground({});
  // The store is created while the settings are loaded at start, after the program has
  // taken over SIGTERM: from then on the signal goes through the quit path.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (access((config + "/settings.reg").c_str(), F_OK) != 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(access((config + "/settings.reg").c_str(), F_OK), 0);
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  RegStore store;
  ASSERT_TRUE(store.Load(config + "/settings.reg"));
  EXPECT_EQ(store.Values().size(), 10u);
  std::string desktop;
  EXPECT_TRUE(ReadWholeTextFile(m_Dir + "/data/applications/" + kFileTypeEntryName, -1, &desktop));
  EXPECT_NE(desktop.find("MimeType=application/x-glimmerquorum-db;"), std::string::npos);
  EXPECT_NE(desktop.find("\nIcon=glimmerquorum\nCategories=Graphics;Viewer;\n"), std::string::npos);
  std::string icon;
  EXPECT_TRUE(
      ReadWholeTextFile(m_Dir + "/data/icons/hicolor/scalable/apps/glimmerquorum.svg", -1, &icon));
  EXPECT_NE(icon.find("<svg"), std::string::npos);
}

}  // namespace
}  // namespace gq
