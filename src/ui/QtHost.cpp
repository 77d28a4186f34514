#include "ui/QtHost.h"

#include <errno.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QSocketNotifier>
#include <QThread>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

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

// Nested loops run by hand on the main thread (HandPumped scopes).
int g_handPumped = 0;

constexpr int kDisplayConnectMs = 2000;

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Whether a stream socket connects to address within kDisplayConnectMs.
bool Connects(int family, const sockaddr* address, socklen_t length) {
  int fd = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool connected = connect(fd, address, length) == 0;
  if (!connected && errno == EINPROGRESS) {
    pollfd wait = {fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    connected = poll(&wait, 1, kDisplayConnectMs) == 1 &&
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
  }
  close(fd);
  return connected;
}

// Whether the Unix socket at path (in the abstract namespace with abstract) connects.
bool ConnectsLocal(const std::string& path, bool abstract) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() +
                                            (abstract ? 0 : 1));
  return Connects(AF_UNIX, reinterpret_cast<sockaddr*>(&address), length);
}

bool ConnectsTcp(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool connected = false;
  for (addrinfo* a = found; a && !connected; a = a->ai_next) {
    connected = Connects(a->ai_family, a->ai_addr, a->ai_addrlen);
  }
  freeaddrinfo(found);
  return connected;
}

bool WaylandReachable() {
  if (!IsSet("WAYLAND_DISPLAY")) return false;
  std::string display = std::getenv("WAYLAND_DISPLAY");
  if (display[0] != '/') {
    if (!IsSet("XDG_RUNTIME_DIR")) return false;
    display = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/" + display;
  }
  return ConnectsLocal(display, false);
}

// DISPLAY is [host]:number[.screen]; no host (or "unix") is the local socket.
bool XReachable() {
  if (!IsSet("DISPLAY")) return false;
  const std::string display = std::getenv("DISPLAY");
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  const int number = std::atoi(display.c_str() + colon + 1);
  if (host.empty() || host == "unix") {
    const std::string socketPath = "/tmp/.X11-unix/X" + std::to_string(number);
    return ConnectsLocal(socketPath, false) || ConnectsLocal(socketPath, true);
  }
  return ConnectsTcp(host, 6000 + number);
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

  bool Nested() const {
    return depth > 0 || g_handPumped > 0 || QThread::currentThread()->loopLevel() > 1;
  }

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
        target.Post(kMsgClose, kCloseBySignal);
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

QtHost::HandPumped::HandPumped() { ++g_handPumped; }

QtHost::HandPumped::~HandPumped() { --g_handPumped; }

bool QtHost::DisplayAvailable() {
  const std::string platform = IsSet("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
  if (!platform.empty() && platform.rfind("xcb", 0) != 0 && platform.rfind("wayland", 0) != 0) {
    return true;
  }
  return WaylandReachable() || XReachable();
}

}  // namespace gq
