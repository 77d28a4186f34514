#include "loading/FileCounter.h"

namespace gq {

void FileCounter::Run() {
  m_Sink->Status("Preparing loading...", 0);
  ++g_LoaderState.activeCounters;
  if (m_Input.update) m_Sink->Status("Preparing loading for update...", 0);
  InputWalker(*this).Walk(m_Input);
  --g_LoaderState.activeCounters;
  m_Sink->Status("Loading...", 0);
}

bool FileCounter::GoOn() { return WaitWhilePaused(*m_Sink, nullptr); }

void FileCounter::File(const std::string&, LoadMode, bool) { ++g_LoaderState.total; }

void FileCounter::Refused(const std::string&, bool) {}

void FileCounter::UpdateDirective() { m_Sink->Status("Preparing loading for update...", 0); }

bool FileCounter::FileCount(int count) {
  g_LoaderState.total += count;
  return false;
}

}  // namespace gq
