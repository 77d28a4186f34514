// Test helpers for the server and client protocol: a user-interface thread that owns a
// headless host with a database, a search engine, the loading handlers and the remote
// handlers, with a server on 127.0.0.1; a raw protocol client over a plain socket; and
// the count of open descriptors of the process.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "db/ImageRecordDB.h"
#include "base/CommandStream.h"
#include "remote/RemoteCommand.h"
#include "remote/Server.h"
#include "search/SearchEngine.h"

namespace gq::test {

// Open descriptors of this process.
int OpenDescriptorCount();

// Waits up to timeoutMs for the descriptor count to come back to baseline (threads
// close their sockets a moment after their peer saw the end).
bool DescriptorsBackTo(int baseline, int timeoutMs = 3000);

// The user-interface thread of a running instance. Everything on it runs through OnUi.
class UiThread {
 public:
  UiThread();
  ~UiThread();  // destroys the server, then the database, on the thread

  // Runs fn on the user-interface thread and returns when it did.
  void OnUi(const std::function<void()>& fn);
  // Creates and starts a server for the instance name on a free loopback port; the port.
  int StartServer(const std::string& instanceName, int32_t stallLimitMs = kTransferStallLimitMs);
  void StopServer();

  // Use only inside OnUi.
  ImageRecordDB& Db() { return *m_Db; }
  SearchEngine& Engine() { return *m_Engine; }
  RemoteContext& Context() { return *m_Context; }
  Server* ServerObject() { return m_Server.get(); }

  // Adds a record for a generated picture (seed) under the path (inside OnUi or not).
  void AddPicture(const std::string& path, uint32_t seed, int32_t fileTime = 1000);

 private:
  void Main();

  std::thread m_Thread;
  MessageTarget m_Target;
  ImageRecordDB* m_Db = nullptr;
  SearchEngine* m_Engine = nullptr;
  RemoteContext* m_Context = nullptr;
  std::unique_ptr<Server> m_Server;
};

// A plain protocol client on 127.0.0.1.
class RawClient {
 public:
  explicit RawClient(int port);
  ~RawClient();
  bool Connected() const { return m_Socket >= 0; }
  CommandStream Stream() const { return {m_Socket, kStreamSocket}; }
  bool Send(const std::string& bytes);
  bool Greet(const std::string& instanceName);
  void ShutdownSending();
  // One line (without its line feed), waiting at most timeoutMs; false when none came.
  bool Line(std::string* line, int timeoutMs = 5000);
  // Everything until the server closes, waiting at most timeoutMs in all.
  std::string Rest(int timeoutMs = 5000);
  // Whether the server closed the connection (end of stream) within timeoutMs, with
  // nothing more to read.
  bool ClosedByServer(int timeoutMs = 5000);

 private:
  int m_Socket = -1;
};

// Request bytes as a client sends them.
std::string QueryRequest(int32_t first, int32_t last, const std::string& path,
                         const std::string& criteriaText = "");
std::string KnownRequest(const std::string& path, int32_t fileTime);
// "add" with the record in the given version (6: WriteRecord; 4 and 5 built here).
std::string AddRequest(const ImageRecord& record, int32_t version = 6);

}  // namespace gq::test
