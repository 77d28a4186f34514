// The memory that picture decoding may take at once, summed over every thread that
// decodes: a picture whose working set does not fit beside the decodes that run waits
// for them instead of running beside them. Requests are served in the order they came,
// so small pictures never keep a large one waiting for ever. Any thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace gq {

class DecodeMemoryBudget {
 public:
  explicit DecodeMemoryBudget(uint64_t capacity) : m_Capacity(capacity) {}

  // Waits until bytes (at most the capacity) fit beside what is reserved and every
  // earlier request has been served, then reserves them.
  void Reserve(uint64_t bytes);
  void Release(uint64_t bytes);
  // Blocks until at least count requests are waiting (for tests).
  void AwaitWaiting(int count);

 private:
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
  const uint64_t m_Capacity;
  uint64_t m_Reserved = 0;    // guarded by m_Mutex
  uint64_t m_NextTicket = 0;  // guarded by m_Mutex
  uint64_t m_Serving = 0;     // guarded by m_Mutex: the ticket whose turn it is
};

// The budget of cvLoadImage: the size of the largest buffer cvAlloc grants, so one
// picture of the largest size accepted runs alone.
DecodeMemoryBudget& DecodeMemory();

// While one lives on a thread, the buffers of the pictures that cvLoadImage returns on
// that thread stay counted in DecodeMemory() until it ends (its owner frees them before
// that); without one they count only while they are decoded. Lives on the stack.
class DecodeMemoryHold {
 public:
  DecodeMemoryHold();
  ~DecodeMemoryHold();
  DecodeMemoryHold(const DecodeMemoryHold&) = delete;
  DecodeMemoryHold& operator=(const DecodeMemoryHold&) = delete;

  // Adds bytes reserved on this thread to its hold; false when it has none.
  static bool Keep(uint64_t bytes);

 private:
  DecodeMemoryHold* m_Outer;
  uint64_t m_Kept = 0;
};

}  // namespace gq
