// The busy count of the user-interface thread: raised while the window handles a
// hand-over or shows a blocking prompt of the database, so that records handed over
// meanwhile are refused (the loader offers them again later).
#pragma once

#include <atomic>

namespace gq {

// Defined with the database; read by the loading side on any thread.
extern std::atomic<int> g_BusyCount;

// Holds the busy count raised for its lifetime.
class BusyScope {
 public:
  BusyScope() { ++g_BusyCount; }
  ~BusyScope() { --g_BusyCount; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
};

}  // namespace gq
