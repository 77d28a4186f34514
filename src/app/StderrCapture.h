// Catches what libraries write to standard error (file descriptor 2) while it lives,
// such as the picture codecs' own warnings ("libpng warning: iCCP: ..."), so that they
// do not break into the terminal raw: each line goes to a callback on a reader thread.
// The command's own messages go to Terminal(), a stream on the original standard error.
// Made and destroyed on the command's thread.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

namespace gq {

class StderrCapture {
 public:
  // Starts catching; when the pipe cannot be made, nothing is caught and Terminal() is
  // standard error itself.
  explicit StderrCapture(std::function<void(const std::string& line)> onLine);
  // Puts standard error back and hands over the lines written before.
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  FILE* Terminal() const { return m_Terminal; }

 private:
  void Read();

  std::function<void(const std::string&)> m_OnLine;
  int m_Saved = -1;  // the original standard error
  int m_Pipe = -1;   // the reading end
  FILE* m_Terminal = stderr;
  std::atomic<bool> m_Done{false};
  std::thread m_Reader;
};

}  // namespace gq
