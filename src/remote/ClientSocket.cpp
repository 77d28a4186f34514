#include "remote/ClientSocket.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/FullTransfer.h"
#include "remote/GracefulClose.h"
#include "remote/SocketErrors.h"

namespace gq {
namespace {

// connect() interrupted by a signal goes on in the background; wait for its outcome.
bool ConnectSocket(int socket, const sockaddr_in& address) {
  if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return true;
  }
  if (errno != EINTR) return false;
  pollfd entry{socket, POLLOUT, 0};
  if (RetryOnInterrupt([&] { return poll(&entry, 1, -1); }) < 0) return false;
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) < 0) return false;
  errno = error;
  return error == 0;
}

}  // namespace

ClientSocket::~ClientSocket() { Close(); }

void ClientSocket::Close() {
  if (m_Socket < 0) return;
  GracefulClose(m_Socket);
  m_Socket = -1;
}

// getaddrinfo takes a dotted address as it is, so an address works even when no name is
// registered for it.
bool ClientSocket::Resolve(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0) {
    SetPendingLookupError(result, errno);
    std::fprintf(stderr, "%s: error#%d\n", host.c_str(), PendingSocketError());
    std::fprintf(stderr, "%s: unknown host\n", host.c_str());
    ClearPendingSocketError();
    return false;
  }
  std::memcpy(&m_PeerAddress, found->ai_addr, sizeof m_PeerAddress);
  m_HostName = found->ai_canonname ? found->ai_canonname : host;
  freeaddrinfo(found);
  return true;
}

int ClientSocket::Connect(const std::string& host, int port) {
  if (m_Socket >= 0) return 0;
  if (!Resolve(host)) return -1;
  if (PendingSocketError() != 0) ReportSocketError("ignoring errno");
  if (port < 0 || port > 65535) {
    SetPendingSocketError(EINVAL);
    ReportSocketError("connect");
    return -1;
  }
  m_PeerAddress.sin_port = htons(static_cast<uint16_t>(port));
  int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) {
    SetPendingSocketError(errno);
    ReportSocketError("socket");
    return -1;
  }
  if (!ConnectSocket(socket, m_PeerAddress)) {
    SetPendingSocketError(errno);
    ReportSocketError("connect");
    GracefulClose(socket);
    return -1;
  }
  m_Socket = socket;
  return 0;
}

}  // namespace gq
