// The owner of the main window's message side on the main thread: one handler per
// message number and the loop that runs until the quit message. Two hosts implement it:
// the headless host (a plain message loop) and the Qt host (the Qt event loop). The
// loader, the server and the hand-off install their handlers here and cannot tell which
// host runs. Created, used and run on the main thread only.
#pragma once

#include "platform/MessageWindow.h"

namespace gq {

// Asks the main window to end the program (the close command). Its wParam is
// kCloseBySignal when SIGINT or SIGTERM asked: nobody may be there to answer a dialog.
inline constexpr unsigned kMsgClose = 0x0010;
inline constexpr uintptr_t kCloseBySignal = 1;

class MessageHost {
 public:
  virtual ~MessageHost() = default;

  virtual MessageTarget Target() const = 0;
  virtual MessageWindow& Window() = 0;

  // Installs the handler of one message number. Messages without a handler answer 0;
  // kMsgClose without a handler quits with code 0.
  virtual void SetHandler(unsigned message, MessageHandler handler) = 0;

  // Runs the loop until the quit message; SIGINT and SIGTERM post kMsgClose.
  // Returns the quit code.
  virtual int Run() = 0;
};

}  // namespace gq
