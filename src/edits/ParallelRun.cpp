#include "edits/ParallelRun.h"

#include <system_error>
#include <thread>
#include <vector>

namespace gq {

int ThreadsToUse(int threads) {
  if (threads > 0) return threads;
  return std::max(1u, std::thread::hardware_concurrency());
}

void RunParallel(int threads, const std::function<void(bool caller)>& work) {
  std::vector<std::thread> helpers;
  for (int i = 1; i < threads; ++i) {
    try {
      helpers.emplace_back(work, false);
    } catch (const std::system_error&) {
      break;  // the threads started so far and this one share the work
    }
  }
  work(true);
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace gq
