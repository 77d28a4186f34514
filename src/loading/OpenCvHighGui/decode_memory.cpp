#include "loading/OpenCvHighGui/decode_memory.h"

#include <algorithm>

#include "loading/OpenCvHighGui/opencv_stubs.h"

namespace gq {
namespace {

thread_local DecodeMemoryHold* t_Hold = nullptr;

}  // namespace

void DecodeMemoryBudget::Reserve(uint64_t bytes) {
  bytes = std::min(bytes, m_Capacity);
  std::unique_lock<std::mutex> lock(m_Mutex);
  const uint64_t ticket = m_NextTicket++;
  m_Changed.notify_all();
  m_Changed.wait(lock, [&] { return ticket == m_Serving && m_Reserved + bytes <= m_Capacity; });
  m_Reserved += bytes;
  ++m_Serving;
  m_Changed.notify_all();
}

void DecodeMemoryBudget::Release(uint64_t bytes) {
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Reserved -= std::min({bytes, m_Capacity, m_Reserved});
  }
  m_Changed.notify_all();
}

void DecodeMemoryBudget::AwaitWaiting(int count) {
  std::unique_lock<std::mutex> lock(m_Mutex);
  m_Changed.wait(lock, [&] { return m_NextTicket - m_Serving >= static_cast<uint64_t>(count); });
}

DecodeMemoryBudget& DecodeMemory() {
  static DecodeMemoryBudget budget(kMaxAllocation);
  return budget;
}

DecodeMemoryHold::DecodeMemoryHold() : m_Outer(t_Hold) { t_Hold = this; }

DecodeMemoryHold::~DecodeMemoryHold() {
  t_Hold = m_Outer;
  if (m_Kept > 0) DecodeMemory().Release(m_Kept);
}

bool DecodeMemoryHold::Keep(uint64_t bytes) {
  if (t_Hold == nullptr) return false;
  t_Hold->m_Kept += bytes;
  return true;
}

}  // namespace gq
