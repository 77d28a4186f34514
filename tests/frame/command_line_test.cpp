#include <gtest/gtest.h>

#include <fstream>

#include "frame/CommandLine.h"
#include "base/TextFile.h"
#include "platform/NamedMutex.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetCommandLineGlobals();
    // One file per test: CTest runs the tests of this suite side by side.
    m_Result = ::testing::TempDir() + "/cl_result_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    std::remove(m_Result.c_str());
  }
  void TearDown() override { ResetCommandLineGlobals(); }

  ParseOutcome Parse(const std::string& line) {
    m_Parsed = ParsedCommand();
    return ParseCommandLine(line, &m_Parsed, m_Hooks);
  }
  std::string ResultFile() {
    std::string text;
    ReadWholeTextFile(m_Result, -1, &text);
    return text;
  }

  test::ScriptedMessageBox m_Boxes;
  ParsedCommand m_Parsed;
  ParseHooks m_Hooks;
  std::string m_Result;
};

TEST(UsageText, IsExactlyTheDocumentedText) {
  std::string expected =
      "usage: GlimmerQuorum [options] {file|folder}*\noptions are:\n"
      "  -h \n  -? \n  --help  \n\tOutput this help text.\n"
      "  -i label\n  --instance label \n\tRepeated calls use single program instance.\n"
      "  --server portnumber \n\tUse this port for incoming TCP/IP connections.\n"
      "  --client internetaddress:portnumber \n\tConnect to specified server for the current "
      "command.\n"
      "  -s \n  --select  \n\tShow newly loaded element. Use with -i.\n"
      "  -a \n  --activate  \n\tLike -s, but also activates instance.\n"
      "  -m \n  --minimize  \n\tHide GUI.\n"
      "  --db C:\\mypath\\dbname.gqdb \n\tUse this name and path for database.\n\tNo effect if "
      "instance is reused with -i.\n"
      "  -c C:\\tmp\\criterias.txt\n  --criterias C:\\tmp\\criterias.txt \n\tLoad criterias from "
      "the given file\n\tCan also be used with -q and -i.\n"
      "  -d \n  --delete  \n\tDelete given picture from DB.\n\tOnly one picture allowed.\n\tNeeds "
      "option -i and a running instance.\n"
      "  -q 20 39 C:\\temp\\result.txt\n  --query 20 39 C:\\temp\\result.txt \n\tWrite a list of "
      "the "
      "20th to 39th similar picture to result.txt.\n\tThis must be the last option.\n\tNeeds "
      "option -i and a running instance.\n\tExactly one picture file must be specified.\n";
  EXPECT_EQ(UsageText(), expected);
}

TEST_F(CommandLineTest, EveryHelpSpellingShowsTheUsage) {
  for (const char* line : {"gq -h", "gq -?", "gq --help", "gq /help", "gq -help", "gq /h"}) {
    EXPECT_EQ(Parse(line), ParseOutcome::kFinished) << line;
  }
  ASSERT_EQ(m_Boxes.Texts().size(), 6u);
  for (const std::string& text : m_Boxes.Texts()) EXPECT_EQ(text, UsageText());
  EXPECT_EQ(m_Boxes.Boxes()[0].caption, "GlimmerQuorum");
}

TEST_F(CommandLineTest, UnknownOptionsShowTheWholeLineAndWhereParsingStopped) {
  for (const char* line : {"\"/opt/my gq\" -dx a.jpg", "gq -", "gq --", "gq -b", "gq - a"}) {
    EXPECT_EQ(Parse(line), ParseOutcome::kFinished) << line;
  }
  std::vector<std::string> texts = m_Boxes.Texts();
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[0], "Unknown option in call:\n\"/opt/my gq\" -dx a.jpg\nstarting at:\ndx a.jpg");
  EXPECT_EQ(texts[1], "Unknown option in call:\ngq -\nstarting at:\n");
  EXPECT_EQ(texts[2], "Unknown option in call:\ngq --\nstarting at:\n");
}

