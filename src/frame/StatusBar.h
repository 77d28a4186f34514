// The status text of the program as the main window shows it, with the hold rule:
// with "Pause on Error" on, a text held for P ms (an error) is not replaced before P ms
// have passed; a later text either waits (its sender is told how long, at most 4000 ms)
// or is dropped (a progress text with no hold of its own). The headless host writes
// each shown text as one line to standard error, so a service's log reads like its
// status bar. Owned by the main window; used on the user-interface thread. Worker
// threads reach it through MsgStatusText (ShowStatusFrom below).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/MessageWindow.h"

namespace gq {

class StatusBar {
 public:
  using Clock = std::chrono::steady_clock;

  // shown: where shown texts go (default: one line on standard error).
  explicit StatusBar(std::function<void(const std::string&)> shown = nullptr);

  // Applies the hold rule to text with hold time holdMs (-1: none of its own, but it
  // waits for the previous one). Returns 0 when the text was shown or dropped, or the
  // milliseconds the sender must wait before offering it again.
  int Offer(const std::string& text, int holdMs, Clock::time_point now = Clock::now());

  // Shows text from the user-interface thread: waits (handling sent messages) as long
  // as the rule asks, then shows it.
  void Show(const std::string& text, int holdMs);

  // Replaces where shown texts go (the main window once it exists).
  void SetShown(std::function<void(const std::string&)> shown) { m_Shown = std::move(shown); }

  const std::string& Current() const { return m_Current; }
  bool m_PauseOnError = true;

 private:
  std::function<void(const std::string&)> m_Shown;
  std::string m_Current;
  int m_PreviousHold = 0;
  Clock::time_point m_ShownAt{};
};

// Shows text through MsgStatusText from any thread: sends, and while the answer is a
// positive wait, sleeps that long and sends again.
void ShowStatusFrom(const MessageTarget& window, const std::string& text, int holdMs);

}  // namespace gq
