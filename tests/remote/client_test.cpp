// The command-line client (RunClientRequest) against a server in this process, and the
// local query a running instance answers from a hand-off.
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "frame/CommandLine.h"
#include "frame/StatusLine.h"
#include "loading/Loader.h"
#include "loading/LoadingTestSupport.h"
#include "remote/ClientRequest.h"
#include "remote/LocalQuery.h"
#include "remote/RemoteSink.h"
#include "remote/RemoteTestSupport.h"
#include "signature/CriteriaFile.h"
#include "search/SearchTestSupport.h"
#include "signature/Similarity.h"

namespace gq::test {
namespace {

std::string Status(int code) { return StatusLine(code, StatusText(code)); }

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetCommandLineGlobals();
    for (int i = 0; i < 5; ++i) ui.AddPicture("/pics/p" + std::to_string(i) + ".png", 30 + i);
    port = ui.StartServer("GlimmerQuorum_lab");
    ASSERT_NE(port, 0);
    g_instanceName = "GlimmerQuorum_lab";
  }
  void TearDown() override { ResetCommandLineGlobals(); }

  ParsedCommand QueryCommand(const std::string& picture, int first, int last) {
    ParsedCommand parsed;
    parsed.clientHost = "127.0.0.1";
    parsed.clientPort = port;
    parsed.queryFirst = first;
    parsed.queryLast = last;
    parsed.queryResultFile = scratch.File("result.txt");
    parsed.queryPicture = picture;
    return parsed;
  }

  std::string ExpectedList(const std::string& path, int first, int last, const Criteria& c) {
    std::string text;
    ui.OnUi([&] {
      text = ui.Engine().SimilarText(ui.Db().FindByPath(path), first, last, BuildWeights(c));
    });
    return text;
  }

  gq::testing::ScratchFolder scratch;
  UiThread ui;
  int port = 0;
};

TEST_F(ClientTest, QueryResultFileHoldsStatusAndPaths) {
  int baseline = OpenDescriptorCount();
  std::string result = scratch.File("result.txt");
  RunClientRequest(QueryCommand("/pics/p1.png", 1, 3));
  std::string expected = ExpectedList("/pics/p1.png", 1, 3, CurrentCriteria());
  EXPECT_EQ(FileText(result), Status(0) + expected);
  EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 3);
  RunClientRequest(QueryCommand("/pics/unknown.png", 1, 3));
  EXPECT_EQ(FileText(result), Status(102));
  EXPECT_TRUE(DescriptorsBackTo(baseline));
}

TEST_F(ClientTest, QueryWithCriteriaFile) {
  Criteria colourOnly{};
  colourOnly.value[kCoarseColour] = 100;
  g_criteriaFilePath = scratch.File("criteria.txt");
  ASSERT_TRUE(WriteCriteriaFile(g_criteriaFilePath, colourOnly));
  RunClientRequest(QueryCommand("/pics/p2.png", 1, 4));
  EXPECT_EQ(FileText(scratch.File("result.txt")),
            Status(0) + ExpectedList("/pics/p2.png", 1, 4, colourOnly));
  // Not criteria text: the server reports its syntax error.
  { std::ofstream(g_criteriaFilePath) << "seven"; }
  RunClientRequest(QueryCommand("/pics/p2.png", 1, 4));
  EXPECT_EQ(FileText(scratch.File("result.txt")), Status(100));
}

TEST_F(ClientTest, CriteriaFileTooLongOrMissingIsRefusedBeforeConnecting) {
  ParsedCommand parsed = QueryCommand("/pics/p2.png", 1, 4);
  parsed.clientPort = 1;  // nothing listens there: a connection attempt would give status 4
  g_criteriaFilePath = scratch.File("long.txt");
  { std::ofstream(g_criteriaFilePath) << std::string(5000, ' '); }
  RunClientRequest(parsed);
  EXPECT_EQ(FileText(parsed.queryResultFile), Status(101));
  { std::ofstream(g_criteriaFilePath, std::ios::trunc) << std::string(4096, ' '); }
  RunClientRequest(parsed);
  EXPECT_EQ(FileText(parsed.queryResultFile), Status(4));
  g_criteriaFilePath = scratch.File("absent.txt");
  RunClientRequest(parsed);
  EXPECT_EQ(FileText(parsed.queryResultFile), Status(101));
}

TEST_F(ClientTest, FailuresBecomeStatusLines) {
  ParsedCommand parsed = QueryCommand("/pics/p2.png", 1, 4);
  // No server on the port.
  ui.StopServer();
  RunClientRequest(parsed);
  EXPECT_EQ(FileText(parsed.queryResultFile), Status(4));
  // Another label: the server closes without an answer.
  port = ui.StartServer("GlimmerQuorum_other");
  parsed.clientPort = port;
  RunClientRequest(parsed);
  EXPECT_EQ(FileText(parsed.queryResultFile), Status(5));
  // A result file that cannot be created leaves nothing behind.
  parsed.queryResultFile = scratch.File("no/such/folder/result.txt");
  RunClientRequest(parsed);
  EXPECT_FALSE(std::filesystem::exists(parsed.queryResultFile));
}