TEST_F(CommandLineTest, AbsolutePathsAreFilesWhileSlashOptionsStillWork) {
  EXPECT_EQ(Parse("gq /home/me/pics /help"), ParseOutcome::kStartProgram);
  EXPECT_EQ(m_Parsed.rest, "/home/me/pics /help");
  EXPECT_EQ(Parse("gq /m /tmp/x"), ParseOutcome::kStartProgram);
  EXPECT_TRUE(m_Parsed.minimize);
  EXPECT_EQ(m_Parsed.rest, "/tmp/x");
  // A word after the first file is a file, even with a dash.
  EXPECT_EQ(Parse("gq a.jpg -h"), ParseOutcome::kStartProgram);
  EXPECT_EQ(m_Parsed.rest, "a.jpg -h");
  EXPECT_TRUE(m_Boxes.Texts().empty());
}

TEST_F(CommandLineTest, OptionsWithArgumentsAndFlags) {
  EXPECT_EQ(Parse("gq -i one --instance two -db x.gqdb -c \"my crit.txt\" -a -m --server 80 f"),
            ParseOutcome::kStartProgram);
  EXPECT_EQ(g_instanceName, "GlimmerQuorum_one");
  EXPECT_EQ(g_mainWindowClassName, "GlimmerQuorumAppClass_one");
  EXPECT_EQ(m_Parsed.databasePath, "x.gqdb");
  EXPECT_EQ(g_criteriaFilePath, "my crit.txt");
  EXPECT_TRUE(g_selectFlag);
  EXPECT_TRUE(g_activateFlag);
  EXPECT_EQ(g_countBeforeHandOff, 0);
  EXPECT_TRUE(m_Parsed.minimize);
  EXPECT_EQ(m_Parsed.serverPort, 80);
  EXPECT_EQ(m_Parsed.rest, "f");

  ResetCommandLineGlobals();
  Parse("gq -i \"\" --db y");
  EXPECT_EQ(g_instanceName, "GlimmerQuorum_");
  EXPECT_EQ(m_Parsed.databasePath, "y");
}

TEST_F(CommandLineTest, BadServerAndClientArgumentsWarnAndGoOn) {
  m_Hooks.clientRequest = [](const ParsedCommand&) {};
  EXPECT_EQ(Parse("gq --server 12ab --client hostonly --client host:x f"),
            ParseOutcome::kStartProgram);
  EXPECT_EQ(m_Parsed.serverPort, 0);
  EXPECT_TRUE(m_Parsed.clientHost.empty());
  EXPECT_EQ(m_Boxes.Texts(),
            (std::vector<std::string>{"Option server needs numerical argument.",
                                      "Option client needs port number. Missing ':'.",
                                      "Option client expects port number after ':'."}));
}

TEST_F(CommandLineTest, ClientModeRunsTheRequestOrSaysItIsMissing) {
  ParsedCommand seen;
  m_Hooks.clientRequest = [&](const ParsedCommand& parsed) { seen = parsed; };
  EXPECT_EQ(Parse("gq --client example.org:5555 a"), ParseOutcome::kFinished);
  EXPECT_EQ(seen.clientHost, "example.org");
  EXPECT_EQ(seen.clientPort, 5555);
  m_Hooks.clientRequest = nullptr;
  EXPECT_EQ(Parse("gq --client h:1 a"), ParseOutcome::kUnavailable);
  EXPECT_EQ(Parse("gq --client h:1 -d a"), ParseOutcome::kFinished);
  EXPECT_EQ(m_Boxes.Texts().back(), "option delete not implemented yet");
}

TEST_F(CommandLineTest, QueryWithoutInstanceWritesStatusTwo) {
  EXPECT_EQ(Parse("gq -q 1 5 " + m_Result + " x.jpg"), ParseOutcome::kFinished);
  EXPECT_EQ(ResultFile(), "!status: 2 - Missing instance option for query.\n");
  EXPECT_TRUE(m_Boxes.Texts().empty());
}

