// Socket error reporting: the table of Winsock error codes with their short names and
// descriptions, the mapping from errno and lookup failures to those codes, the pending
// socket error of the calling thread, and the reporter that prints it to standard error.
// Owned by the socket layer. The pending error is thread-local: each thread sees only
// the failures of its own socket operations.
#pragma once

#include <cstdint>

namespace gq {

struct SocketErrorEntry {
  int32_t code;             // Winsock code, e.g. 10048
  const char* name;         // without the "WSA" prefix, e.g. "EADDRINUSE"
  const char* description;  // null when the row has none
};

// The 63 rows of the table, in code order.
const SocketErrorEntry* SocketErrorTable();
int SocketErrorTableSize();

// The first row with this code, or null.
const SocketErrorEntry* FindSocketError(int32_t code);

// The Winsock code for an errno value (EADDRINUSE -> 10048, EPIPE -> 10054 as a reset
// connection); an errno without a counterpart is returned unchanged and is reported as
// an unknown error.
int32_t WinsockCodeFromErrno(int errnoValue);

// Records errno as the pending error of this thread, with the C library's text for it.
void SetPendingSocketError(int errnoValue);
// Records a getaddrinfo failure (EAI_NONAME -> HOST_NOT_FOUND 11001, EAI_AGAIN ->
// TRY_AGAIN 11002, ...) as the pending error of this thread.
void SetPendingLookupError(int lookupError, int errnoValue);
// The pending Winsock code of this thread; 0 when none.
int32_t PendingSocketError();
void ClearPendingSocketError();

// Does nothing when no error is pending. Otherwise writes "<context>: <C library text>"
// and then one line chosen by the table: "%s: %s (%s,%d)\n" for a row with a description,
// "%s: error %s (%d)\n" for a row with a name only, "%s: unknown error (%d)\n" for a code
// outside the table. Clears the pending error. Each line is at most 1024 bytes.
void ReportSocketError(const char* context);

}  // namespace gq