TEST_F(ClientTest, LoadingThroughTheLinkSendsOnlyWhatTheServerLacks) {
  std::filesystem::create_directory(scratch.File("set"));
  for (int i = 0; i < 3; ++i) {
    cv::imwrite(scratch.File("set/s" + std::to_string(i) + ".png"),
                gq::testing::TestPicture(80 + 10 * i, 60));
  }
  ParsedCommand parsed;
  parsed.clientHost = "127.0.0.1";
  parsed.clientPort = port;
  parsed.rest = "\"" + scratch.File("set") + "\"";
  RunClientRequest(parsed);
  std::vector<int32_t> numbers;
  ui.OnUi([&] {
    EXPECT_EQ(ui.Db().Count(), 8);
    for (int i = 0; i < 3; ++i) {
      ImageRecord* record = ui.Db().FindByPath(scratch.File("set/s" + std::to_string(i) + ".png"));
      ASSERT_NE(record, nullptr) << i;
      EXPECT_NE(record->m_ThumbPixels, nullptr);
      EXPECT_EQ(record->m_PictureWidth, 80 + 10 * i);
      numbers.push_back(record->m_LfdNr);
    }
  });
  // A second run finds everything known: nothing is sent again, the records stay.
  RunClientRequest(parsed);
  ui.OnUi([&] {
    EXPECT_EQ(ui.Db().Count(), 8);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(ui.Db().FindByPath(scratch.File("set/s" + std::to_string(i) + ".png"))->m_LfdNr,
                numbers[i]);
    }
  });
}

// The remote calls of the loader over a socket pair whose other end plays the server.
TEST(RemoteCalls, AnswersAndABrokenLinkStopTheLoader) {
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  CommandStream link{ends[0], kStreamSocket};
  CommandStream server{ends[1], kStreamSocket};
  g_LoaderState.stop = false;
  WriteLine(server, "!status: 102 - Picture not in database.");
  EXPECT_TRUE(RemoteIsKnown(link, "/a.png", 5));
  WriteLine(server, "!status: 0 - OK");
  EXPECT_FALSE(RemoteIsKnown(link, "/a.png", 5));
  std::string line;
  int32_t budget = 1000;
  ASSERT_TRUE(ReadLine(server, &line, &budget));
  EXPECT_EQ(line, "known");
  ImageRecord* record = RecordOf("/b.png", GeneratedPicture(4));
  WriteLine(server, "!status: 0 - OK");
  EXPECT_TRUE(RemoteAdd(link, *record));
  EXPECT_FALSE(g_LoaderState.stop);
  close(ends[1]);
  EXPECT_FALSE(RemoteAdd(link, *record));
  EXPECT_TRUE(g_LoaderState.stop);
  g_LoaderState.stop = false;
  EXPECT_FALSE(RemoteIsKnown(link, "/a.png", 5));
  EXPECT_TRUE(g_LoaderState.stop);
  g_LoaderState.stop = false;
  DestroyRecord(record);
  close(ends[0]);
}

class LocalQueryTest : public ClientTest {
 protected:
  bool Run(const std::string& text, const std::string& criteriaFile = "") {
    bool ok = false;
    ui.OnUi([&] { ok = LocalQuery(text, criteriaFile, ui.Context()); });
    return ok;
  }
};

TEST_F(LocalQueryTest, AnswersIntoTheResultFile) {
  std::string result = scratch.File("local.txt");
  EXPECT_TRUE(Run("1 2 \"" + result + "\" \"/pics/p3.png\" "));
  EXPECT_EQ(FileText(result), Status(0) + ExpectedList("/pics/p3.png", 1, 2, CurrentCriteria()));
  EXPECT_FALSE(Run("1 2 \"" + result + "\" \"/pics/none.png\" "));
  EXPECT_EQ(FileText(result), Status(102));
  // A word after the picture: the result file is named, so it gets the syntax error.
  EXPECT_FALSE(Run("1 2 \"" + result + "\" \"/pics/p3.png\" extra"));
  EXPECT_EQ(FileText(result), Status(100));
  // The last rank below the first: the result file is never read, so nothing is written.
  std::filesystem::remove(result);
  EXPECT_FALSE(Run("3 2 \"" + result + "\" \"/pics/p3.png\" "));
  EXPECT_FALSE(std::filesystem::exists(result));
}

TEST_F(LocalQueryTest, CriteriaFileIsUsedButNotAdopted) {
  std::string result = scratch.File("local.txt");
  Criteria before = CurrentCriteria();
  Criteria brightness{};
  brightness.value[kGlobalBrightness] = 100;
  std::string criteria = scratch.File("c.txt");
  ASSERT_TRUE(WriteCriteriaFile(criteria, brightness));
  EXPECT_TRUE(Run("1 4 \"" + result + "\" \"/pics/p0.png\" ", criteria));
  EXPECT_EQ(FileText(result), Status(0) + ExpectedList("/pics/p0.png", 1, 4, brightness));
  ui.OnUi([&] { EXPECT_EQ(CurrentCriteria(), before); });
  EXPECT_FALSE(Run("1 4 \"" + result + "\" \"/pics/p0.png\" ", scratch.File("missing.txt")));
  EXPECT_EQ(FileText(result), Status(101));
}

}  // namespace
}  // namespace gq::test
