// The main window's housekeeping every 5 s, free of Qt: the two low-resource warnings
// with their quiet period, and the autosave counter. The window measures, the program
// tells the database's facts, and the window carries out what a tick decides.
// Owned by the main window; user-interface thread.
#pragma once

#include <cstdint>

namespace gq {

struct HousekeepingFacts {
  int64_t freeMemoryMiB = 0;
  int64_t freeDiskMiB = -1;  // -1: cannot be told
  uint64_t thumbsInMemory = 0;
  uint64_t pictureCount = 0;
  bool hasFile = false;
  bool saved = true;
  bool autosave = true;
};

struct HousekeepingActions {
  bool warnMemory = false;
  bool warnDisk = false;
  bool save = false;  // post Save DB
};

class Housekeeping {
 public:
  // One tick. Warns when memory is below 30 MiB or the disk is short, unless a warning
  // came in the last 60 ticks, where only memory below 10 MiB or a file-backed
  // database's disk below 10 MiB still warns. Saves at the 13th tick in a row with
  // autosave on and a file-backed database unsaved.
  HousekeepingActions Tick(const HousekeepingFacts& facts);

 private:
  int m_QuietTicks = 0;    // ticks left in which only urgent warnings are shown
  int m_UnsavedTicks = 0;  // ticks in a row that autosave could have saved
};

}  // namespace gq
