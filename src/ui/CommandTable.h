// The main window's menus and accelerators as data: every menu item with its command
// number, its label (with the & mnemonic and, after a tab, the shortcut text) and the
// keys that run it, in menu order. The menus are built from this table; tests read it.
#pragma once

#include <span>

namespace gq {

enum class MenuRow {
  kMenu,       // opens a (sub)menu with this label
  kEnd,        // closes the innermost open menu
  kItem,       // a command
  kSeparator,  // a line between items
  kRecent,     // the place of the recent databases
};

struct MenuEntry {
  MenuRow row;
  int id = 0;
  const char* label = "";
  const char* keys = "";  // Qt key sequences separated by ", "; "" for none
  bool checkable = false;
};

std::span<const MenuEntry> MainMenuTable();

// Command numbers the window itself acts on.
inline constexpr int kCmdExit = 105;
inline constexpr int kCmdAbout = 104;
inline constexpr int kCmdSaveDb = 32804;
inline constexpr int kCmdStopLoading = 33820;
inline constexpr int kCmdPauseLoading = 33873;
inline constexpr int kCmdListUnsorted = 32800;
inline constexpr int kCmdListSortedByFile = 32801;
inline constexpr int kCmdListSearchSimilar = 32802;
inline constexpr int kCmdListSearchDuplicates = 33803;
inline constexpr int kCmdToolBar = 32774;
inline constexpr int kCmdTabs = 33854;
inline constexpr int kCmdStatusBar = 32773;
inline constexpr int kCmdOnlineHelp = 33819;
inline constexpr int kCmdAutosave = 33882;
inline constexpr int kCmdPauseOnError = 33828;
inline constexpr int kCmdLimitDragCopy = 33860;
inline constexpr int kCmdFirstRecent = 33832;
inline constexpr int kCmdFindDb = 33881;
inline constexpr int kCmdPrevious = 33816;
inline constexpr int kCmdNext = 33815;
inline constexpr int kCmdScrollToSelection = 33817;
inline constexpr int kCmdPictureInWindow = 33846;
inline constexpr int kCmdPictureFullscreen = 33845;
inline constexpr int kCmdZoomSmall = 33883;
inline constexpr int kCmdScrollBarLeft = 33856;
inline constexpr int kCmdCompactView = 33874;
inline constexpr int kCmdFindDown = 33852;
inline constexpr int kCmdUpdateDirsOfSelected = 33866;
inline constexpr int kCmdImport = 33870;
inline constexpr int kCmdImportDirectory = 33849;
inline constexpr int kCmdUpdateAll = 33861;
inline constexpr int kCmdUpdateSelected = 33865;
inline constexpr int kCmdUpdateFolders = 33862;
inline constexpr int kCmdExportFiles = 33863;
inline constexpr int kCmdExportSelectedFiles = 33867;
inline constexpr int kCmdExportFolders = 33864;
inline constexpr int kCmdExportSelectedFolders = 33868;
inline constexpr int kCmdSaveDbAs = 32805;
inline constexpr int kCmdCloseDb = 33821;
inline constexpr int kCmdResetCriteria = 33858;
inline constexpr int kCmdQuickAdjust = 33859;
inline constexpr int kCmdAutoAdjust = 33857;
inline constexpr int kCmdViewInSortedList = 32803;

}  // namespace gq
