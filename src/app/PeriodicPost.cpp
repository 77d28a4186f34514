#include "app/PeriodicPost.h"

namespace gq {

PeriodicPost::PeriodicPost(MessageTarget target, unsigned message, std::chrono::seconds interval)
    : m_Target(std::move(target)), m_Message(message), m_Interval(interval) {
  m_Thread = std::thread([this] { Run(); });
}

PeriodicPost::~PeriodicPost() {
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Stop = true;
  }
  m_Wake.notify_all();
  m_Thread.join();
}

void PeriodicPost::Run() {
  std::unique_lock<std::mutex> lock(m_Mutex);
  while (!m_Wake.wait_for(lock, m_Interval, [this] { return m_Stop; })) m_Target.Post(m_Message);
}

}  // namespace gq
