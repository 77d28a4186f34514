// Registers the database file type with the desktop at each start: a MIME type
// "application/x-glimmerquorum-db" for "*.gqdb" and a "GlimmerQuorum.desktop" entry
// that opens such files with this program, under $XDG_DATA_HOME (~/.local/share).
// Failures are ignored. Main thread, at start-up.
#pragma once

#include <string>

namespace gq {

// The full path of the running program.
std::string ProgramPath();

// Writes (overwriting) the MIME package and the desktop entry; false if any failed.
bool RegisterDatabaseFileType(const std::string& programPath);

// The desktop entry's text for the given program path.
std::string DesktopEntryText(const std::string& programPath);

}  // namespace gq
