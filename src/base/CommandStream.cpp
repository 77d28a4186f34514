#include "base/CommandStream.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>
#include <thread>
#include <utility>

#include "base/HighResClock.h"
#include "platform/FullTransfer.h"

namespace gq {
namespace {

constexpr size_t kCopyBlockSize = 4096;

// A non-blocking socket that has nothing to give or take yet is retried after this pause,
// so a partial transfer never spins.
void PauseBeforeRetry() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

bool IsWouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// write() on a pipe whose reader has gone raises SIGPIPE. The signal is blocked for the
// call and a SIGPIPE raised by it is taken back, so the caller sees EPIPE only.
ssize_t WriteFileWithoutSigpipe(int descriptor, const void* buffer, size_t n) {
  sigset_t pipeOnly;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  sigset_t previousMask;
  pthread_sigmask(SIG_BLOCK, &pipeOnly, &previousMask);
  sigset_t pending;
  sigpending(&pending);
  bool wasPending = sigismember(&pending, SIGPIPE) == 1;
  ssize_t written = write(descriptor, buffer, n);
  int writeError = errno;
  if (written < 0 && writeError == EPIPE && !wasPending) {
    const timespec noWait{0, 0};
    RetryOnInterrupt([&] { return sigtimedwait(&pipeOnly, nullptr, &noWait); });
  }
  pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  errno = writeError;
  return written;
}

bool HasStallLimit(const CommandStream& stream) {
  return stream.kind == kStreamSocket && stream.stallLimitMs > 0;
}

// A stream with a stall limit never blocks in recv or send; it waits in poll instead.
int NoWaitFlag(const CommandStream& stream) { return HasStallLimit(stream) ? MSG_DONTWAIT : 0; }

ssize_t ReadOnce(const CommandStream& stream, void* buffer, size_t n, int flags = 0) {
  return RetryOnInterrupt([&] {
    return stream.kind == kStreamSocket ? recv(stream.descriptor, buffer, n, flags)
                                        : read(stream.descriptor, buffer, n);
  });
}

bool ReadOneByte(const CommandStream& stream, char* byte, int32_t* budgetMs) {
  return WaitReadable(stream, budgetMs) && ReadSome(stream, byte, 1) == 1;
}

bool AppendWithin(std::string* line, char byte, size_t maxLength) {
  if (line->size() >= maxLength) return false;
  line->push_back(byte);
  return true;
}

// Waits on the socket up to timeoutMs for the events; ready also when the peer closed or
// the socket failed, so that the following transfer reports it.
bool PollFor(int descriptor, int16_t events, int timeoutMs) {
  pollfd entry{descriptor, events, 0};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int ready = poll(&entry, 1, timeoutMs);
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    timeoutMs = static_cast<int>(std::max<int64_t>(0, left.count()));
  }
}

// After a transfer that would have blocked: a stream with a stall limit waits for the
// socket up to the limit (false, errno ETIMEDOUT, when it passes); others pause briefly.
bool AwaitRetry(const CommandStream& stream, int16_t events) {
  if (!HasStallLimit(stream)) {
    PauseBeforeRetry();
    return true;
  }
  if (PollFor(stream.descriptor, events, stream.stallLimitMs)) return true;
  errno = ETIMEDOUT;
  return false;
}

}  // namespace

int64_t ReadSome(const CommandStream& stream, void* buffer, size_t n) {
  if (stream.kind == kStreamNone) return -1;
  return ReadOnce(stream, buffer, n);
}

