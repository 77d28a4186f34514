#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "loopback_server.h"
#include "remote/ClientSocket.h"
#include "remote/SocketErrors.h"

namespace gq {
namespace {

class ClientSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Port = m_Server.Start();
    int probe = ConnectToLoopbackWhenListening(m_Port);  // the loop listens from here on
    ASSERT_GE(probe, 0);
    close(probe);
    Keep(m_Server.TakeConnections(1));
  }
  void TearDown() override {
    m_Server.Stop();
    for (int connection : m_Accepted) close(connection);
  }
  void Keep(const std::vector<int>& connections) {
    m_Accepted.insert(m_Accepted.end(), connections.begin(), connections.end());
  }
  std::string ReadLineFrom(const CommandStream& stream) {
    std::string line;
    int32_t budget = 2000;
    EXPECT_TRUE(ReadLine(stream, &line, &budget));
    return line;
  }

  LoopbackServer m_Server;
  int m_Port = 0;
  std::vector<int> m_Accepted;
};

TEST_F(ClientSocketTest, ConnectsByAddressAndTalks) {
  ClientSocket client;
  EXPECT_EQ(client.Socket(), -1);
  testing::internal::CaptureStderr();
  ASSERT_EQ(client.Connect("127.0.0.1", m_Port), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_GE(client.Socket(), 0);
  EXPECT_EQ(client.PeerAddress().sin_port, htons(static_cast<uint16_t>(m_Port)));
  EXPECT_EQ(client.PeerAddress().sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(client.HostName(), "127.0.0.1");
  EXPECT_EQ(ReadLineFrom(client.Stream()), "hello");

  std::vector<int> accepted = m_Server.TakeConnections(1);
  ASSERT_EQ(accepted.size(), 1u);
  Keep(accepted);
  EXPECT_TRUE(WriteLine(client.Stream(), "query"));
  EXPECT_EQ(ReadLineFrom({accepted[0], kStreamSocket}), "query");

  // A second connect leaves the existing connection alone, wherever it points.
  int socket = client.Socket();
  EXPECT_EQ(client.Connect("localhost", 1), 0);
  EXPECT_EQ(client.Socket(), socket);

  client.Close();
  EXPECT_EQ(client.Socket(), -1);
  char byte;
  EXPECT_EQ(ReadSome({accepted[0], kStreamSocket}, &byte, 1), 0);  // the server sees the end
}

TEST_F(ClientSocketTest, ConnectsByName) {
  ClientSocket client;
  ASSERT_EQ(client.Connect("localhost", m_Port), 0);
  EXPECT_EQ(client.PeerAddress().sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(ReadLineFrom(client.Stream()), "hello");
  Keep(m_Server.TakeConnections(1));
}

TEST_F(ClientSocketTest, ErrorLeftPendingBeforeIsReportedAndIgnored) {
  SetPendingSocketError(ETIMEDOUT);
  ClientSocket client;
  testing::internal::CaptureStderr();
  EXPECT_EQ(client.Connect("127.0.0.1", m_Port), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ignoring errno: " + std::string(std::strerror(ETIMEDOUT)) +
                "\nignoring errno: Connection timed out (ETIMEDOUT,10060)\n");
  EXPECT_EQ(PendingSocketError(), 0);
  Keep(m_Server.TakeConnections(1));
}

TEST(ClientSocket, RefusedConnectionIsReportedAndLeavesNoSocket) {
  ClientSocket client;
  testing::internal::CaptureStderr();
  EXPECT_EQ(client.Connect("127.0.0.1", FreeLoopbackPort()), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "connect: Connection refused\nconnect: Connection refused (ECONNREFUSED,10061)\n");
  EXPECT_EQ(client.Socket(), -1);
  EXPECT_EQ(PendingSocketError(), 0);
}

TEST(ClientSocket, UnknownHostAndBadPortFail) {
  ClientSocket client;
  testing::internal::CaptureStderr();
  EXPECT_EQ(client.Connect("", 80), -1);  // refused by the resolver without any query
  EXPECT_EQ(testing::internal::GetCapturedStderr(), ": error#11001\n: unknown host\n");
  EXPECT_EQ(PendingSocketError(), 0);

  testing::internal::CaptureStderr();
  EXPECT_EQ(client.Connect("127.0.0.1", 70000), -1);
  std::string output = testing::internal::GetCapturedStderr();
  EXPECT_NE(output.find("connect: error EINVAL (10022)\n"), std::string::npos) << output;
  EXPECT_EQ(client.Socket(), -1);
}

}  // namespace
}  // namespace gq
