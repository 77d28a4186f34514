// The main window's side of loading, shared by the headless host and the windowed one:
// the handlers of MsgStatusText, MsgCheckKnownFile, MsgRecordLoaded, MsgLoadingDone,
// MsgUpdateDone and MsgResolveShellLink, answered from the one database. Counts what
// the window took, for summaries. User-interface thread.
#pragma once

#include <atomic>
#include <functional>

#include "db/ImageRecordDB.h"
#include "frame/MessageHost.h"
#include "frame/StatusBar.h"
#include "loading/Loader.h"

namespace gq {

class LoadingHost {
 public:
  LoadingHost(ImageRecordDB& db, StatusBar& status) : m_Db(db), m_Status(status) {}

  // Installs the handlers on the host's window.
  void Install(MessageHost& host);

  // The handlers themselves (wParam and lParam as the messages carry them).
  intptr_t OnStatusText(uintptr_t text, intptr_t holdMs);
  intptr_t OnCheckKnownFile(uintptr_t path, intptr_t fileTime);
  intptr_t OnRecordLoaded(intptr_t record);
  intptr_t OnLoadingDone(bool stopped);
  intptr_t OnUpdateDone(bool stopped);
  intptr_t OnResolveShellLink(uintptr_t buffer, intptr_t sizeAndFlag);

  // Destroys the records of hand-overs still queued by posted message (on stop).
  static void DiscardQueuedHandOvers(MessageWindow& window);

  // Called after the end-of-loading handling (stopped flag).
  std::function<void(bool stopped)> onLoadingDone;
  std::function<void(bool stopped)> onUpdateDone;

  std::atomic<int> m_Added{0};     // records taken (read by progress displays)
  std::atomic<int> m_Replaced{0};  // of those, records that replaced one of the same path
  std::atomic<int> m_Skipped{0};   // files found known and unchanged

 private:
  ImageRecordDB& m_Db;
  StatusBar& m_Status;
};

}  // namespace gq
