// Reading a freedesktop desktop entry of the tools folder: its name, icon and command
// (the keys of the [Desktop Entry] group), and the argument vector that runs the
// command on one picture. The command is split into words before the picture is put
// in, so a path becomes exactly one argument and never command syntax. Pure; any thread.
#pragma once

#include <string>
#include <vector>

namespace gq {

struct DesktopEntry {
  std::string name;  // "Name=", unlocalised
  std::string icon;  // "Icon=": a theme icon name or an absolute file path
  std::string exec;  // "Exec=", with the value escapes (\s \n \t \r \\) undone
};

// The keys of the [Desktop Entry] group in text; absent keys stay empty.
DesktopEntry ParseDesktopEntry(const std::string& text);

// Reads and parses the file; false when it cannot be read.
bool ReadDesktopEntry(const std::string& path, DesktopEntry* entry);

// The argument vector of an Exec value for one picture. Words are separated by
// blanks; a double-quoted word keeps its blanks, in it \" \` \$ \\ stand for the
// character, and it is taken literally (no field codes). Field codes: %f %F become the path, %u %U
// its file URL, %% a "%"; other codes are dropped (a word that was only such a code goes away). An
// Exec without a file code gets the path as its last argument. Empty when the value is empty, has
// an unclosed quote or a field code in the program word.
std::vector<std::string> ExecArguments(const std::string& exec, const std::string& picturePath);

}  // namespace gq
