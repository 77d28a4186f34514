// The main window's message side under Qt: the same message window and handler table
// as the headless host, run by the Qt event loop instead of a plain message loop.
// Whatever arrives for the main thread wakes the event loop; the top-level loop handles
// sent messages and dispatches posted ones, a nested loop (a message box, a file
// dialog, a progress callback pumping events) handles only sent messages, so a loader
// or server waiting in a Send never waits for a box to close. SIGINT and SIGTERM post
// kMsgClose, the normal quit path. While it exists, message boxes are Qt dialogs,
// until a termination signal came: then nobody may be there to answer, and the boxes
// of the shut-down answer their default button as the headless host's do.
// Created, used and run on the main thread.
#pragma once

#include <memory>

#include "frame/HeadlessHost.h"
#include "frame/MessageHost.h"

namespace gq {

class QtHost final : public MessageHost {
 public:
  // Creates the QApplication when the process has none yet (and owns it then).
  QtHost();
  ~QtHost() override;
  QtHost(const QtHost&) = delete;
  QtHost& operator=(const QtHost&) = delete;

  MessageTarget Target() const override { return m_Core.Target(); }
  MessageWindow& Window() override { return m_Core.Window(); }
  void SetHandler(unsigned message, MessageHandler handler) override {
    m_Core.SetHandler(message, std::move(handler));
  }
  int Run() override;

  // Whether a display can be had: QT_QPA_PLATFORM names a platform that needs none,
  // or the Wayland or X display the environment names accepts a connection.
  static bool DisplayAvailable();

  // Marks, for its lifetime, a nested event loop run by hand (a progress callback
  // handling events): posted messages wait for the outer loop meanwhile.
  class HandPumped {
   public:
    HandPumped();
    ~HandPumped();
    HandPumped(const HandPumped&) = delete;
    HandPumped& operator=(const HandPumped&) = delete;
  };

 private:
  struct Loop;

  HeadlessHost m_Core;  // the message window and the handlers
  std::unique_ptr<Loop> m_Loop;
};

}  // namespace gq