int64_t ReadExact(const CommandStream& stream, void* buffer, size_t n) {
  if (stream.kind == kStreamNone) return -1;
  char* bytes = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < n) {
    ssize_t got = ReadOnce(stream, bytes + done, n - done, NoWaitFlag(stream));
    if (got == 0) break;
    if (got < 0) {
      if (!IsWouldBlock(errno) || !AwaitRetry(stream, POLLIN)) return -1;
      continue;
    }
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

int64_t Write(const CommandStream& stream, const void* buffer, size_t n) {
  if (stream.kind == kStreamNone) return -1;
  const char* bytes = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < n) {
    ssize_t sent =
        stream.kind == kStreamSocket
            ? send(stream.descriptor, bytes + done, n - done, MSG_NOSIGNAL | NoWaitFlag(stream))
            : WriteFileWithoutSigpipe(stream.descriptor, bytes + done, n - done);
    if (sent > 0) {
      done += static_cast<size_t>(sent);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (!(sent < 0 && IsWouldBlock(errno) && AwaitRetry(stream, POLLOUT))) {
      return -1;
    }
  }
  return static_cast<int64_t>(done);
}

bool WriteLine(const CommandStream& stream, std::string_view text) {
  std::string line;
  line.reserve(text.size() + 1);
  line.append(text);
  line.push_back('\n');
  return Write(stream, line.data(), line.size()) == static_cast<int64_t>(line.size());
}

bool WaitReadable(const CommandStream& stream, int32_t* budgetMs) {
  if (stream.kind == kStreamNone) return false;
  if (*budgetMs == kNoTimeLimit || stream.kind == kStreamFile) return true;
  if (*budgetMs < 0) return false;
  if (PollFor(stream.descriptor, POLLIN, 0)) return true;
  if (*budgetMs == 0) return false;
  HighResTime start = HighResNow();
  bool readable = PollFor(stream.descriptor, POLLIN, *budgetMs);
  int64_t left = static_cast<int64_t>(*budgetMs) - MillisecondsSince(start);
  // Never lands on kNoTimeLimit, which would turn a spent budget into an endless one.
  *budgetMs = static_cast<int32_t>(std::max<int64_t>(left, int64_t{kNoTimeLimit} + 1));
  return readable;
}

bool ReadLine(const CommandStream& stream, std::string* line, int32_t* budgetMs, size_t maxLength,
              bool* overlong) {
  line->clear();
  if (overlong) *overlong = false;
  char byte;
  if (!ReadOneByte(stream, &byte, budgetMs)) return false;
  for (;;) {
    if (byte == '\n' || byte == '\0') return true;
    if (byte == '\r') {
      // CR LF ends the line; a CR before anything else (or before the end) is kept.
      char next;
      bool haveNext = ReadOneByte(stream, &next, budgetMs);
      if (haveNext && next == '\n') return true;
      if (!AppendWithin(line, '\r', maxLength)) break;
      if (!haveNext) return true;
      byte = next;
      continue;
    }
    if (!AppendWithin(line, byte, maxLength)) break;
    if (!ReadOneByte(stream, &byte, budgetMs)) return true;
  }
  line->clear();
  if (overlong) *overlong = true;
  return false;
}

bool SkipLine(const CommandStream& stream, int32_t* budgetMs, size_t maxBytes) {
  char byte;
  for (size_t dropped = 0; dropped < maxBytes; ++dropped) {
    if (!ReadOneByte(stream, &byte, budgetMs)) return false;
    if (byte == '\n' || byte == '\0') return true;
  }
  return false;
}

bool CopyTo(const CommandStream& from, const CommandStream& to, int64_t* bytesWritten) {
  *bytesWritten = 0;
  if (from.kind == kStreamNone || to.kind == kStreamNone) return false;
  char block[kCopyBlockSize];
  for (;;) {
    int64_t got = ReadSome(from, block, sizeof block);
    if (got == 0) return true;
    if (got < 0) return false;
    int64_t written = Write(to, block, static_cast<size_t>(got));
    if (written > 0) *bytesWritten += written;
    if (written != got) return false;
  }
}

bool ReadString(const CommandStream& stream, std::string* text, size_t maxLength) {
  text->clear();
  unsigned char lengthBytes[4];
  if (ReadExact(stream, lengthBytes, sizeof lengthBytes) != 4) return false;
  uint32_t raw =
      static_cast<uint32_t>(lengthBytes[0]) | static_cast<uint32_t>(lengthBytes[1]) << 8 |
      static_cast<uint32_t>(lengthBytes[2]) << 16 | static_cast<uint32_t>(lengthBytes[3]) << 24;
  int32_t length = static_cast<int32_t>(raw);
  if (length < 0 || static_cast<size_t>(length) > maxLength) return false;
  std::string body;
  try {
    body.resize(static_cast<size_t>(length));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (ReadExact(stream, body.data(), body.size()) != length) return false;
  body.resize(std::min(body.find('\0'), body.size()));
  *text = std::move(body);
  return true;
}

}  // namespace gq
