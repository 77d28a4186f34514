// The connecting side of a TCP connection (IPv4): resolves the host, connects and offers
// the connection as a command stream. Owned by the one request that uses it (the
// command-line client); one thread at a time. Failures go to standard error through the
// socket error reporter; the caller sees -1.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "base/CommandStream.h"

namespace gq {

class ClientSocket {
 public:
  ClientSocket() = default;
  ~ClientSocket();  // closes gracefully when still connected
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  // Resolves the host (a name, or a dotted IPv4 address taken as it is, without a
  // reverse lookup) and connects to the port. 0 on success, -1 on failure. A socket that
  // is already connected stays as it is and the call returns 0.
  int Connect(const std::string& host, int port);
  // Closes the connection gracefully; afterwards the socket is -1 again.
  void Close();

  int Socket() const { return m_Socket; }
  CommandStream Stream() const { return {m_Socket, kStreamSocket}; }
  // The peer's address, port in network order; valid after a successful connect.
  const sockaddr_in& PeerAddress() const { return m_PeerAddress; }
  // The canonical name of the resolved host entry.
  const std::string& HostName() const { return m_HostName; }

 private:
  bool Resolve(const std::string& host);

  int32_t m_Socket = -1;
  sockaddr_in m_PeerAddress{};
  std::string m_HostName;
};

}  // namespace gq
