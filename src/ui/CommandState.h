// Which commands of the menus and the tool bar are greyed or checked, decided from a
// plain picture of the program's state. The window fills the facts it owns, the program
// the rest; a menu item and its tool-bar button share one action and so one state.
// Pure functions; any thread.
#pragma once

#include <vector>

namespace gq {

struct CommandState {
  // The database.
  bool saved = true;
  bool hasFile = false;
  // The loader.
  bool loading = false;
  bool paused = false;
  // The view.
  int listMode = 0;
  bool canGoBack = false;
  bool canGoForward = false;
  bool hasCurrentPicture = false;
  // The viewer (false while there is none).
  bool viewerFramed = false;
  bool viewerFullscreen = false;
  // The toggles.
  bool zoomSmall = false;
  bool toolBar = true;
  bool tabs = true;
  bool statusBar = true;
  bool pauseOnError = true;
  bool limitDragCopy = true;
  bool scrollBarLeft = false;
  bool compactView = false;
  bool autosave = true;
};

// The look of one command: enabled (not greyed) and checked.
struct CommandLook {
  int id;
  bool enabled;
  bool checked;
};

// The look of every command whose look depends on the state; commands not listed are
// enabled and unchecked.
std::vector<CommandLook> CommandLooks(const CommandState& state);

}  // namespace gq
