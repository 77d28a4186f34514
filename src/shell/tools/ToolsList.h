// The tools of the tools folder as the "Open with..." menu lists them: every desktop
// entry (".desktop") and every executable file or symbolic link, labelled by the
// entry's Name= or the file name, sorted by label without regard to case. Read each
// time the menu opens. Pure file reading; any thread.
#pragma once

#include <string>
#include <vector>

namespace gq {

struct ToolEntry {
  std::string path;   // the entry in the tools folder
  std::string label;  // shown in the menu (without the mnemonic mark)
  std::string icon;   // a desktop entry's Icon=, else empty
  bool desktopEntry = false;
};

// The tools in folder; empty when it is missing or unreadable. Sub-folders, hidden
// files and files that are neither desktop entries nor executable are left out.
std::vector<ToolEntry> ListTools(const std::string& folder);

// The label with its "&" doubled and a mnemonic "&" before its first character, so
// typing that character picks the item (or steps between items sharing it).
std::string MnemonicLabel(const std::string& label);

// The argument vector that runs the tool on one picture: an executable gets the path
// as its one argument, a desktop entry its Exec= with the path put in. Empty when the
// entry cannot be read or has no usable Exec=.
std::vector<std::string> ToolCommand(const ToolEntry& tool, const std::string& picturePath);

}  // namespace gq
