// The TCP server of a running instance: an accept thread that runs the listening
// socket's accept loop, and one connection thread per accepted connection that reads
// the greeting and the commands and has each command executed on the user-interface
// thread by a sent MsgRunOnUiThread. Connections that have not greeted yet wait in a
// pool of their own (at most kMaxUngreetedConnections, each for the greeting budget), so
// silent sockets cannot crowd out clients that know the label; at most kMaxConnections
// greeted ones are served at once. A connection beyond either bound is closed without a
// word. Created, started and stopped on the
// user-interface thread (the owner of the main window); Stop ends and joins every
// thread it started, so no descriptor or thread outlives the server.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/MessageWindow.h"
#include "remote/ListenSocket.h"
#include "remote/Protocol.h"

namespace gq {

class RemoteCommand;

inline constexpr int kMaxConnections = 64;
inline constexpr int kMaxUngreetedConnections = 256;

class Server : public ListenSocket {
 public:
  // window: the main window that runs the commands. instanceName: the label a client's
  // greeting must carry (copied). bindAddress in host order. stallLimitMs: how long a
  // command's fields or its reply may stand still before the connection ends.
  Server(MessageTarget window, std::string instanceName, uint32_t bindAddress = INADDR_ANY,
         int32_t stallLimitMs = kTransferStallLimitMs);
  ~Server() override;  // stops

  // Starts the accept thread on the port (0: any free port). False when the thread
  // could not be created or the server runs already. A port that cannot be bound is
  // reported on standard error by the accept thread, which then ends.
  bool Start(int port);
  // Waits until the socket listens and returns the port, or 0 when the accept loop
  // ended or the time passed.
  int WaitListening(std::chrono::milliseconds timeout) const;
  // Ends the accept loop, wakes every connection (its socket is shut down) and joins all
  // threads, handling the messages they send meanwhile. Safe to call twice.
  void Stop();

  // Connections being served right now (any thread).
  int ActiveConnections() const;

 protected:
  void HandleConnection(int socket) override;

 private:
  struct Connection {
    int socket;            // guarded by m_Lock; -1 once its thread closes it
    bool greeted = false;  // guarded by m_Lock; set when it is admitted to the commands
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  void Serve(Connection* connection);
  void ServeCommands(const CommandStream& stream);
  bool AdmitGreeted(Connection* connection);
  int ActiveLocked(bool greeted) const;
  bool RunOnUiThread(std::unique_ptr<RemoteCommand> command, std::string* reply);
  void CloseConnection(Connection* connection);
  void JoinFinishedLocked();

  MessageTarget m_Window;
  const std::string m_InstanceName;
  const int32_t m_StallLimitMs;
  std::thread m_AcceptThread;
  std::atomic<bool> m_AcceptLoopEnded{false};
  std::atomic<bool> m_Stopping{false};
  mutable std::mutex m_Lock;
  std::list<Connection> m_Connections;  // guarded by m_Lock
};

}  // namespace gq
