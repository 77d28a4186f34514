#include "platform/Process.h"

#include <gtest/gtest.h>

#include <fstream>

namespace gq {
namespace {

TEST(Process, SplitsWordsWithDoubleQuotesGrouping) {
  EXPECT_EQ(SplitCommandWords("/usr/bin/convert \"%1\" \"%2\""),
            (std::vector<std::string>{"/usr/bin/convert", "%1", "%2"}));
  EXPECT_EQ(SplitCommandWords("  a\t\"b c\"d  \"\" "), (std::vector<std::string>{"a", "b cd", ""}));
  EXPECT_TRUE(SplitCommandWords("   ").empty());
}

TEST(Process, PlaceholdersAreReplacedInsideWordsOnly) {
  auto words = SubstitutePlaceholders({"x", "-in=%1", "%2%1", "%3", "100%"}, "a b", "$c");
  EXPECT_EQ(words, (std::vector<std::string>{"x", "-in=a b", "$ca b", "%3", "100%"}));
}

TEST(Process, ArgumentsReachTheProgramAsTheyAreWithoutAShell) {
  std::string out = ::testing::TempDir() + "/process_args.txt";
  std::string hostile = "a b \"q\" $HOME `id` ; rm -rf /\nline2";
  ProcessResult result =
      RunProcess({"/bin/sh", "-c", "printf '%s' \"$1\" > \"$2\"", "sh", hostile, out}, 5000);
  ASSERT_TRUE(result.started) << result.error;
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.exitCode, 0);
  std::ifstream in(out, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, hostile);
}

TEST(Process, ExitCodesAndStartFailures) {
  ProcessResult failing = RunProcess({"/bin/sh", "-c", "exit 3"}, 5000);
  EXPECT_TRUE(failing.exited);
  EXPECT_EQ(failing.exitCode, 3);

  ProcessResult missing = RunProcess({"/nonexistent/program"}, 5000);
  EXPECT_FALSE(missing.started);
  EXPECT_FALSE(missing.error.empty());

  EXPECT_FALSE(RunProcess({}, 5000).started);
}

TEST(Process, AHangingProgramAndItsChildrenAreKilledAtTheBound) {
  ProcessResult result = RunProcess({"/bin/sh", "-c", "sleep 30 & sleep 30"}, 200);
  EXPECT_TRUE(result.started);
  EXPECT_TRUE(result.timedOut);
  EXPECT_FALSE(result.exited);
}

}  // namespace
}  // namespace gq
