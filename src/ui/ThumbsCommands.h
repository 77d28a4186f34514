// The command numbers the thumbnail view carries out or hands to the main window:
// the picture commands of its context menu and the window commands its keys and
// clicks send.
#pragma once

namespace gq {

// Carried out by the view.
inline constexpr int kCmdViewExternal = 32807;
inline constexpr int kCmdRenameFile = 32808;
inline constexpr int kCmdDeleteFiles = 32809;
inline constexpr int kCmdViewSortedList = 32803;
inline constexpr int kCmdDeleteFromDb = 33823;
inline constexpr int kCmdProperties = 33824;
inline constexpr int kCmdExploreDirectory = 33825;
inline constexpr int kCmdCopyToClipboard = 33829;
inline constexpr int kCmdCutToClipboard = 33831;
inline constexpr int kCmdViewFullscreen = 33845;
inline constexpr int kCmdViewInWindow = 33846;
inline constexpr int kCmdSwitchViewerKind = 33847;
inline constexpr int kCmdSearchSimilar = 33848;
// The "Open with..." tools: "Edit Tools..." and one command per tool after it.
inline constexpr int kCmdFirstOpenWith = 32811;
inline constexpr int kCmdLastOpenWith = 33812;

// Sent to the main window.
inline constexpr int kCmdOpen = 32783;
inline constexpr int kCmdPaste = 33830;

}  // namespace gq
