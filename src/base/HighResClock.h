// A high-resolution wall clock: calibrated once against the wall-clock time, then read
// from the monotonic counter alone, so readings never jump with clock changes.
// Callable from any thread.
#pragma once

#include <cstdint>

namespace gq {

struct HighResTime {
  int64_t seconds = 0;       // wall-clock seconds since 1970
  int32_t microseconds = 0;  // 0 to 999999
};

HighResTime HighResNow();
// Milliseconds from since to now.
int64_t MillisecondsSince(const HighResTime& since);
// The same, then since := now.
int64_t MillisecondsSinceAndUpdate(HighResTime* since);

}  // namespace gq
