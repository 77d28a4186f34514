#include "frame/HeadlessHost.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <thread>

namespace gq {
namespace {

sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

// Turns SIGINT/SIGTERM into kMsgClose for the host until stopped; joined by its owner.
class SignalWatcher {
 public:
  explicit SignalWatcher(MessageTarget target) {
    sigset_t set = TerminationSignals();
    m_SignalFd = signalfd(-1, &set, SFD_CLOEXEC);
    m_StopFd = eventfd(0, EFD_CLOEXEC);
    if (m_SignalFd < 0 || m_StopFd < 0) return;
    m_Thread = std::thread([this, target] { Watch(target); });
  }
  ~SignalWatcher() {
    if (m_Thread.joinable()) {
      uint64_t one = 1;
      (void)!write(m_StopFd, &one, sizeof one);
      m_Thread.join();
    }
    if (m_SignalFd >= 0) close(m_SignalFd);
    if (m_StopFd >= 0) close(m_StopFd);
  }

 private:
  void Watch(MessageTarget target) {
    pollfd fds[2] = {{m_SignalFd, POLLIN, 0}, {m_StopFd, POLLIN, 0}};
    for (;;) {
      if (poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents) return;
      signalfd_siginfo info;
      if (read(m_SignalFd, &info, sizeof info) == sizeof info)
        target.Post(kMsgClose, kCloseBySignal);
    }
  }

  int m_SignalFd = -1;
  int m_StopFd = -1;
  std::thread m_Thread;
};

}  // namespace

HeadlessHost::HeadlessHost()
    : m_Window([this](unsigned message, uintptr_t wParam, intptr_t lParam) {
        return Handle(message, wParam, lParam);
      }) {}

HeadlessHost::~HeadlessHost() = default;

void HeadlessHost::BlockTerminationSignals() {
  sigset_t set = TerminationSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void HeadlessHost::SetHandler(unsigned message, MessageHandler handler) {
  m_Handlers[message] = std::move(handler);
}

intptr_t HeadlessHost::Handle(unsigned message, uintptr_t wParam, intptr_t lParam) {
  auto handler = m_Handlers.find(message);
  if (handler != m_Handlers.end()) return handler->second(message, wParam, lParam);
  if (message == kMsgClose) PostQuitMessage(0);
  return 0;
}

int HeadlessHost::Run() {
  SignalWatcher watcher(Target());
  return RunMessageLoop();
}

}  // namespace gq
