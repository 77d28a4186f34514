// The server's commands ("query", "known", "add"): read on a connection thread, then
// executed on the user-interface thread through MsgRunOnUiThread, whose handler runs
// the command and destroys it. Executing never touches the socket: the command leaves
// its reply (status line and, for a query, the result list) in a text that the
// connection thread writes afterwards, so a client that stops reading cannot block the
// user-interface thread. The context holds what commands use; it belongs to the
// user-interface thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "db/ImageRecordDB.h"
#include "base/CommandStream.h"
#include "frame/MessageHost.h"
#include "remote/Protocol.h"
#include "search/SearchEngine.h"

namespace gq {

struct RemoteContext {
  ImageRecordDB& db;
  SearchEngine& engine;
  // Adds a received record exactly as the window adds one from its loader (insertion,
  // thumbnail budget, view refresh) and takes it over; false when the window is busy
  // and the record must be offered again later.
  std::function<bool(ImageRecord*)> addRecord;
};

class RemoteCommand {
 public:
  virtual ~RemoteCommand() = default;
  // Reads the command's fields from the stream (connection thread). False when they
  // cannot be read or break a bound; then the reply is status 100.
  virtual bool ReadArguments(const CommandStream& stream) = 0;
  // Runs on the user-interface thread and appends the reply to *reply. False when the
  // database is busy: nothing happened and the command must be offered again.
  virtual bool Execute(RemoteContext& context, std::string* reply) = 0;
};

// Reads one command line and the command's fields. Returns null when the peer closed,
// or after writing status 111 for an unknown command word (a line too long for one
// included) or status 100 for fields that cannot be read; the connection then ends.
// A command line that takes longer than idleBudgetMs to arrive ends the connection too;
// how long the fields may stand still is the stream's stall limit.
std::unique_ptr<RemoteCommand> ReadCommand(const CommandStream& stream,
                                           int32_t idleBudgetMs = kCommandIdleBudgetMs);

// What a command travels with to the user-interface thread (lParam of MsgRunOnUiThread).
struct CommandDelivery {
  RemoteCommand* command;  // destroyed by the handler once executed
  std::string* reply;      // owned by the connection thread, which writes it afterwards
};

// Handler results of MsgRunOnUiThread; the window's default answer 0 means the message
// was not handled at all.
inline constexpr intptr_t kCommandExecuted = 1;  // run and destroyed
inline constexpr intptr_t kCommandBusy = 2;      // not run; the sender still owns it

// The handler of MsgRunOnUiThread (user-interface thread).
intptr_t RunRemoteCommand(RemoteContext& context, intptr_t delivery);

// Installs RunRemoteCommand as the host's MsgRunOnUiThread handler. The context must
// outlive the host's message loop and the server (a stopping server still lets the
// commands its connections sent run).
void InstallRemoteHandlers(MessageHost& host, RemoteContext& context);

}  // namespace gq
