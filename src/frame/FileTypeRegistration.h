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

// The program's icon, an SVG text.
extern const char* const kProgramIconSvg;

// The file name of the registration's desktop entry.
inline constexpr const char* kFileTypeEntryName = "GlimmerQuorum-filetype.desktop";

// The full path of the running program.
std::string ProgramPath();

// Writes (overwriting) the MIME package, the desktop entry and the icon; false if any
// failed.
bool RegisterDatabaseFileType(const std::string& programPath);

// A desktop-entry Exec argument: double-quoted, with ", `, $ and \ escaped.
std::string QuoteExecArgument(const std::string& word);

// The desktop entry's text for the given program path.
std::string DesktopEntryText(const std::string& programPath);

}  // namespace gq
