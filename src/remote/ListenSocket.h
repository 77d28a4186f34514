// The listening side of the TCP server (IPv4): binds a port, accepts connections in a
// loop and hands each accepted socket to the connection handler of a derived class (the
// server). The accept loop runs on one thread (the accept thread); RequestStop may be
// called from any other thread. The owner stops the loop and joins its thread before
// destroying the object.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace gq {

// PrepareListen results.
enum ListenResult {
  kListenOk = 0,
  kListenAlreadyPrepared = -1,
  kListenSocketFailed = -2,
  kListenBindFailed = -3,
  kListenGetNameFailed = -4,
  kListenListenFailed = -5,
};

// The backlog that asks for the system's maximum.
inline constexpr int kMaxBacklog = 0x7fffffff;

class ListenSocket {
 public:
  // bindAddress (host order): INADDR_ANY serves every interface; INADDR_LOOPBACK only
  // this machine.
  explicit ListenSocket(uint32_t bindAddress = INADDR_ANY);
  virtual ~ListenSocket();  // closes the listening socket gracefully when still open
  ListenSocket(const ListenSocket&) = delete;
  ListenSocket& operator=(const ListenSocket&) = delete;

  // Creates the socket, binds it to the port (0: any free port), reads back the port
  // actually bound and listens. Returns a ListenResult; failures are reported on standard
  // error with their context, and on -3 to -5 the socket is closed again.
  int PrepareListen(int backlog, int port);

  // Listens, then accepts connections and passes each to HandleConnection until a stop
  // is requested; then closes the listening socket and clears the stop request. Returns
  // 0, or the PrepareListen code after writing "prepare_listen(maxconnect) failed".
  int AcceptLoop(int backlog, int port);

  // Asks the accept loop to end and wakes it from a blocked accept.
  void RequestStop();

  // The port actually bound (host order); 0 before PrepareListen succeeded. Any thread.
  int Port() const { return m_Port.load(); }
  const sockaddr_in& BoundAddress() const { return m_Address; }

 protected:
  // Receives each accepted connection and owns it from then on. Runs on the accept thread;
  // must return quickly (a server starts a connection thread here).
  virtual void HandleConnection(int socket) = 0;

 private:
  void CloseListeningSocket();

  const uint32_t m_BindAddress;
  std::mutex m_SocketLock;          // guards m_Socket against a stop request while it closes
  int32_t m_Socket = -1;            // guarded by m_SocketLock
  sockaddr_in m_Address{};          // written by PrepareListen before the accept loop runs
  std::atomic<bool> m_Stop{false};  // checked before each accept
  std::atomic<int> m_Port{0};       // read by any thread
};

}  // namespace gq
