// The running program without a user interface: the one database with its search
// engine, the loader and the window side of loading, the status bar on standard error,
// the channel on which later starts hand over their requests and the TCP server, all
// owned by the main thread's headless host. Built by the entry's start-up hook and taken down by
// its shut-down hook.
#pragma once

#include <memory>
#include <string>

#include "db/ImageRecordDB.h"
#include "frame/CommandLine.h"
#include "frame/HandOff.h"
#include "frame/MessageHost.h"
#include "frame/StatusBar.h"
#include "loading/Loader.h"
#include "loading/LoadingHost.h"
#include "platform/InstanceChannel.h"
#include "remote/RemoteCommand.h"
#include "remote/Server.h"
#include "search/SearchEngine.h"

namespace gq {

class ProgramHost {
 public:
  explicit ProgramHost(MessageHost& host);
  ~ProgramHost();

  // Start-up after the settings: the database option, the file list, the server.
  // False ends the start.
  bool Start(const ParsedCommand& parsed);
  // After the message loop: the server goes, the loader is stopped (at most 1000 ms),
  // and the database is closed through the close path (saving it).
  void ShutDown();

  // The receiving side of a hand-off (kMsgCopyData): 1 when taken, 0 when not ours.
  intptr_t OnCopyData(uintptr_t wParam, const CopyData& block);

  ImageRecordDB& Db() { return m_Db; }
  StatusBar& Status() { return m_Status; }
  SearchEngine& Engine() { return *m_Engine; }
  Loader& Loading() { return *m_Loader; }
  LoadingHost& LoadingSide() { return m_LoadingHost; }

 private:
  void OpenDatabaseOption(const std::string& option);
  // Makes the file's criteria the current ones; false (nothing changed) when it cannot
  // be read.
  bool LoadCriteriaFile(const std::string& path);

  MessageHost& m_Host;
  StatusBar m_Status;
  ImageRecordDB m_Db;
  std::unique_ptr<SearchEngine> m_Engine;
  std::unique_ptr<Loader> m_Loader;
  LoadingHost m_LoadingHost;
  InstanceChannelServer m_Channel;
  std::unique_ptr<RemoteContext> m_Remote;
  std::unique_ptr<Server> m_Server;
};

}  // namespace gq
