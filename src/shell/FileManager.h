// Showing pictures through the desktop: the file manager's window with a file selected
// (Explore Directory, Find DB) and its properties dialog, over the session bus's
// org.freedesktop.FileManager1 interface, and the desktop's own viewer (View
// External). The bus calls do not block: the answer comes back through the event
// loop. User-interface thread.
#pragma once

#include <functional>
#include <string>

namespace gq {

// Called once a bus request was answered; true when the file manager took it.
using FileManagerDone = std::function<void(bool byFileManager)>;

// Opens the file's folder in the file manager with the file selected. With no file
// manager on the bus the folder is opened with the desktop's default program for it;
// when that fails as well, the default beep.
void ExploreFile(const std::string& path, FileManagerDone done = {});

// Opens the file manager's properties dialog of the file; the default beep when no
// file manager takes the request.
void ShowFileProperties(const std::string& path, FileManagerDone done = {});

// Opens the file with the program the desktop associates with it; the default beep
// and false when none can be started.
bool ViewExternal(const std::string& path);

}  // namespace gq
