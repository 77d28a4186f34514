// The graceful close of a connected socket: the sending direction is shut down first and
// whatever the peer still sent is read and dropped, so that closing does not reset the
// connection and the peer receives everything written before. Any thread; the caller
// must own the socket, which is closed on return.
#pragma once

namespace gq {

// Shuts down sending, switches the socket to non-blocking, discards pending urgent and
// normal data (at most 1 MiB, so a peer that keeps sending cannot hold the caller) and
// closes it. Failures on the way are expected (the peer may be gone) and not reported.
void GracefulClose(int socket);

}  // namespace gq
