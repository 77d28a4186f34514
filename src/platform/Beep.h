// Beeps: the default beep of refused commands (MessageBeep) and a tone of a given
// frequency and length (Beep). The console host rings the terminal bell; tests
// install a recorder. Callable from any thread.
#pragma once

#include <functional>

namespace gq {

inline constexpr unsigned MB_BEEP_DEFAULT = 0xFFFFFFFF;

// kind is MB_BEEP_DEFAULT or an icon flag of MessageBox.h.
void MessageBeep(unsigned kind);
void Beep(unsigned frequencyHz, unsigned durationMs);

// A beep as the backend sees it: frequency 0 for MessageBeep (kind then holds the kind).
struct BeepEvent {
  unsigned kind = MB_BEEP_DEFAULT;
  unsigned frequencyHz = 0;
  unsigned durationMs = 0;
};
using BeepBackend = std::function<void(const BeepEvent&)>;

// Replaces the backend; an empty function restores the console bell. Returns the old one.
BeepBackend SetBeepBackend(BeepBackend backend);

}  // namespace gq
