#include "frame/StatusBar.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "frame/Messages.h"

namespace gq {

StatusBar::StatusBar(std::function<void(const std::string&)> shown) : m_Shown(std::move(shown)) {
  if (!m_Shown) {
    m_Shown = [](const std::string& text) {
      std::fprintf(stderr, "%s\n", text.c_str());
      std::fflush(stderr);
    };
  }
}

int StatusBar::Offer(const std::string& text, int holdMs, Clock::time_point now) {
  int64_t elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_ShownAt).count();
  if (m_PauseOnError && m_PreviousHold > 0 && elapsed < m_PreviousHold) {
    bool waits = holdMs == -1 || (holdMs >= 1 && holdMs <= m_PreviousHold);
    if (!waits) return 0;  // dropped
    return static_cast<int>(std::min<int64_t>(m_PreviousHold - elapsed, 4000));
  }
  m_Current = text;
  m_PreviousHold = holdMs;
  m_ShownAt = now;
  m_Shown(text);
  return 0;
}

void StatusBar::Show(const std::string& text, int holdMs) {
  for (int wait; (wait = Offer(text, holdMs)) > 0;) {
    WaitHandlingSent([] { return false; }, std::chrono::milliseconds(wait));
  }
}

void ShowStatusFrom(const MessageTarget& window, const std::string& text, int holdMs) {
  for (;;) {
    intptr_t wait = window.Send(MsgStatusText, reinterpret_cast<uintptr_t>(text.c_str()), holdMs);
    if (wait <= 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(wait));
  }
}

}  // namespace gq
