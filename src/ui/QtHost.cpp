#include "ui/QtHost.h"

#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QSocketNotifier>
#include <QThread>
#include <chrono>
#include <cstdlib>

#include "ui/QtMessageBox.h"

namespace gq {
namespace {

// Posted messages are dispatched in slices of this length, so the window still paints
// while a loader floods the queue.
constexpr std::chrono::milliseconds kDispatchSlice{20};

// An eventfd that any thread may signal; shared with the arrival callback, so a thread
// that fetched the callback just before the host went still writes to a live fd.
struct Waker {
  int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  ~Waker() {
    if (fd >= 0) close(fd);
  }
  void Wake() const {
    uint64_t one = 1;
    (void)!write(fd, &one, sizeof one);
  }
  void Drain() const {
    uint64_t count;
    (void)!read(fd, &count, sizeof count);
  }
};

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

}  // namespace

struct QtHost::Loop {
  explicit Loop(MessageTarget target) : target(std::move(target)) {
    if (!QApplication::instance()) {
      static int argc = 1;
      static char name[] = "GlimmerQuorum";
      static char* argv[] = {name, nullptr};
      ownApp = std::make_unique<QApplication>(argc, argv);
    }
    QApplication::setQuitOnLastWindowClosed(false);
    boxes = std::make_unique<QtMessageBoxRoute>();
    wakeNotifier = std::make_unique<QSocketNotifier>(waker->fd, QSocketNotifier::Read);
    QObject::connect(wakeNotifier.get(), &QSocketNotifier::activated, [this] { Pump(); });
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     wakeNotifier.get(), [this] { WakeForDeferred(); });
    SetArrivalCallback([waker = waker] { waker->Wake(); });
  }

  ~Loop() { SetArrivalCallback(nullptr); }

  bool Nested() const { return depth > 0 || QThread::currentThread()->loopLevel() > 1; }

  void Pump() {
    waker->Drain();
    bool nested = Nested();
    ++depth;
    if (nested) {
      HandleSentMessages();
    } else {
      DispatchPosted();
    }
    --depth;
  }

  void DispatchPosted() {
    auto end = std::chrono::steady_clock::now() + kDispatchSlice;
    Message message;
    for (;;) {
      TakeResult taken = TakeMessage(&message);
      if (taken == TakeResult::kNone) return;
      if (taken == TakeResult::kQuit) {
        QCoreApplication::exit(QuitCode());
        return;
      }
      DispatchMessage(message);
      if (std::chrono::steady_clock::now() >= end) {
        waker->Wake();
        return;
      }
    }
  }

  // Posted messages left queued by a nested loop get their turn once the top level
  // is about to wait again.
  void WakeForDeferred() {
    if (!Nested() && HasPostedMessages()) waker->Wake();
  }

  // Turns SIGINT/SIGTERM into kMsgClose while the loop runs.
  void WatchSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    signalFd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd < 0) return;
    signalNotifier = std::make_unique<QSocketNotifier>(signalFd, QSocketNotifier::Read);
    QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [this] {
      signalfd_siginfo info;
      while (read(signalFd, &info, sizeof info) == sizeof info) {
        boxes.reset();  // nobody may be there to answer: boxes take their default button
        target.Post(kMsgClose);
      }
    });
  }

  void StopWatchingSignals() {
    signalNotifier.reset();
    if (signalFd >= 0) close(signalFd);
    signalFd = -1;
  }

  MessageTarget target;
  std::unique_ptr<QApplication> ownApp;
  std::unique_ptr<QtMessageBoxRoute> boxes;
  std::shared_ptr<Waker> waker = std::make_shared<Waker>();
  std::unique_ptr<QSocketNotifier> wakeNotifier;
  int signalFd = -1;
  std::unique_ptr<QSocketNotifier> signalNotifier;
  int depth = 0;  // Pump calls on the stack
};

QtHost::QtHost() : m_Loop(std::make_unique<Loop>(m_Core.Target())) {}

QtHost::~QtHost() = default;

int QtHost::Run() {
  m_Loop->WatchSignals();
  m_Loop->waker->Wake();  // what arrived before the loop started
  int code = QApplication::exec();
  m_Loop->StopWatchingSignals();
  return code;
}

bool QtHost::DisplayAvailable() {
  return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM");
}

}  // namespace gq
