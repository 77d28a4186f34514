#include "platform/InstanceChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "platform/NamedMutex.h"

namespace gq {
namespace {

constexpr uint32_t kMaxBlockBytes = 1 << 20;
constexpr int kExchangeTimeoutMs = 5000;

bool FillAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Waits until fd is ready for events, at most timeoutMs.
bool Ready(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  int n;
  do {
    n = poll(&p, 1, timeoutMs);
  } while (n < 0 && errno == EINTR);
  return n > 0;
}

bool ReadAll(int fd, void* buffer, size_t size) {
  auto* bytes = static_cast<char*>(buffer);
  while (size > 0) {
    if (!Ready(fd, POLLIN, kExchangeTimeoutMs)) return false;
    ssize_t n = read(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, const void* buffer, size_t size) {
  const auto* bytes = static_cast<const char*>(buffer);
  while (size > 0) {
    ssize_t n = send(fd, bytes, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool SameUser(int fd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
         credentials.uid == getuid();
}

int Connect(const std::string& path) {
  sockaddr_un address;
  if (!FillAddress(path, &address)) return -1;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::string InstanceChannelPath(const std::string& className) {
  std::string folder = RuntimeFolder();
  if (folder.empty()) return std::string();
  std::string name = SafeFileName(className);
  if (name.size() > 60)
    name = name.substr(0, 40) + "_" + std::to_string(std::hash<std::string>{}(className));
  return folder + "/" + name + ".window";
}

InstanceChannelServer::~InstanceChannelServer() { Stop(); }

bool InstanceChannelServer::Start(const std::string& className, MessageTarget window) {
  Stop();
  m_Path = InstanceChannelPath(className);
  sockaddr_un address;
  if (m_Path.empty() || !FillAddress(m_Path, &address)) return false;
  m_Listen = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_Listen < 0) return false;
  if (bind(m_Listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    // A socket file left by a program that ended is taken over; a live one is not.
    int other = errno == EADDRINUSE ? Connect(m_Path) : -2;
    if (other >= 0) close(other);
    if (other != -1 || unlink(m_Path.c_str()) != 0 ||
        bind(m_Listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(m_Listen);
      m_Listen = -1;
      return false;
    }
  }
  if (listen(m_Listen, 16) != 0 || pipe2(m_Wake, O_CLOEXEC) != 0) {
    close(m_Listen);
    m_Listen = -1;
    unlink(m_Path.c_str());
    return false;
  }
  m_Window = std::move(window);
  m_Thread = std::thread([this] { Serve(); });
  return true;
}

void InstanceChannelServer::Stop() {
  if (m_Thread.joinable()) {
    char stop = 1;
    (void)!write(m_Wake[1], &stop, 1);
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
    if (fds[1].revents) return;
    int client = accept4(m_Listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Answer(client);
    close(client);
  }
}

void InstanceChannelServer::Answer(int client) {
  uint32_t head[3];  // wParam, tag, byte count
  if (!SameUser(client) || !ReadAll(client, head, sizeof head) || head[2] > kMaxBlockBytes) return;
  CopyData block;
  block.tag = head[1];
  block.data.resize(head[2]);
  if (head[2] > 0 && !ReadAll(client, block.data.data(), head[2])) return;
  auto result = static_cast<int32_t>(
      m_Window.Send(kMsgCopyData, head[0], reinterpret_cast<intptr_t>(&block)));
  WriteAll(client, &result, sizeof result);
}

int SendCopyData(const std::string& className, uint32_t wParam, uint32_t tag,
                 const std::string& data) {
  std::string path = InstanceChannelPath(className);
  int fd = path.empty() ? -1 : Connect(path);
  if (fd < 0) return -1;
  uint32_t head[3] = {wParam, tag, static_cast<uint32_t>(data.size())};
  int32_t result = -1;
  // The receiver may work for a while (a local query): wait as long as it takes, but
  // give up when it ends without an answer.
  bool ok = WriteAll(fd, head, sizeof head) && WriteAll(fd, data.data(), data.size());
  if (ok) {
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
    ok = read(fd, &result, sizeof result) == static_cast<ssize_t>(sizeof result);
  }
  close(fd);
  return ok ? result : -1;
}

}  // namespace gq
