// A thread that posts one message to a window at a fixed interval, so that the window's
// owner thread does something periodic (such as saving) between the messages of its
// loop. The thread is started by the constructor and stopped and joined by the
// destructor; both run on the same thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/MessageWindow.h"

namespace gq {

class PeriodicPost {
 public:
  PeriodicPost(MessageTarget target, unsigned message, std::chrono::seconds interval);
  ~PeriodicPost();
  PeriodicPost(const PeriodicPost&) = delete;
  PeriodicPost& operator=(const PeriodicPost&) = delete;

 private:
  void Run();

  const MessageTarget m_Target;
  const unsigned m_Message;
  const std::chrono::seconds m_Interval;
  std::mutex m_Mutex;  // guards m_Stop
  std::condition_variable m_Wake;
  bool m_Stop = false;
  std::thread m_Thread;
};

}  // namespace gq
