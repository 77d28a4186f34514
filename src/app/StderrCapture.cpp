#include "app/StderrCapture.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace gq {
namespace {

// A child process (an import converter left running) may keep the pipe open after the
// capture ends; the reader then stops after this long without data instead of waiting.
constexpr int kPollMs = 100;

}  // namespace

StderrCapture::StderrCapture(std::function<void(const std::string& line)> onLine)
    : m_OnLine(std::move(onLine)) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return;
  m_Saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  FILE* terminal = m_Saved >= 0 ? fdopen(fcntl(m_Saved, F_DUPFD_CLOEXEC, 3), "w") : nullptr;
  if (terminal == nullptr || dup2(ends[1], STDERR_FILENO) < 0) {
    if (terminal) std::fclose(terminal);
    if (m_Saved >= 0) close(m_Saved);
    m_Saved = -1;
    close(ends[0]);
    close(ends[1]);
    return;
  }
  std::setvbuf(terminal, nullptr, _IOLBF, 0);
  close(ends[1]);
  m_Pipe = ends[0];
  m_Terminal = terminal;
  m_Reader = std::thread([this] { Read(); });
}

StderrCapture::~StderrCapture() {
  if (m_Saved < 0) return;
  std::fflush(stderr);
  dup2(m_Saved, STDERR_FILENO);
  close(m_Saved);
  m_Done = true;
  m_Reader.join();
  close(m_Pipe);
  std::fclose(m_Terminal);
}

void StderrCapture::Read() {
  std::string pending;
  char buffer[4096];
  for (;;) {
    pollfd readable{m_Pipe, POLLIN, 0};
    const int ready = poll(&readable, 1, kPollMs);
    if (ready <= 0) {
      if (m_Done) break;
      continue;
    }
    const ssize_t got = read(m_Pipe, buffer, sizeof buffer);
    if (got <= 0) break;
    pending.append(buffer, static_cast<size_t>(got));
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
      m_OnLine(pending.substr(0, end));
  }
  if (!pending.empty()) m_OnLine(pending);
}

}  // namespace gq
