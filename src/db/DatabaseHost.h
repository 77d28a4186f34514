// What the picture database needs from the program around it: status texts, the
// change listener, the state-changed message, the save dialog, progress, and the
// services of the search and loading subsystems above it. Every hook is optional; an
// absent one does nothing (a headless run answers the save dialog with no name).
// Set up once by the host; called on the user-interface thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace gq {

struct DatabaseHost {
  // Shows a status text held for holdMs milliseconds (0: until replaced).
  std::function<void(const std::string& text, int holdMs)> statusText;
  // The records changed (the window refreshes the view and the picture count).
  std::function<void()> changeListener;
  // The clean flag or the file name changed (the window redraws title and menus).
  std::function<void()> stateChanged;
  // Asks for a ".gqdb" file name to save to; empty when cancelled.
  std::function<std::string()> chooseDatabaseFile;
  // Reports progress 0..1 of a long operation; false asks to abort it.
  std::function<bool(double fraction)> progress;
  // Ends the progress display.
  std::function<void()> progressDone;
  // Rebuilds the similarity index of the search subsystem, with progress from..to.
  std::function<void(double from, double to)> rebuildIndex;
  // Forgets and rebuilds the list window shown by the thumbnail view.
  std::function<void()> rebuildListWindow;
  // Discards the mosaic state (its tiles refer to records).
  std::function<void()> discardMosaic;
  // Decodes a picture only to learn its size (converting old database files).
  std::function<bool(const std::string& path, int32_t* width, int32_t* height)> pictureSize;
  // Stops a running load, waiting at most timeoutMs; false if it did not stop.
  std::function<bool(int timeoutMs)> stopLoading;
};

}  // namespace gq
