// Registers the database file type with the desktop at each start: a MIME type
// "application/x-glimmerquorum-db" for "*.gqdb", a desktop entry that opens such files
// with this program and the program's icon in the user's icon theme folder, under
// $XDG_DATA_HOME (~/.local/share). The entry is hidden from menus (NoDisplay) and named
// apart from the menu entry that setup or the package makes, so a start never replaces
// or doubles the menu entry.
// Failures are ignored. Main thread, at start-up.
#pragma once

#include <string>

namespace gq {

// "application/x-glimmerquorum-db" for "*.gqdb", a desktop entry that opens such files
// with this program and the program's icon in the user's icon theme folder, under
// $XDG_DATA_HOME (~/.local/share). The entry is hidden from menus (NoDisplay) and named
// apart from the menu entry that setup or the package makes, so a start never replaces
// or doubles the menu entry.

// The full path of the running program.
std::string ProgramPath();

// Writes (overwriting) the MIME package, the desktop entry and the icon; false if any
// failed.
bool RegisterDatabaseFileType(const std::string& programPath);

// The desktop entry's text for the given program path.
std::string DesktopEntryText(const std::string& programPath);

}  // namespace gq
