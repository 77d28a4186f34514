// The main window of a run without a user interface: a message window owned by the
// main thread with one handler per message number, and a message loop that ends
// through the normal quit path on SIGINT or SIGTERM (so settings are saved and the
// database is closed). The loader, the server and the hand-off talk to it by message
// exactly as to the windowed host. Created and run on the main thread.
#pragma once

#include <map>
#include <memory>

#include "frame/MessageHost.h"
#include "platform/MessageWindow.h"

namespace gq {

class HeadlessHost final : public MessageHost {
 public:
  HeadlessHost();
  ~HeadlessHost() override;
  HeadlessHost(const HeadlessHost&) = delete;
  HeadlessHost& operator=(const HeadlessHost&) = delete;

  MessageTarget Target() const override { return m_Window.Target(); }
  MessageWindow& Window() override { return m_Window; }

  // Installs the handler of one message number (main thread). Messages without a
  // handler answer 0; kMsgClose without a handler quits with code 0.
  void SetHandler(unsigned message, MessageHandler handler) override;

  // Runs the message loop until the quit message; SIGINT and SIGTERM post kMsgClose.
  // Returns the quit code.
  int Run() override;

  // Blocks SIGINT and SIGTERM in the calling thread and every thread it starts later;
  // called first thing on the main thread so that only the host's watcher takes them.
  static void BlockTerminationSignals();

 private:
  intptr_t Handle(unsigned message, uintptr_t wParam, intptr_t lParam);

  std::map<unsigned, MessageHandler> m_Handlers;  // main thread only
  MessageWindow m_Window;
};

}  // namespace gq
