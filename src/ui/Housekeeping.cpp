#include "ui/Housekeeping.h"

#include "ui/WindowFormulas.h"

namespace gq {
namespace {

constexpr int64_t kLowMemoryMiB = 30;
constexpr int64_t kUrgentMiB = 10;
constexpr int kQuietTicks = 60;
constexpr int kAutosaveTicks = 12;

}  // namespace

HousekeepingActions Housekeeping::Tick(const HousekeepingFacts& f) {
  HousekeepingActions actions;
  const bool diskKnown = f.freeDiskMiB >= 0;
  actions.warnMemory = f.freeMemoryMiB < kLowMemoryMiB;
  actions.warnDisk = diskKnown && static_cast<uint64_t>(f.freeDiskMiB) <
                                      NeededDiskMiB(f.thumbsInMemory, f.pictureCount);
  const bool urgent =
      f.freeMemoryMiB < kUrgentMiB || (diskKnown && f.freeDiskMiB < kUrgentMiB && f.hasFile);
  if ((actions.warnMemory || actions.warnDisk) && (m_QuietTicks <= 0 || urgent)) {
    m_QuietTicks = kQuietTicks;
  } else {
    actions.warnMemory = actions.warnDisk = false;
    if (m_QuietTicks > 0) --m_QuietTicks;
  }
  const bool couldSave = f.autosave && f.hasFile && !f.saved;
  m_UnsavedTicks = couldSave ? m_UnsavedTicks + 1 : 0;
  if (m_UnsavedTicks > kAutosaveTicks) {
    actions.save = true;
    m_UnsavedTicks = 0;
  }
  return actions;
}

}  // namespace gq
