// The server on real loopback sockets: greeting, the three commands, status codes,
// bounds on what a peer announces, the connection limit, and stopping with live
// connections.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "db/ImageRecordDB.h"
#include "frame/StatusLine.h"
#include "remote/Protocol.h"
#include "remote/RemoteTestSupport.h"
#include "signature/CriteriaFile.h"
#include "search/SearchTestSupport.h"
#include "signature/Signature.h"
#include "signature/Similarity.h"

namespace gq::test {
namespace {

std::string Status(int code) { return StatusLine(code, StatusText(code)); }

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 6; ++i) ui.AddPicture("/pics/p" + std::to_string(i) + ".png", 10 + i);
    port = ui.StartServer("GlimmerQuorum_x");
    ASSERT_NE(port, 0);
  }

  // The answer to one request on a fresh, greeted connection that then ends.
  std::string Ask(const std::string& request, const std::string& instance = "GlimmerQuorum_x") {
    RawClient client(port);
    client.Greet(instance);
    client.Send(request);
    client.ShutdownSending();
    return client.Rest();
  }

  std::string ExpectedList(const std::string& path, int first, int last, const Criteria& criteria) {
    std::string text;
    ui.OnUi([&] {
      text = ui.Engine().SimilarText(ui.Db().FindByPath(path), first, last, BuildWeights(criteria));
    });
    return text;
  }

  UiThread ui;
  int port = 0;
};

TEST_F(ServerTest, QueryAnswersStatusThenTheRanks) {
  std::string list = ExpectedList("/pics/p0.png", 1, 3, CurrentCriteria());
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 3);
  EXPECT_EQ(list.find("/pics/p0.png"), std::string::npos);
  EXPECT_EQ(Ask(QueryRequest(1, 3, "/pics/p0.png")), Status(0) + list);
  // A first rank below 1 counts as 1; ranks beyond the database shorten the list.
  EXPECT_EQ(Ask(QueryRequest(-5, 3, "/pics/p0.png")), Status(0) + list);
  std::string all = ExpectedList("/pics/p0.png", 1, 5, CurrentCriteria());
  EXPECT_EQ(Ask(QueryRequest(1, 100, "/pics/p0.png")), Status(0) + all);
  EXPECT_EQ(Ask(QueryRequest(1, 3, "/pics/missing.png")), Status(102));
}

TEST_F(ServerTest, QueryCriteriaText) {
  Criteria colourOnly{};
  colourOnly.value[kCoarseColour] = 100;
  std::string list = ExpectedList("/pics/p2.png", 1, 5, colourOnly);
  EXPECT_EQ(Ask(QueryRequest(1, 5, "/pics/p2.png", CriteriaText(colourOnly))), Status(0) + list);
  EXPECT_EQ(Ask(QueryRequest(1, 5, "/pics/p2.png", "1 2 3")), Status(100));
  EXPECT_EQ(Ask(QueryRequest(1, 5, "/pics/p2.png", "")),
            Status(0) + ExpectedList("/pics/p2.png", 1, 5, CurrentCriteria()));
}

TEST_F(ServerTest, KnownComparesTheFileTime) {
  EXPECT_EQ(Ask(KnownRequest("/pics/p1.png", 0)), Status(0));
  EXPECT_EQ(Ask(KnownRequest("/pics/p1.png", 1000)), Status(0));
  EXPECT_EQ(Ask(KnownRequest("/pics/p1.png", 1001)), Status(102));
  EXPECT_EQ(Ask(KnownRequest("/pics/none.png", 0)), Status(102));
  EXPECT_EQ(Ask(KnownRequest("/PICS/p1.png", 0)), Status(102));
  // A record marked by an update keeps its negated time; the comparison uses its value.
  ui.OnUi([&] { ui.Db().FindByPath("/pics/p1.png")->m_FileTime = -1000; });
  EXPECT_EQ(Ask(KnownRequest("/pics/p1.png", 1000)), Status(0));
}