TEST_F(CommandLineTest, QuerySyntaxErrorsGoToTheResultFileOrABox) {
  EXPECT_EQ(Parse("gq -i x -q 1 5 " + m_Result + " x.jpg extra"), ParseOutcome::kFinished);
  EXPECT_EQ(ResultFile(), "!status: 1 - Syntax error.\n");
  // Last below first, or no result-file word: nothing can be written.
  Parse("gq -i x -q 5 1 " + m_Result + " x.jpg");
  Parse("gq -i x -q 1 5");
  Parse("gq -i x -q 1 a5 r.txt");
  EXPECT_EQ(m_Boxes.Texts(),
            (std::vector<std::string>{"Syntax error in query: 5 1 " + m_Result + " x.jpg",
                                      "Syntax error in query: 1 5",
                                      "Syntax error in query: 1 a5 r.txt"}));
  Parse("gq -i x -q 1 5 - x.jpg");
  EXPECT_EQ(m_Boxes.Texts().back(), "Illegal query results file name - can't query to stdout.");
}

TEST_F(CommandLineTest, WellFormedQueryEndsTheOptionsAndWithoutAnInstanceRunningSaysSo) {
  EXPECT_EQ(Parse("gq -i qtest_alone -q 1 20 " + m_Result + " \"my pic.jpg\""),
            ParseOutcome::kFinished);
  EXPECT_EQ(ResultFile(), "!status: 3 - Server not found.\n");
  EXPECT_EQ(m_Parsed.queryFirst, 1);
  EXPECT_EQ(m_Parsed.queryLast, 20);
  EXPECT_EQ(m_Parsed.queryPicture, "my pic.jpg");
  EXPECT_EQ(m_Parsed.rest, m_Result + " \"my pic.jpg\"");
}

TEST_F(CommandLineTest, ExitChecksAfterTheOptionLoop) {
  Parse("gq -i ex -d -q 1 2 " + m_Result + " p.jpg");
  EXPECT_EQ(m_Boxes.Texts().back(), "Options query and delete are mutually exclusive.");
  EXPECT_FALSE(std::ifstream(m_Result).good());
  ResetCommandLineGlobals();
  EXPECT_EQ(Parse("gq -i ex2 -d p.jpg"), ParseOutcome::kFinished);
  EXPECT_EQ(m_Boxes.Texts().back(), "Option delete needs a running instance.");
}

TEST_F(CommandLineTest, ASecondInstanceHandsOverOrSaysTheHandOverIsMissing) {
  // Another holder of the instance's mutex stands for the running first start.
  std::string handed;
  m_Hooks.handOver = [&](const ParsedCommand&, const std::string& line) {
    handed = line;
    return true;
  };
  NamedMutex other;
  ASSERT_EQ(other.Create("GlimmerQuorum_shared"), NamedMutex::Result::Created);
  EXPECT_EQ(Parse("gq -i shared b.jpg"), ParseOutcome::kFinished);
  EXPECT_EQ(handed, "gq -i shared b.jpg");
  m_Hooks.handOver = nullptr;
  ResetCommandLineGlobals();
  EXPECT_EQ(Parse("gq -i shared b.jpg"), ParseOutcome::kUnavailable);
  other.Release();
  ResetCommandLineGlobals();
  EXPECT_EQ(Parse("gq -i shared b.jpg"), ParseOutcome::kStartProgram);
}

TEST(RebuildCommandLine, QuotesEmptyAndBlankWordsAndRefusesQuotes) {
  std::string error;
  EXPECT_EQ(RebuildCommandLine({"gq", "a b", "", "c"}, &error), "gq \"a b\" \"\" c");
  EXPECT_FALSE(RebuildCommandLine({"gq", "say \"hi\""}, &error).has_value());
  EXPECT_NE(error.find("double quote"), std::string::npos);
  std::string huge(100000, 'x');
  EXPECT_EQ(RebuildCommandLine({"gq", huge}, &error)->size(), huge.size() + 3);
}

}  // namespace
}  // namespace gq
