#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/CommandStream.h"
#include "loopback_server.h"
#include "remote/ListenSocket.h"

namespace gq {
namespace {

std::string ReadGreeting(int socket) {
  std::string line;
  int32_t budget = 2000;
  ReadLine({socket, kStreamSocket}, &line, &budget);
  return line;
}

TEST(ListenSocket, PrepareBindsReadsBackThePortAndRefusesASecondPrepare) {
  LoopbackServer server;
  EXPECT_EQ(server.Port(), 0);
  ASSERT_EQ(server.PrepareListen(5, 0), kListenOk);
  EXPECT_GT(server.Port(), 0);
  EXPECT_EQ(ntohs(server.BoundAddress().sin_port), server.Port());
  EXPECT_EQ(ntohl(server.BoundAddress().sin_addr.s_addr), INADDR_LOOPBACK);

  testing::internal::CaptureStderr();
  EXPECT_EQ(server.PrepareListen(5, 0), kListenAlreadyPrepared);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  int client = ConnectToLoopbackWhenListening(server.Port());  // it really listens
  EXPECT_GE(client, 0);
  close(client);
}

TEST(ListenSocket, PortInUseFailsWithTheBindCodeAndNamesEaddrinuse) {
  LoopbackServer first;
  ASSERT_EQ(first.PrepareListen(5, 0), kListenOk);
  LoopbackServer second;
  testing::internal::CaptureStderr();
  EXPECT_EQ(second.PrepareListen(5, first.Port()), kListenBindFailed);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "binding stream socket: Address already in use\n"
            "binding stream socket: Address already in use (EADDRINUSE,10048)\n");
  EXPECT_EQ(second.Port(), 0);
  // The failed socket was closed again, so the object can still be prepared.
  EXPECT_EQ(second.PrepareListen(5, 0), kListenOk);

  LoopbackServer third;
  testing::internal::CaptureStderr();
  EXPECT_EQ(third.AcceptLoop(kMaxBacklog, first.Port()), kListenBindFailed);
  std::string output = testing::internal::GetCapturedStderr();
  EXPECT_NE(output.find("(EADDRINUSE,10048)\nprepare_listen(maxconnect) failed\n"),
            std::string::npos)
      << output;
}

TEST(ListenSocket, PortOutOfRangeIsABindFailure) {
  LoopbackServer server;
  testing::internal::CaptureStderr();
  EXPECT_EQ(server.PrepareListen(5, 70000), kListenBindFailed);
  std::string output = testing::internal::GetCapturedStderr();
  EXPECT_NE(output.find("binding stream socket: error EINVAL (10022)\n"), std::string::npos)
      << output;
}

TEST(ListenSocket, AcceptLoopHandsOverEachConnectionUntilStopped) {
  LoopbackServer server;
  int port = server.Start();
  int clients[3];
  for (int& client : clients) {
    client = ConnectToLoopbackWhenListening(port);
    ASSERT_GE(client, 0);
    EXPECT_EQ(ReadGreeting(client), "hello");
  }
  std::vector<int> accepted = server.TakeConnections(3);
  EXPECT_EQ(accepted.size(), 3u);
  EXPECT_EQ(server.Stop(), 0);  // wakes the accept that is blocked by now
  for (int client : clients) close(client);
  for (int connection : accepted) close(connection);

  // The listening socket is closed and the stop request cleared: a new loop on the same
  // object serves again instead of ending at once.
  int refused = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  EXPECT_NE(connect(refused, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(refused);

  int newPort = server.Start();
  int late = ConnectToLoopbackWhenListening(newPort);
  ASSERT_GE(late, 0);
  EXPECT_EQ(ReadGreeting(late), "hello");
  accepted = server.TakeConnections(1);
  EXPECT_EQ(accepted.size(), 1u);
  EXPECT_EQ(server.Stop(), 0);
  close(late);
  for (int connection : accepted) close(connection);
}

TEST(ListenSocket, StopRequestedBeforeTheLoopEndsItAtOnce) {
  LoopbackServer server;
  server.RequestStop();
  EXPECT_EQ(server.AcceptLoop(5, 0), 0);
  EXPECT_TRUE(server.TakeConnections(0).empty());
}

}  // namespace
}  // namespace gq
