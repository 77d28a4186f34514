#include "platform/InstanceChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

#include "platform/NamedMutex.h"

namespace gq {
namespace {

using Clock = std::chrono::steady_clock;

// How long the receiver waits for the next part of a block before it gives up.
constexpr auto kSilenceLimit = std::chrono::seconds(5);
constexpr size_t kChunkBytes = 1 << 16;
constexpr size_t kLongestClassFileName = 60;

bool FillAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Waits until fd is ready for events; false when the deadline passes first or stopFd
// (when not -1) becomes readable.
bool Ready(int fd, short events, Clock::time_point deadline, int stopFd) {
  for (;;) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    int n = poll(fds, stopFd >= 0 ? 2 : 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || (stopFd >= 0 && fds[1].revents != 0)) return false;
    return true;
  }
}

bool ReadAll(int fd, void* buffer, size_t size, Clock::time_point deadline, int stopFd) {
  auto* bytes = static_cast<char*>(buffer);
  while (size > 0) {
    if (!Ready(fd, POLLIN, deadline, stopFd)) return false;
    ssize_t n = read(fd, bytes, size);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, const void* buffer, size_t size, Clock::time_point deadline) {
  const auto* bytes = static_cast<const char*>(buffer);
  while (size > 0) {
    ssize_t n = send(fd, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      if (!Ready(fd, POLLOUT, deadline, -1)) return false;
      continue;
    }
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Reads a block of the announced size as it arrives, so an announcement alone never
// makes the receiver allocate.
bool ReadBlock(int fd, uint32_t size, int stopFd, std::string* data) {
  try {
    while (data->size() < size) {
      size_t at = data->size();
      size_t chunk = std::min<size_t>(size - at, kChunkBytes);
      data->resize(at + chunk);
      if (!ReadAll(fd, data->data() + at, chunk, Clock::now() + kSilenceLimit, stopFd)) {
        return false;
      }
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool SameUser(int fd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
         credentials.uid == getuid();
}

// Whether the sender closed its side: it gave up waiting for the answer.
bool SenderGone(int fd) {
  pollfd p{fd, POLLRDHUP, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

// A connected socket without waiting; -1 with errno when none (EAGAIN: the listener is
// alive but its queue is full).
int Connect(const std::string& path) {
  sockaddr_un address;
  if (!FillAddress(path, &address)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

// Whether a live window listens on path (a socket file left by a program that ended
// refuses connections).
bool SomeoneListens(const std::string& path) {
  int fd = Connect(path);
  if (fd >= 0) close(fd);
  return fd >= 0 || errno == EAGAIN;
}

// A socket listening on path, taking over a socket file left by a program that ended;
// -1 with the reason in *error.
int ListenAt(const std::string& path, std::string* error) {
  sockaddr_un address;
  FillAddress(path, &address);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::strerror(errno);
    return -1;
  }
  auto* raw = reinterpret_cast<sockaddr*>(&address);
  bool bound = bind(fd, raw, sizeof address) == 0;
  if (!bound && errno == EADDRINUSE) {
    if (SomeoneListens(path)) {
      *error = "another window of this class listens there";
      close(fd);
      return -1;
    }
    bound = unlink(path.c_str()) == 0 && bind(fd, raw, sizeof address) == 0;
  }
  if (!bound || listen(fd, 16) != 0) {
    *error = std::strerror(errno);
    if (bound) unlink(path.c_str());
    close(fd);
    return -1;
  }
  return fd;
}

bool Fits(const std::string& path) { return path.size() < sizeof(sockaddr_un{}.sun_path); }

}  // namespace

std::string InstanceChannelPath(const std::string& className, std::string* why) {
  std::string name = EncodeFileName(className, kLongestClassFileName) + ".window";
  std::string folder = RuntimeFolder();
  if (!folder.empty() && Fits(folder + "/" + name)) return folder + "/" + name;
  std::string shortFolder = ShortRuntimeFolder();
  if (!shortFolder.empty() && Fits(shortFolder + "/" + name)) return shortFolder + "/" + name;
  if (why) {
    *why = folder.empty() ? "no private runtime folder (XDG_RUNTIME_DIR or /tmp) can be used"
                          : "the socket path in " + folder + " is too long and " +
                                "/tmp/GlimmerQuorum-<uid> cannot be used";
  }
  return std::string();
}

InstanceChannelServer::~InstanceChannelServer() { Stop(); }

bool InstanceChannelServer::Start(const std::string& className, MessageTarget window,
                                  std::string* why) {
  Stop();
  std::string path = InstanceChannelPath(className, why);
  if (path.empty()) return false;
  std::string error;
  m_Listen = ListenAt(path, &error);
  if (m_Listen >= 0 && pipe2(m_Wake, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    close(m_Listen);
    m_Listen = -1;
    unlink(path.c_str());
  }
  if (m_Listen < 0) {
    if (why) *why = path + ": " + error;
    return false;
  }
  m_Path = path;
  m_Window = std::move(window);
  m_Stopping = false;
  m_Finished = false;
  m_Thread = std::thread([this] { Serve(); });
  return true;
}

void InstanceChannelServer::Stop() {
  if (m_Thread.joinable()) {
    m_Stopping = true;
    char stop = 1;
    (void)!write(m_Wake[1], &stop, 1);
    while (!WaitHandlingSent([this] { return m_Finished.load(); }, std::chrono::seconds(1))) {
    }
    m_Thread.join();
  }
  for (int* fd : {&m_Listen, &m_Wake[0], &m_Wake[1]}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  if (!m_Path.empty()) unlink(m_Path.c_str());
  m_Path.clear();
}

void InstanceChannelServer::Serve() {
  for (;;) {
    pollfd fds[2] = {{m_Listen, POLLIN, 0}, {m_Wake[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) break;
    int client = accept4(m_Listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Answer(client);
    close(client);
  }
  m_Finished = true;
}

void InstanceChannelServer::Answer(int client) {
  uint32_t head[3];  // wParam, tag, byte count
  if (!SameUser(client) ||
      !ReadAll(client, head, sizeof head, Clock::now() + kSilenceLimit, m_Wake[0])) {
    return;
  }
  CopyData block;
  block.tag = head[1];
  if (!ReadBlock(client, head[2], m_Wake[0], &block.data) || SenderGone(client)) return;
  int32_t result = 0;  // a stopping channel declines
  if (!m_Stopping) {
    result = static_cast<int32_t>(
        m_Window.Send(kMsgCopyData, head[0], reinterpret_cast<intptr_t>(&block)));
  }
  WriteAll(client, &result, sizeof result, Clock::now() + kSilenceLimit);
}

int SendCopyData(const std::string& className, uint32_t wParam, uint32_t tag,
                 const std::string& data, std::chrono::milliseconds limit) {
  if (data.size() > UINT32_MAX) return -1;
  std::string path = InstanceChannelPath(className);
  int fd = path.empty() ? -1 : Connect(path);
  if (fd < 0) return -1;
  uint32_t head[3] = {wParam, tag, static_cast<uint32_t>(data.size())};
  int32_t result = -1;
  auto deadline = Clock::now() + limit;
  bool ok = WriteAll(fd, head, sizeof head, deadline) &&
            WriteAll(fd, data.data(), data.size(), deadline) &&
            ReadAll(fd, &result, sizeof result, Clock::now() + limit, -1);
  close(fd);
  return ok ? result : -1;
}

}  // namespace gq
