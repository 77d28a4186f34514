#include "platform/FullTransfer.h"

#include <unistd.h>

namespace gq {

size_t ReadUpTo(int fd, void* buffer, size_t size) {
  auto* bytes = static_cast<char*>(buffer);
  return TransferUpTo(size, [&](size_t done, size_t left) { return read(fd, bytes + done, left); });
}

bool WriteAll(int fd, const void* buffer, size_t size) {
  const auto* bytes = static_cast<const char*>(buffer);
  return TransferUpTo(
             size, [&](size_t done, size_t left) { return write(fd, bytes + done, left); }) == size;
}

}  // namespace gq