TEST_F(ServerTest, AddStoresTheRecordWithThumbnailAndSignature) {
  ImageRecord* sent = RecordOf("/pics/new.png", GeneratedPicture(99));
  sent->m_FileTime = 4242;
  sent->m_ThumbOffset = 123456;  // an offset in the client's file means nothing here
  EXPECT_EQ(Ask(AddRequest(*sent)), Status(0));
  ui.OnUi([&] {
    ImageRecord* stored = ui.Db().FindByPath("/pics/new.png");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->m_FileTime, 4242);
    EXPECT_EQ(stored->m_ThumbOffset, -1);
    EXPECT_EQ(stored->m_PictureWidth, sent->m_PictureWidth);
    ASSERT_EQ(stored->m_ThumbWidth, sent->m_ThumbWidth);
    ASSERT_EQ(stored->m_ThumbHeight, sent->m_ThumbHeight);
    EXPECT_EQ(0, std::memcmp(stored->m_ThumbPixels, sent->m_ThumbPixels,
                             ThumbnailBytes(sent->m_ThumbWidth, sent->m_ThumbHeight)));
    EXPECT_EQ(0, std::memcmp(stored->m_Signature, sent->m_Signature, 103 * sizeof(int16_t)));
    EXPECT_EQ(ui.Db().Count(), 7);
  });
  EXPECT_EQ(Ask(KnownRequest("/pics/new.png", 4242)), Status(0));
  // Older record versions are read as the database reader reads them.
  sent->m_Path = "/pics/old4.png";
  EXPECT_EQ(Ask(AddRequest(*sent, 4)), Status(0));
  sent->m_Path = "/pics/old5.png";
  EXPECT_EQ(Ask(AddRequest(*sent, 5)), Status(0));
  // Those carry no signature and no picture size: both follow from the thumbnail.
  int16_t fromThumbnail[kSignatureLength] = {};
  ASSERT_TRUE(ComputeSignature(sent->m_ThumbWidth, sent->m_ThumbHeight, sent->m_ThumbPixels,
                               sent->m_ThumbWidth, sent->m_ThumbHeight, fromThumbnail));
  ui.OnUi([&] {
    for (const char* path : {"/pics/old4.png", "/pics/old5.png"}) {
      ImageRecord* stored = ui.Db().FindByPath(path);
      ASSERT_NE(stored, nullptr) << path;
      EXPECT_EQ(stored->m_PictureWidth, sent->m_ThumbWidth) << path;
      EXPECT_EQ(stored->m_PictureHeight, sent->m_ThumbHeight) << path;
      EXPECT_EQ(0, std::memcmp(stored->m_Signature, fromThumbnail, 103 * sizeof(int16_t))) << path;
    }
  });
  for (int32_t version : {3, 7}) {
    sent->m_Path = "/pics/v" + std::to_string(version) + ".png";
    EXPECT_EQ(Ask(AddRequest(*sent, version)), Status(100)) << version;
  }
  ui.OnUi([&] { EXPECT_EQ(ui.Db().Count(), 9); });
  DestroyRecord(sent);
}

