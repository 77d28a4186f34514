#include "remote/ListenSocket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "remote/GracefulClose.h"
#include "remote/SocketErrors.h"

namespace gq {
namespace {

// A failing accept (no descriptors left, say) is retried after this pause, so a lasting
// failure does not turn the accept thread into a busy loop.
constexpr auto kAcceptRetryPause = std::chrono::milliseconds(10);

}  // namespace

ListenSocket::ListenSocket(uint32_t bindAddress) : m_BindAddress(bindAddress) {}

ListenSocket::~ListenSocket() { CloseListeningSocket(); }

int ListenSocket::PrepareListen(int backlog, int port) {
  std::lock_guard<std::mutex> guard(m_SocketLock);
  if (m_Socket >= 0) {
    ReportSocketError("prepare_listen: already prepared");
    return kListenAlreadyPrepared;
  }
  int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) {
    SetPendingSocketError(errno);
    ReportSocketError("opening stream socket");
    return kListenSocketFailed;
  }
  // Lets a restarted server bind while connections of the last run linger in TIME_WAIT,
  // as a restarted server can elsewhere; a port another socket listens on stays taken.
  int reuse = 1;
  setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  auto fail = [socket](int errnoValue, const char* context, int code) {
    SetPendingSocketError(errnoValue);
    ReportSocketError(context);
    GracefulClose(socket);
    return code;
  };
  if (port < 0 || port > 65535) return fail(EINVAL, "binding stream socket", kListenBindFailed);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(m_BindAddress);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
    return fail(errno, "binding stream socket", kListenBindFailed);
  }
  socklen_t length = sizeof address;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) < 0) {
    return fail(errno, "getting socket name", kListenGetNameFailed);
  }
  if (listen(socket, backlog) < 0) return fail(errno, "listen", kListenListenFailed);
  m_Socket = socket;
  m_Address = address;
  m_Port = ntohs(address.sin_port);
  return kListenOk;
}

int ListenSocket::AcceptLoop(int backlog, int port) {
  int prepared = PrepareListen(backlog, port);
  if (prepared != kListenOk) {
    std::fputs("prepare_listen(maxconnect) failed\n", stderr);
    return prepared;
  }
  while (!m_Stop.load()) {
    int connection = accept4(m_Socket, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection >= 0) {
      HandleConnection(connection);
      continue;
    }
    if (m_Stop.load()) break;  // woken by RequestStop
    SetPendingSocketError(errno);
    ReportSocketError("accept() connection");
    std::this_thread::sleep_for(kAcceptRetryPause);
  }
  CloseListeningSocket();
  m_Stop.store(false);
  return kListenOk;
}

void ListenSocket::RequestStop() {
  std::lock_guard<std::mutex> guard(m_SocketLock);
  m_Stop.store(true);
  // A listening socket that is shut down makes a blocked accept return at once.
  if (m_Socket >= 0) shutdown(m_Socket, SHUT_RDWR);
}

void ListenSocket::CloseListeningSocket() {
  std::lock_guard<std::mutex> guard(m_SocketLock);
  if (m_Socket < 0) return;
  GracefulClose(m_Socket);
  m_Socket = -1;
}

}  // namespace gq
