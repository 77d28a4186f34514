#include "loading/OpenCvHighGui/decode_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>

namespace gq {
namespace {

// A picture that does not fit beside the ones being decoded waits for them, and a small
// one that would fit does not overtake it.
TEST(DecodeMemoryTest, ARequestWaitsForMemoryInTurn) {
  DecodeMemoryBudget budget(100);
  std::mutex mutex;
  std::string order;  // guarded by mutex
  auto decode = [&](uint64_t bytes, char name) {
    budget.Reserve(bytes);
    {
      std::lock_guard<std::mutex> lock(mutex);
      order += name;
    }
    budget.Release(bytes);
  };
  budget.Reserve(60);
  std::thread large(decode, 50, 'L');
  budget.AwaitWaiting(1);
  std::thread small(decode, 10, 's');
  budget.AwaitWaiting(2);
  {
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(order, "");
  }
  budget.Release(60);
  large.join();
  small.join();
  // Once the large one holds its memory both fit, so either may finish first.
  std::sort(order.begin(), order.end());
  EXPECT_EQ(order, "Ls");
  budget.Reserve(100);  // everything was given back
  budget.Release(100);
}

}  // namespace
}  // namespace gq
