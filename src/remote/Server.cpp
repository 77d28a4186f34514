#include "remote/Server.h"

#include <sys/socket.h>

#include <system_error>

#include "frame/Messages.h"
#include "frame/StatusLine.h"
#include "remote/GracefulClose.h"
#include "remote/Protocol.h"
#include "remote/RemoteCommand.h"
#include "remote/StatusIO.h"

namespace gq {
namespace {

// A busy window is asked again after this pause, as the loader does.
constexpr auto kBusyRetry = std::chrono::milliseconds(100);
// How long Stop waits for woken connections before joining them regardless.
constexpr auto kStopWait = std::chrono::seconds(10);

}  // namespace

Server::Server(MessageTarget window, std::string instanceName, uint32_t bindAddress,
               int32_t stallLimitMs)
    : ListenSocket(bindAddress),
      m_Window(std::move(window)),
      m_InstanceName(std::move(instanceName)),
      m_StallLimitMs(stallLimitMs) {}

Server::~Server() { Stop(); }

bool Server::Start(int port) {
  if (m_AcceptThread.joinable()) return false;
  m_Stopping = false;
  m_AcceptLoopEnded = false;
  try {
    m_AcceptThread = std::thread([this, port] {
      AcceptLoop(kMaxBacklog, port);
      m_AcceptLoopEnded = true;
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

int Server::WaitListening(std::chrono::milliseconds timeout) const {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Port() == 0 && !m_AcceptLoopEnded && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return m_AcceptLoopEnded ? 0 : Port();
}

void Server::Stop() {
  m_Stopping = true;
  if (m_AcceptThread.joinable()) {
    RequestStop();
    m_AcceptThread.join();
  }
  {
    std::lock_guard<std::mutex> guard(m_Lock);
    for (Connection& connection : m_Connections) {
      if (connection.socket >= 0) shutdown(connection.socket, SHUT_RDWR);
    }
  }
  // A connection thread may be waiting for this thread to run its command.
  WaitHandlingSent([this] { return ActiveConnections() == 0; }, kStopWait);
  std::lock_guard<std::mutex> guard(m_Lock);
  for (Connection& connection : m_Connections) connection.thread.join();
  m_Connections.clear();
}

int Server::ActiveConnections() const {
  std::lock_guard<std::mutex> guard(m_Lock);
  return ActiveLocked(false) + ActiveLocked(true);
}

int Server::ActiveLocked(bool greeted) const {
  int active = 0;
  for (const Connection& connection : m_Connections) {
    active += !connection.finished && connection.greeted == greeted ? 1 : 0;
  }
  return active;
}

void Server::JoinFinishedLocked() {
  for (auto it = m_Connections.begin(); it != m_Connections.end();) {
    if (it->finished) {
      it->thread.join();
      it = m_Connections.erase(it);
    } else {
      ++it;
    }
  }
}

void Server::HandleConnection(int socket) {
  std::lock_guard<std::mutex> guard(m_Lock);
  JoinFinishedLocked();
  if (m_Stopping || ActiveLocked(false) >= kMaxUngreetedConnections) {
    GracefulClose(socket);
    return;
  }
  Connection& connection = m_Connections.emplace_back();
  connection.socket = socket;
  try {
    connection.thread = std::thread([this, &connection] { Serve(&connection); });
  } catch (const std::system_error&) {
    m_Connections.pop_back();
    GracefulClose(socket);
  }
}

void Server::CloseConnection(Connection* connection) {
  int socket = -1;
  {
    std::lock_guard<std::mutex> guard(m_Lock);
    socket = connection->socket;
    connection->socket = -1;
  }
  GracefulClose(socket);
  connection->finished = true;
}

bool Server::AdmitGreeted(Connection* connection) {
  std::lock_guard<std::mutex> guard(m_Lock);
  if (ActiveLocked(true) >= kMaxConnections) return false;
  connection->greeted = true;
  return true;
}

void Server::Serve(Connection* connection) {
  CommandStream stream;
  {
    std::lock_guard<std::mutex> guard(m_Lock);
    stream = {connection->socket, kStreamSocket, m_StallLimitMs};
  }
  int32_t peerProtocol = 0;
  if (ReadGreeting(stream, m_InstanceName, &peerProtocol)) {
    if (peerProtocol > kProtocolNumber) {
      WriteStatus(stream, kStatusIncompatibleProtocol, StatusText(kStatusIncompatibleProtocol));
    } else if (AdmitGreeted(connection)) {
      ServeCommands(stream);
    }
  }
  CloseConnection(connection);
}

void Server::ServeCommands(const CommandStream& stream) {
  for (;;) {
    std::unique_ptr<RemoteCommand> command = ReadCommand(stream);
    std::string reply;
    if (!command || !RunOnUiThread(std::move(command), &reply)) return;
    if (Write(stream, reply.data(), reply.size()) != static_cast<int64_t>(reply.size())) return;
  }
}

bool Server::RunOnUiThread(std::unique_ptr<RemoteCommand> command, std::string* reply) {
  CommandDelivery delivery{command.get(), reply};
  for (;;) {
    intptr_t result = m_Window.Send(MsgRunOnUiThread, reinterpret_cast<uintptr_t>(this),
                                    reinterpret_cast<intptr_t>(&delivery));
    if (result == kCommandExecuted) {
      command.release();  // the window destroyed it
      return true;
    }
    if (result != kCommandBusy || m_Stopping) return false;
    std::this_thread::sleep_for(kBusyRetry);
  }
}

}  // namespace gq
