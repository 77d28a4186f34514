// One progress line of a gqtool command on standard error, drawn only when standard
// error is a terminal: each Show replaces the line, at most every 200 ms unless forced;
// Clear removes it so that an ordinary line can follow. Show and Clear may be called
// from any thread (a ticking thread may draw while the command's thread reports).
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace gq {

class TerminalLine {
 public:
  // Draws on stream, or on standard error when none is given; draws nothing when the
  // stream is not a terminal.
  explicit TerminalLine(FILE* stream = stderr);
  ~TerminalLine();
  TerminalLine(const TerminalLine&) = delete;
  TerminalLine& operator=(const TerminalLine&) = delete;

  void Show(const std::string& text, bool force = false);
  void Clear();

 private:
  FILE* const m_Stream;
  const bool m_Terminal;
  std::mutex m_Mutex;  // guards m_Shown, m_Last and the drawing
  bool m_Shown = false;
  std::chrono::steady_clock::time_point m_Last{};
};

}  // namespace gq