// Paths that would break the one-path-per-line results and thumbnails the loader never
// makes are refused as soon as their head arrives, before any pixel is read.
TEST_F(ServerTest, AddRefusesPathsWithLineBreaksAndOversizedThumbnails) {
  struct Case {
    std::string path;
    int32_t width, height;
    bool stored;
  };
  const Case cases[] = {
      {"/pics/a.png\n/etc/shadow", 40, 30, false},
      {"/pics/b.png\r", 40, 30, false},
      {"\n/pics/c.png", 40, 30, false},
      {"/pics/d.png", 97, 30, false},
      {"/pics/e.png", 30, 97, false},
      {"/pics/f.png", 1024, 1024, false},
      {"/pics/g.png", 96, 96, true},
      {"/pics/h.png", 96, 1, true},
  };
  for (const Case& c : cases) {
    ImageRecord* record = MakeRecord(c.path, 1000);
    size_t bytes = static_cast<size_t>(ThumbnailBytes(c.width, c.height));
    SetRecordThumbnail(record, static_cast<uint8_t*>(std::calloc(bytes, 1)), c.width, c.height);
    std::string request = AddRequest(*record);
    RawClient client(port);
    client.Greet("GlimmerQuorum_x");
    client.Send(c.stored ? request : request.substr(0, request.size() - bytes));
    std::string line;
    ASSERT_TRUE(client.Line(&line)) << c.path << " " << c.width << "x" << c.height;
    EXPECT_EQ(line + "\n", Status(c.stored ? 0 : 100)) << c.path << " " << c.width;
    DestroyRecord(record);
  }
  ui.OnUi([&] { EXPECT_EQ(ui.Db().Count(), 8); });
}

TEST_F(ServerTest, AddWaitsWhileTheWindowIsBusy) {
  ImageRecord* sent = RecordOf("/pics/busy.png", GeneratedPicture(5));
  ui.OnUi([] { ++g_BusyCount; });
  RawClient client(port);
  client.Greet("GlimmerQuorum_x");
  client.Send(AddRequest(*sent));
  std::string line;
  EXPECT_FALSE(client.Line(&line, 300));
  ui.OnUi([] { --g_BusyCount; });
  ASSERT_TRUE(client.Line(&line));
  EXPECT_EQ(line + "\n", Status(0));
  ui.OnUi([&] { EXPECT_NE(ui.Db().FindByPath("/pics/busy.png"), nullptr); });
  DestroyRecord(sent);
}

TEST_F(ServerTest, OneConnectionCarriesManyCommands) {
  RawClient client(port);
  client.Greet("GlimmerQuorum_x");
  client.Send(KnownRequest("/pics/p1.png", 0) + QueryRequest(1, 2, "/pics/p3.png") +
              KnownRequest("/pics/zz.png", 0));
  client.ShutdownSending();
  EXPECT_EQ(client.Rest(), Status(0) + Status(0) +
                               ExpectedList("/pics/p3.png", 1, 2, CurrentCriteria()) + Status(102));
}

TEST_F(ServerTest, UnknownCommandWordsEndTheConnection) {
  const std::string longest(kMaxCommandLineLength, 'q');
  for (const std::string& word :
       {std::string("QUERY"), std::string(), std::string("add6"), std::string("known "), longest,
        longest + "q", std::string(200000, 'k')}) {
    RawClient client(port);
    client.Greet("GlimmerQuorum_x");
    client.Send(word + "\n" + KnownRequest("/pics/p1.png", 0));
    EXPECT_EQ(client.Rest(), Status(111)) << word.size() << " bytes";
  }
}

TEST_F(ServerTest, GreetingMustMatch) {
  // Another label, no label, other letter case: closed without a word.
  for (const char* instance : {"GlimmerQuorum_y", "", "glimmerquorum_x"}) {
    EXPECT_EQ(Ask(KnownRequest("/pics/p1.png", 0), instance), "") << instance;
  }
  {
    RawClient client(port);
    client.Send("glimmerquorum 0\nGlimmerQuorum_x\n\n" + KnownRequest("/pics/p1.png", 0));
    EXPECT_EQ(client.Rest(), "");
  }
  // Lines after the instance name are read up to the empty one.
  {
    RawClient client(port);
    client.Send("GlimmerQuorum 0 9.9\r\nGlimmerQuorum_x\r\nextra\nmore\n\n" +
                KnownRequest("/pics/p1.png", 0));
    client.ShutdownSending();
    EXPECT_EQ(client.Rest(), Status(0));
  }
  // A newer protocol number is refused with 667.
  for (const char* first : {"GlimmerQuorum 1 3.0", "GlimmerQuorum 99999999999999999999"}) {
    RawClient client(port);
    client.Send(std::string(first) + "\nGlimmerQuorum_x\n\n" + KnownRequest("/pics/p1.png", 0));
    EXPECT_EQ(client.Rest(), Status(667)) << first;
  }
}

