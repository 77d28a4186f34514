// Test helpers for the socket layer: a listener on 127.0.0.1 that greets and keeps each
// connection it accepts, running its accept loop on a thread of its own, and a free
// loopback port.
#pragma once

#include <netinet/in.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "remote/ListenSocket.h"

namespace gq {

// A port on 127.0.0.1 that nothing listens on right now.
int FreeLoopbackPort();

// Connects a plain socket to 127.0.0.1:port, retrying while nothing listens there yet
// (up to two seconds). The socket, or -1.
int ConnectToLoopbackWhenListening(int port);

class LoopbackServer : public ListenSocket {
 public:
  LoopbackServer() : ListenSocket(INADDR_LOOPBACK) {}
  ~LoopbackServer() override;

  // Runs the accept loop on its own thread on a free port; returns the port.
  int Start();
  // Requests the stop, joins the accept thread and returns the loop's result.
  int Stop();
  // Waits up to two seconds until count connections were accepted and hands their
  // sockets over to the caller, who closes them.
  std::vector<int> TakeConnections(size_t count);

 protected:
  // Writes "hello" and a line feed to the new connection and keeps it.
  void HandleConnection(int socket) override;

 private:
  std::thread m_AcceptThread;
  int m_LoopResult = 0;
  std::mutex m_Lock;
  std::condition_variable m_Accepted;
  std::vector<int> m_Connections;  // not yet taken; guarded by m_Lock
};

}  // namespace gq
