// Runs one piece of work on several threads at once: the calling thread and
// threads - 1 helpers, which it starts and joins before returning. The work shares its
// state through atomics it guards itself; the calling thread learns that it is the
// caller, so that it alone reports progress.
#pragma once

#include <functional>

namespace gq {

// The number of threads to use for threads (0 = one per core, at least 1).
int ThreadsToUse(int threads);

// Calls work(true) on this thread and work(false) on threads - 1 others; returns when all
// have returned. When no thread can be started, this thread does all the work.
void RunParallel(int threads, const std::function<void(bool caller)>& work);

}  // namespace gq
