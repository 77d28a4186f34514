// The two progress callbacks that long operations on the user-interface thread call
// between steps. Both show the fraction in the status bar's progress pane and return
// true to go on; on the user-interface thread and below 1.0 they also let the window
// live by handling the events that arrived meanwhile:
// - Modal (database loading, searches): the window paints and follows size changes;
//   keys that type characters and clicks in windows beep, every other input is dropped;
//   the close box beeps and ends the operation; a close request of the program ends it
//   too and stays queued, so the program ends after the operation.
// - Interruptible (criteria adjustment): every event is handled as usual, but after a
//   key or mouse press, or with a close request queued, the operation ends.
// Meanwhile the host handles only sent messages; posted ones wait for the operation's
// end. Owned by the main window; user-interface thread.
#pragma once

#include <QObject>

#include "platform/MessageWindow.h"

namespace gq {

class MainWindow;

class ProgressCallbacks : public QObject {
 public:
  // host is the main thread's message window (its queue holds the close request).
  ProgressCallbacks(MainWindow& window, MessageWindow& host);

  bool Modal(double fraction);
  bool Interruptible(double fraction);

 private:
  // Whether the fraction is shown and events are handled (UI thread, not done).
  bool Drains(double fraction);
  bool CloseQueued();

  MainWindow& m_Window;
  MessageWindow& m_Host;
};

}  // namespace gq
