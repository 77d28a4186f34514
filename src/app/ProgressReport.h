// The progress of a long gqtool command on standard error: on a terminal one line (a
// TerminalLine) that a ticking thread redraws four times a second; otherwise (a log file, a pipe) a
// plain line every 10 seconds, so that batch jobs show life. Phase lines ("saving ...") are written
// at once. Start, Stop, Phase, Hold and Resume on the command's thread; Clear from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/TerminalLine.h"

namespace gq {

struct ProgressCounts {
  int done = 0;   // files handled
  int total = 0;  // files found so far
  int added = 0;  // pictures taken
};

// The text of a progress line after seconds:
// "120/400 files (30%), 100 added, 12.0 files/s, elapsed 0:10, ETA 0:23".
// The ETA is left out while nothing is done yet.
std::string ProgressText(const ProgressCounts& counts, double seconds);

class ProgressReport {
 public:
  // Writes to stream: one line redrawn in place when it is a terminal, plain lines
  // otherwise.
  ProgressReport(FILE* stream, std::function<ProgressCounts()> counts);
  ~ProgressReport();
  ProgressReport(const ProgressReport&) = delete;
  ProgressReport& operator=(const ProgressReport&) = delete;

  void Start();
  void Stop();
  // Writes a phase line now, such as "saving 1200 pictures to DB".
  void Phase(const std::string& text);
  // Writes a phase line that the progress line does not replace until Resume: a phase
  // in the middle of the run. Resume writes the progress line at once.
  void Hold(const std::string& text);
  void Resume();
  // Removes the live line so that another line can be written.
  void Clear();

 private:
  void Run();
  void WriteProgress();  // with m_Mutex held
  void Write(const std::string& text);

  FILE* const m_Stream;
  const bool m_Live;
  TerminalLine m_Line;
  const std::function<ProgressCounts()> m_Counts;
  std::chrono::steady_clock::time_point m_Start{};
  std::mutex m_Mutex;  // guards m_Done, m_Held and the plain lines
  std::condition_variable m_Wake;
  bool m_Done = false;
  bool m_Held = false;
  std::thread m_Thread;
};

}  // namespace gq
