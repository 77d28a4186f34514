#include "loopback_server.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <utility>

#include "base/CommandStream.h"

namespace gq {
namespace {

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

}  // namespace

int FreeLoopbackPort() {
  int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof address;
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  close(probe);
  return ntohs(address.sin_port);
}

int ConnectToLoopbackWhenListening(int port) {
  sockaddr_in address = LoopbackAddress(port);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < deadline) {
    int client = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      return client;
    }
    close(client);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return -1;
}

LoopbackServer::~LoopbackServer() {
  if (m_AcceptThread.joinable()) Stop();
  for (int connection : m_Connections) close(connection);
}

int LoopbackServer::Start() {
  int port = FreeLoopbackPort();
  m_AcceptThread = std::thread([this, port] { m_LoopResult = AcceptLoop(kMaxBacklog, port); });
  return port;
}

int LoopbackServer::Stop() {
  RequestStop();
  m_AcceptThread.join();
  return m_LoopResult;
}

std::vector<int> LoopbackServer::TakeConnections(size_t count) {
  std::unique_lock<std::mutex> lock(m_Lock);
  m_Accepted.wait_for(lock, std::chrono::seconds(2),
                      [this, count] { return m_Connections.size() >= count; });
  return std::move(m_Connections);
}

void LoopbackServer::HandleConnection(int socket) {
  WriteLine({socket, kStreamSocket}, "hello");
  std::lock_guard<std::mutex> guard(m_Lock);
  m_Connections.push_back(socket);
  m_Accepted.notify_all();
}

}  // namespace gq
