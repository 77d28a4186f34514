// The Qt backend of the program's message box: a real QMessageBox with the request's
// caption, text, icon, buttons and default button. Boxes asked for on other threads
// are shown by the main thread; the asking thread waits for the answer (handling what
// is sent to it meanwhile, so it never blocks a main thread that sends to it).
#pragma once

#include "platform/MessageBox.h"
#include "platform/MessageWindow.h"

namespace gq {

// Shows the box on the calling (main) thread and returns the button pressed; a box
// closed without a button answers Cancel (No for Yes/No, OK for OK).
int ShowQtMessageBox(const MessageBoxRequest& request);

// While it exists, every box of the process goes to ShowQtMessageBox on the thread
// that created it (the main thread); the backend before it comes back afterwards.
class QtMessageBoxRoute {
 public:
  QtMessageBoxRoute();
  ~QtMessageBoxRoute();
  QtMessageBoxRoute(const QtMessageBoxRoute&) = delete;
  QtMessageBoxRoute& operator=(const QtMessageBoxRoute&) = delete;

 private:
  MessageWindow m_Window;  // receives the boxes of other threads
  MessageBoxBackend m_Previous;
};

}  // namespace gq
