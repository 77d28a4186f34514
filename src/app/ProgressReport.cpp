#include "app/ProgressReport.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace gq {
namespace {

constexpr auto kLiveInterval = std::chrono::milliseconds(250);
constexpr auto kPlainInterval = std::chrono::seconds(10);

// "0:07", "12:30" or "2:05:09".
std::string Duration(double seconds) {
  const long total = std::lround(std::max(seconds, 0.0));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

}  // namespace

std::string ProgressText(const ProgressCounts& counts, double seconds) {
  const int total = std::max(counts.total, counts.done);
  const int percent = total > 0 ? static_cast<int>(100.0 * counts.done / total) : 0;
  const double rate = seconds > 0 ? counts.done / seconds : 0.0;
  char text[160];
  std::snprintf(text, sizeof text, "%d/%d files (%d%%), %d added, %.1f files/s, elapsed %s",
                counts.done, total, percent, counts.added, rate, Duration(seconds).c_str());
  std::string line = text;
  if (rate > 0) line += ", ETA " + Duration((total - counts.done) / rate);
  return line;
}

ProgressReport::ProgressReport(FILE* stream, std::function<ProgressCounts()> counts)
    : m_Stream(stream),
      m_Live(isatty(fileno(stream)) == 1),
      m_Line(stream),
      m_Counts(std::move(counts)) {}

ProgressReport::~ProgressReport() { Stop(); }

void ProgressReport::Start() {
  m_Start = std::chrono::steady_clock::now();
  m_Thread = std::thread([this] { Run(); });
}

void ProgressReport::Stop() {
  if (!m_Thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Done = true;
  }
  m_Wake.notify_all();
  m_Thread.join();
  Clear();
}

void ProgressReport::Phase(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  Write(text);
}

void ProgressReport::Hold(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  m_Held = true;
  Write(text);
}

void ProgressReport::Resume() {
  std::lock_guard<std::mutex> lock(m_Mutex);
  m_Held = false;
  WriteProgress();
}

void ProgressReport::Clear() { m_Line.Clear(); }

void ProgressReport::Run() {
  std::unique_lock<std::mutex> lock(m_Mutex);
  const auto interval = m_Live ? std::chrono::steady_clock::duration(kLiveInterval)
                               : std::chrono::steady_clock::duration(kPlainInterval);
  while (!m_Wake.wait_for(lock, interval, [this] { return m_Done; })) {
    if (!m_Held) WriteProgress();
  }
}

void ProgressReport::WriteProgress() {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - m_Start).count();
  Write(ProgressText(m_Counts(), seconds));
}

void ProgressReport::Write(const std::string& text) {
  if (m_Live) {
    m_Line.Show(text, true);
    return;
  }
  std::fprintf(m_Stream, "%s\n", text.c_str());
  std::fflush(m_Stream);
}

}  // namespace gq
