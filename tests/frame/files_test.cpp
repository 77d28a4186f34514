#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "frame/AtomicFile.h"
#include "base/TextFile.h"

namespace gq {
namespace {

std::string Content(const std::string& path) {
  std::string text;
  EXPECT_TRUE(ReadWholeTextFile(path, -1, &text)) << path;
  return text;
}

TEST(AtomicFile, CommitReplacesAnExistingTargetAsAWhole) {
  std::string target = ::testing::TempDir() + "/atomic_target.txt";
  std::ofstream(target) << "old content that is longer";
  AtomicFile file(target);
  std::fputs("new\n", file.Open());
  EXPECT_EQ(Content(target), "old content that is longer");  // untouched until commit
  std::string temporary = file.TemporaryPath();
  EXPECT_NE(temporary.find("/AtomicFile"), std::string::npos);
  EXPECT_EQ(temporary.substr(temporary.size() - 4), ".txt");
  EXPECT_TRUE(file.Commit());
  EXPECT_EQ(Content(target), "new\n");
  EXPECT_NE(access(temporary.c_str(), F_OK), 0);
}

TEST(AtomicFile, DiscardLeavesTheTargetAndDestructionCommits) {
  std::string target = ::testing::TempDir() + "/atomic_discard.txt";
  std::ofstream(target) << "keep";
  {
    AtomicFile file(target);
    std::fputs("drop", file.Open());
    std::string temporary = file.TemporaryPath();
    file.Discard();
    EXPECT_NE(access(temporary.c_str(), F_OK), 0);
    EXPECT_FALSE(file.Commit());
  }
  EXPECT_EQ(Content(target), "keep");
  {
    AtomicFile file(target);
    std::fputs("by destructor", file.Open());
  }
  EXPECT_EQ(Content(target), "by destructor");
}

TEST(AtomicFile, EmptyTargetCopiesToStandardOutput) {
  testing::internal::CaptureStdout();
  {
    AtomicFile file("");
    std::string big(10000, 'z');
    std::fputs(big.c_str(), file.Open());
    std::fputs("!status: 0 - OK\n", file.Open());
    EXPECT_TRUE(file.Commit());
  }
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, std::string(10000, 'z') + "!status: 0 - OK\n");
}

TEST(AtomicFile, AnUnwritableTargetFolderFailsAndLeavesNoTemporaryFile) {
  AtomicFile file("/nonexistent-folder/result.txt");
  std::fputs("x", file.Open());
  std::string temporary = file.TemporaryPath();
  EXPECT_FALSE(file.Commit());
  EXPECT_NE(access(temporary.c_str(), F_OK), 0);
}

TEST(AtomicFile, TheResultFileGetsTheModeTheUmaskAllows) {
  std::string target = ::testing::TempDir() + "/atomic_mode.txt";
  mode_t saved = umask(022);
  for (mode_t mask : {022, 077, 002}) {
    umask(mask);
    AtomicFile file(target);
    std::fputs("x", file.Open());
    ASSERT_TRUE(file.Commit());
    struct stat info;
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << std::oct << mask;
  }
  umask(saved);
}

TEST(AtomicFile, NoTemporaryFolderMeansNoFile) {
  setenv("TMPDIR", "/nonexistent-tmp", 1);
  AtomicFile file(::testing::TempDir() + "/never.txt");
  EXPECT_EQ(file.Open(), nullptr);
  EXPECT_EQ(file.Descriptor(), -1);
  unsetenv("TMPDIR");
}

TEST(TextFile, WholeFileWithLimitsAndLines) {
  std::string path = ::testing::TempDir() + "/text_file.txt";
  std::string content = std::string(8192, 'a') + "\nlast";
  std::ofstream(path, std::ios::binary) << content;
  std::string text;
  EXPECT_TRUE(ReadWholeTextFile(path, -1, &text));
  EXPECT_EQ(text, content);
  EXPECT_TRUE(ReadWholeTextFile(path, content.size(), &text));
  EXPECT_FALSE(ReadWholeTextFile(path, content.size() - 1, &text));
  EXPECT_FALSE(ReadWholeTextFile(path + ".missing", -1, &text));

  FILE* file = std::fopen(path.c_str(), "rb");
  std::string line;
  EXPECT_TRUE(ReadLine(file, &line));
  EXPECT_EQ(line.size(), 8192u);
  EXPECT_TRUE(ReadLine(file, &line));
  EXPECT_EQ(line, "last");
  EXPECT_FALSE(ReadLine(file, &line));
  std::fclose(file);
}

}  // namespace
}  // namespace gq
