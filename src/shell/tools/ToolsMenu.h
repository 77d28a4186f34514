// The "Open with..." submenu of the picture context menu: one item per tool of the
// tools folder beside the program (GlimmerQuorum_cmd), then a separator and "Edit
// Tools...", which opens that folder (creating it first). Each item carries its
// command number as object name (tools from 32812 up, "Edit Tools..." 32811) and a
// mnemonic on its first character. A tool runs detached with the picture path as one
// argument, never through a shell; one that cannot be started beeps and says so
// through the status hook. User-interface thread.
#pragma once

#include <QMenu>
#include <functional>
#include <string>

namespace gq {

inline constexpr int kEditToolsCommand = 32811;
inline constexpr int kFirstToolCommand = 32812;

// Shows a status text, for example that a tool could not be started.
using ToolStatusHook = std::function<void(const std::string& text)>;

// The tools folder: GlimmerQuorum_cmd in the program's folder.
std::string ToolsFolder();

// Empties menu and fills it from the tools folder for the picture at picturePath
// (empty: no current picture; choosing a tool then beeps). Call it when the submenu
// is about to show, so the list follows the folder.
void FillOpenWithMenu(QMenu* menu, const std::string& picturePath,
                      const ToolStatusHook& status = {});

// The same from a given folder.
void FillToolsMenu(QMenu* menu, const std::string& picturePath, const std::string& folder,
                   const ToolStatusHook& status = {});

}  // namespace gq
