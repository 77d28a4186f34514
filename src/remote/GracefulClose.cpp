#include "remote/GracefulClose.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FullTransfer.h"

namespace gq {
namespace {

constexpr int kDrainBlockSize = 1024;
constexpr long kMaxDrainBytes = 1 << 20;

// Receives and drops data of one kind (urgent with MSG_OOB, or normal) until none is
// left or the drain limit is reached.
void Drain(int socket, int receiveFlags, long* drained) {
  char block[kDrainBlockSize];
  while (*drained < kMaxDrainBytes) {
    ssize_t got = RetryOnInterrupt([&] { return recv(socket, block, sizeof block, receiveFlags); });
    if (got <= 0) return;
    *drained += got;
  }
}

}  // namespace

void GracefulClose(int socket) {
  if (socket < 0) return;
  shutdown(socket, SHUT_WR);
  int flags = fcntl(socket, F_GETFL);
  if (flags >= 0) fcntl(socket, F_SETFL, flags | O_NONBLOCK);
  long drained = 0;
  Drain(socket, MSG_OOB, &drained);
  Drain(socket, 0, &drained);
  close(socket);
}

}  // namespace gq
