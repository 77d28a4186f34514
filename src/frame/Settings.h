// The user's preferences: process-wide values read once at start and written once when
// the message loop has ended, kept in the settings store (platform/RegStore.h). The
// four most recently used database paths live in the same store and are read and
// written on their own whenever the list changes. Used on the user-interface thread;
// the import-filter values are also read by the loader under the import-filter lock.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace gq {

struct ProgramSettings {
  bool showToolBar = true;          // "VTB"
  bool showTabs = true;             // "VTA"
  bool showStatusBar = true;        // "VSB"
  std::string importCommand;        // "ImportCmd"
  std::string importTypes;          // "ImportTypes"
  uint32_t backColor = 0x00FFFFFF;  // "BackColor", a Windows RGB value (0x00BBGGRR)
  bool noZoom = true;               // "NoZoom"
  bool compactDuplicates = true;    // "SDC"
  uint32_t similarCount = 0;        // "SSN"
  bool scrollBarLeft = false;       // "SBL"
};

// The process's settings, holding the defaults until loaded.
extern ProgramSettings g_settings;

// The window background colour of this desktop, taken as the BackColor default.
uint32_t SystemWindowColor();

// Reads all values into g_settings (save = false; a value absent or of the wrong type
// keeps its current value) or writes them all (save = true). A store that cannot be
// read or written leaves everything as it is, silently. Afterwards the scroll-bar side
// hook is called.
void LoadOrSaveSettings(bool save);

// History entries 0 to 3 ("hista" ... "histd"); an absent entry reads as empty text.
std::string ReadHistoryEntry(int index);
void WriteHistoryEntry(int index, const std::string& path);

// Called after every load or save, to apply the scroll-bar side to the thumbnail view.
void SetScrollBarSideHook(std::function<void(bool left)> hook);

}  // namespace gq
