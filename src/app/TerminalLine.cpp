#include "app/TerminalLine.h"

#include <unistd.h>

namespace gq {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

}  // namespace

TerminalLine::TerminalLine(FILE* stream)
    : m_Stream(stream), m_Terminal(isatty(fileno(stream)) == 1) {}

TerminalLine::~TerminalLine() { Clear(); }

void TerminalLine::Show(const std::string& text, bool force) {
  if (!m_Terminal) return;
  std::lock_guard<std::mutex> lock(m_Mutex);
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - m_Last < kRedrawInterval) return;
  m_Last = now;
  std::fprintf(m_Stream, "\r\033[K%s", text.c_str());
  std::fflush(m_Stream);
  m_Shown = true;
}

void TerminalLine::Clear() {
  std::lock_guard<std::mutex> lock(m_Mutex);
  if (!m_Shown) return;
  std::fputs("\r\033[K", m_Stream);
  std::fflush(m_Stream);
  m_Shown = false;
}

}  // namespace gq