TEST(ServerWithoutLabel, TalksOnlyToClientsWithoutLabel) {
  UiThread ui;
  ui.AddPicture("/a.png", 1);
  int port = ui.StartServer("");
  {
    RawClient client(port);
    client.Greet("");
    client.Send(KnownRequest("/a.png", 0));
    client.ShutdownSending();
    EXPECT_EQ(client.Rest(), Status(0));
  }
  RawClient labelled(port);
  labelled.Greet("GlimmerQuorum_x");
  labelled.Send(KnownRequest("/a.png", 0));
  EXPECT_EQ(labelled.Rest(), "");
}

// Each announced length is sent without its body, the sending direction left open.
// Beyond the bound the server answers 100 at once and closes, without waiting for (or
// allocating) the body; within it, it waits for the body.
TEST_F(ServerTest, HostileLengthPrefixes) {
  int baseline = OpenDescriptorCount();
  auto prefix = [](int32_t length) {
    std::string bytes = "query\n";
    AppendInt32(&bytes, 1);
    AppendInt32(&bytes, 5);
    AppendInt32(&bytes, length);
    return bytes;
  };
  auto criteriaPrefix = [](int32_t length) {
    std::string bytes = "query\n";
    AppendInt32(&bytes, 1);
    AppendInt32(&bytes, 5);
    AppendStringField(&bytes, "/pics/p1.png");
    AppendInt32(&bytes, length);
    return bytes;
  };
  auto knownPrefix = [](int32_t length) {
    std::string bytes = "known\n";
    AppendInt32(&bytes, length);
    return bytes;
  };
  struct Case {
    std::string bytes;
    bool refusedAtOnce;
  };
  const int32_t pathBound = static_cast<int32_t>(kMaxPathFieldBytes);
  const int32_t criteriaBound = static_cast<int32_t>(kMaxCriteriaFieldBytes);
  std::vector<Case> cases = {
      {prefix(1), false},
      {prefix(pathBound), false},
      {prefix(pathBound + 1), true},
      {prefix(INT32_MAX), true},
      {prefix(-1), true},
      {prefix(INT32_MIN), true},
      {knownPrefix(pathBound + 1), true},
      {knownPrefix(INT32_MAX), true},
      {criteriaPrefix(criteriaBound), false},
      {criteriaPrefix(criteriaBound + 1), true},
      {criteriaPrefix(INT32_MAX), true},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    RawClient client(port);
    client.Greet("GlimmerQuorum_x");
    client.Send(cases[i].bytes);
    std::string line;
    if (cases[i].refusedAtOnce) {
      ASSERT_TRUE(client.Line(&line)) << i;
      EXPECT_EQ(line + "\n", Status(100)) << i;
      EXPECT_TRUE(client.ClosedByServer()) << i;
    } else {
      EXPECT_FALSE(client.Line(&line, 200)) << i;
      client.ShutdownSending();
      EXPECT_EQ(client.Rest(), Status(100)) << i;
    }
  }
  // A zero length is no string at all (not even its zero byte): an empty path.
  EXPECT_EQ(Ask(prefix(0) + std::string(4, '\0')), Status(102));
  // An "add" whose thumbnail claims sides beyond what the file format allows.
  {
    ImageRecord* record = RecordOf("/pics/huge.png", GeneratedPicture(3));
    std::string request = AddRequest(*record);
    size_t thumbnailHead =
        request.size() - 12 -
        static_cast<size_t>(ThumbnailBytes(record->m_ThumbWidth, record->m_ThumbHeight));
    std::string hostile = request.substr(0, thumbnailHead);
    AppendInt32(&hostile, 30000);
    AppendInt32(&hostile, 30000);
    AppendInt32(&hostile, INT32_MAX);
    RawClient client(port);
    client.Greet("GlimmerQuorum_x");
    client.Send(hostile);
    std::string line;
    ASSERT_TRUE(client.Line(&line));
    EXPECT_EQ(line + "\n", Status(100));
    DestroyRecord(record);
  }
  EXPECT_EQ(Ask(KnownRequest("/pics/p1.png", 0)), Status(0));
  EXPECT_TRUE(DescriptorsBackTo(baseline));
}

