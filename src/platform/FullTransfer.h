// Whole transfers over descriptors: a call that a signal interrupted (EINTR) is made
// again, and a partial read or write goes on from where it stopped. The file layer of
// the database passes its own read and write calls (so tests can fail them); others
// use the plain descriptor forms. Callable from any thread.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>

namespace gq {

// Makes call() again while it returns a negative value with errno EINTR; returns the
// first other result.
template <typename Call>
auto RetryOnInterrupt(Call call) {
  for (;;) {
    auto result = call();
    if (!(result < 0 && errno == EINTR)) return result;
  }
}

// Calls step(done, left), which moves up to left bytes from offset done and returns how
// many it moved, until size bytes have moved or a call moves nothing (the end of the
// file: 0) or fails (negative, errno kept). Returns the bytes moved.
template <typename Step>
size_t TransferUpTo(size_t size, Step step) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = RetryOnInterrupt([&] { return step(done, size - done); });
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

// Reads until size bytes are in buffer or the file ends or fails; returns the bytes read.
size_t ReadUpTo(int fd, void* buffer, size_t size);

// Writes exactly size bytes; false on an error.
bool WriteAll(int fd, const void* buffer, size_t size);

}  // namespace gq
