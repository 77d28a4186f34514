#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/CommandStream.h"
#include "loopback_server.h"
#include "remote/GracefulClose.h"

namespace gq {
namespace {

// A connected pair on 127.0.0.1: the client end and the accepted server end.
struct Connection {
  LoopbackServer server;
  int client = -1;
  int accepted = -1;
  Connection() {
    client = ConnectToLoopbackWhenListening(server.Start());
    std::vector<int> connections = server.TakeConnections(1);
    if (connections.size() == 1) accepted = connections[0];
    std::string greeting;
    int32_t budget = 2000;
    ReadLine({client, kStreamSocket}, &greeting, &budget);
  }
  ~Connection() {
    if (client >= 0) close(client);
  }
};

TEST(GracefulClose, EverythingWrittenBeforeArrivesDespiteUnreadInput) {
  Connection connection;
  ASSERT_GE(connection.accepted, 0);
  // The peer sent bytes that are never read; a plain close would answer with a reset
  // that can destroy the reply still on its way.
  ASSERT_EQ(send(connection.client, "ignored", 7, 0), 7);
  std::string reply(512 * 1024, 'r');
  std::string received;
  int64_t last = 0;
  std::thread reader([&] {
    char block[4096];
    while ((last = ReadSome({connection.client, kStreamSocket}, block, sizeof block)) > 0) {
      received.append(block, static_cast<size_t>(last));
    }
  });
  CommandStream server{connection.accepted, kStreamSocket};
  EXPECT_EQ(Write(server, reply.data(), reply.size()), static_cast<int64_t>(reply.size()));
  GracefulClose(connection.accepted);
  reader.join();
  EXPECT_EQ(last, 0);  // a clean end, no reset
  EXPECT_EQ(received.size(), reply.size());
}

TEST(GracefulClose, APeerThatKeepsSendingCannotHoldIt) {
  Connection connection;
  ASSERT_GE(connection.accepted, 0);
  std::thread flood([&] {
    std::string block(64 * 1024, 'f');
    while (send(connection.client, block.data(), block.size(), MSG_NOSIGNAL) > 0) {
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the flood fill the buffers
  auto start = std::chrono::steady_clock::now();
  GracefulClose(connection.accepted);
  auto elapsed = std::chrono::steady_clock::now() - start;
  flood.join();  // ends when its sends fail on the closed connection
  EXPECT_LT(elapsed, std::chrono::seconds(2));
}

}  // namespace
}  // namespace gq