// A valid session split into two sends at every byte gets the same answers.
TEST_F(ServerTest, SessionSplitAtEveryByte) {
  std::string session = GreetingText("GlimmerQuorum_x") + KnownRequest("/pics/p1.png", 1000) +
                        QueryRequest(2, 4, "/pics/p4.png", CriteriaText(CurrentCriteria())) +
                        KnownRequest("/pics/p9.png", 0);
  std::string expected =
      Status(0) + Status(0) + ExpectedList("/pics/p4.png", 2, 4, CurrentCriteria()) + Status(102);
  int baseline = OpenDescriptorCount();
  for (size_t split = 1; split < session.size(); ++split) {
    RawClient client(port);
    int one = 1;
    setsockopt(client.Stream().descriptor, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    client.Send(session.substr(0, split));
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    client.Send(session.substr(split));
    client.ShutdownSending();
    ASSERT_EQ(client.Rest(), expected) << "split at " << split;
  }
  // The "add" payload, split at every 97th byte.
  ImageRecord* record = RecordOf("/pics/split.png", GeneratedPicture(77));
  std::string add = GreetingText("GlimmerQuorum_x") + AddRequest(*record);
  for (size_t split = 1; split < add.size(); split += 97) {
    RawClient client(port);
    client.Send(add.substr(0, split));
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    client.Send(add.substr(split));
    client.ShutdownSending();
    ASSERT_EQ(client.Rest(), Status(0)) << "split at " << split;
  }
  DestroyRecord(record);
  EXPECT_TRUE(DescriptorsBackTo(baseline));
}

// Waits until at most `count` connections are being served.
void WaitActiveAtMost(Server* server, int count) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (server->ActiveConnections() > count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

TEST_F(ServerTest, AtMost64GreetedConnectionsAtOnce) {
  int baseline = OpenDescriptorCount();
  std::vector<std::unique_ptr<RawClient>> held;
  for (int i = 0; i < kMaxConnections; ++i) {
    held.push_back(std::make_unique<RawClient>(port));
    held.back()->Greet("GlimmerQuorum_x");
    held.back()->Send(KnownRequest("/pics/p1.png", 0));
    std::string line;
    ASSERT_TRUE(held.back()->Line(&line)) << i;  // answered, so it holds a greeted slot
  }
  EXPECT_EQ(Ask(KnownRequest("/pics/p1.png", 0)), "");
  held.erase(held.begin(), held.begin() + 4);
  WaitActiveAtMost(ui.ServerObject(), kMaxConnections - 4);
  EXPECT_EQ(Ask(KnownRequest("/pics/p1.png", 0)), Status(0));
  held.clear();
  EXPECT_TRUE(DescriptorsBackTo(baseline));
}

// Sockets that never greet wait in a pool of their own: a full pool refuses the next
// socket, and while it is nearly full a client that greets is still served.
TEST_F(ServerTest, SilentSocketsCannotCrowdOutGreetedClients) {
  int baseline = OpenDescriptorCount();
  std::vector<std::unique_ptr<RawClient>> silent;
  for (int i = 0; i < kMaxUngreetedConnections; ++i) {
    silent.push_back(std::make_unique<RawClient>(port));
  }
  EXPECT_EQ(Ask(KnownRequest("/pics/p1.png", 0)), "");
  silent.pop_back();
  WaitActiveAtMost(ui.ServerObject(), kMaxUngreetedConnections - 1);
  EXPECT_EQ(Ask(KnownRequest("/pics/p1.png", 0)), Status(0));
  silent.clear();
  EXPECT_TRUE(DescriptorsBackTo(baseline));
}

// Clients that stop in the middle of a command's fields hold no slot: each is answered
// 100 and closed once its fields stand still for the stall limit.
TEST(ServerStall, ClientsStoppingMidwayFreeTheirSlots) {
  UiThread ui;
  ui.AddPicture("/a.png", 1);
  int port = ui.StartServer("GlimmerQuorum_x", 100);
  std::vector<std::unique_ptr<RawClient>> stalled;
  for (int i = 0; i < kMaxConnections; ++i) {
    stalled.push_back(std::make_unique<RawClient>(port));
    stalled.back()->Greet("GlimmerQuorum_x");
    stalled.back()->Send(i % 2 ? std::string("known\n\x07\0", 8)
                               : std::string("query\n\x01\0\0\0\x05", 11));
  }
  for (auto& client : stalled) {
    std::string line;
    ASSERT_TRUE(client->Line(&line));
    EXPECT_EQ(line + "\n", StatusLine(100, StatusText(100)));
    EXPECT_TRUE(client->ClosedByServer());
  }
  RawClient late(port);
  late.Greet("GlimmerQuorum_x");
  late.Send(KnownRequest("/a.png", 0));
  std::string line;
  ASSERT_TRUE(late.Line(&line));
  EXPECT_EQ(line + "\n", StatusLine(0, StatusText(0)));
}

TEST_F(ServerTest, SilentPeerIsClosedAfterTheGreetingBudget) {
  RawClient silent(port);
  RawClient slow(port);
  slow.Send("GlimmerQuorum 0");
  EXPECT_TRUE(silent.ClosedByServer(kGreetingBudgetMs + 3000));
  EXPECT_TRUE(slow.ClosedByServer(3000));
  EXPECT_EQ(Ask(KnownRequest("/pics/p1.png", 0)), Status(0));
}

TEST_F(ServerTest, StopEndsLiveConnectionsAndFreesDescriptors) {
  int baseline = OpenDescriptorCount();
  RawClient idle(port);
  idle.Greet("GlimmerQuorum_x");
  RawClient greeting(port);
  greeting.Send("GlimmerQuorum 0\n");
  RawClient waiting(port);
  waiting.Greet("GlimmerQuorum_x");
  waiting.Send("query\n");
  idle.Send(KnownRequest("/pics/p1.png", 0));
  std::string line;
  ASSERT_TRUE(idle.Line(&line));
  ui.StopServer();
  EXPECT_TRUE(idle.ClosedByServer());
  EXPECT_TRUE(greeting.ClosedByServer());
  EXPECT_TRUE(waiting.ClosedByServer());
  // The three client sockets are still open here; the server's side and its listening
  // socket are gone.
  EXPECT_TRUE(DescriptorsBackTo(baseline + 3 - 1));
}

}  // namespace
}  // namespace gq::test

namespace gq {
namespace {

TEST(ReadCommand, AnIdlePeerEndsTheConnectionAfterTheIdleBudget) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  CommandStream stream{pair[0], kStreamSocket};
  EXPECT_EQ(ReadCommand(stream, 100), nullptr);  // nothing arrives: none after 100 ms
  ASSERT_EQ(write(pair[1], "known\n", 6), 6);
  shutdown(pair[1], SHUT_WR);
  EXPECT_EQ(ReadCommand(stream, 100), nullptr);  // the fields never come: status 100
  char reply[64] = {};
  ASSERT_GT(read(pair[1], reply, sizeof reply - 1), 0);
  EXPECT_EQ(std::string(reply).rfind("!status: 100 - ", 0), 0u) << reply;
  close(pair[0]);
  close(pair[1]);
}

}  // namespace
}  // namespace gq
