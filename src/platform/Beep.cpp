#include "platform/Beep.h"

#include <cstdio>
#include <mutex>

namespace gq {
namespace {

std::mutex g_beepMutex;  // guards g_beepBackend
BeepBackend g_beepBackend;

void Emit(const BeepEvent& event) {
  BeepBackend backend;
  {
    std::lock_guard<std::mutex> lock(g_beepMutex);
    backend = g_beepBackend;
  }
  if (backend) {
    backend(event);
    return;
  }
  std::fputc('\a', stderr);
  std::fflush(stderr);
}

}  // namespace

void MessageBeep(unsigned kind) { Emit(BeepEvent{kind, 0, 0}); }

void Beep(unsigned frequencyHz, unsigned durationMs) {
  Emit(BeepEvent{MB_BEEP_DEFAULT, frequencyHz, durationMs});
}

BeepBackend SetBeepBackend(BeepBackend backend) {
  std::lock_guard<std::mutex> lock(g_beepMutex);
  BeepBackend previous = std::move(g_beepBackend);
  g_beepBackend = std::move(backend);
  return previous;
}

}  // namespace gq
