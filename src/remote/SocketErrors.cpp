#include "remote/SocketErrors.h"

#include <netdb.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

namespace gq {
namespace {

constexpr SocketErrorEntry kTable[] = {
    {10004, "EINTR", nullptr},
    {10009, "EBADF", nullptr},
    {10013, "EACCES", nullptr},
    {10014, "EFAULT", nullptr},
    {10022, "EINVAL", nullptr},
    {10024, "EMFILE", nullptr},
    {10035, "EWOULDBLOCK", "Resource temporarily unavailable"},
    {10036, "EINPROGRESS", "operation now in progress"},
    {10037, "EALREADY", "operation already in progress"},
    {10038, "ENOTSOCK", "Socket operation on non-socket"},
    {10039, "EDESTADDRREQ", "Destination address required"},
    {10040, "EMSGSIZE", "Message too long"},
    {10041, "EPROTOTYPE", "Protocol wrong type for socket"},
    {10042, "ENOPROTOOPT", "Protocol not available"},
    {10043, "EPROTONOSUPPORT", "Protocol not supported"},
    {10044, "ESOCKTNOSUPPORT", "Socket type not supported"},
    {10045, "EOPNOTSUPP", "Operation not supported on socket"},
    {10046, "EPFNOSUPPORT", "Protocol family not supported"},
    {10047, "EAFNOSUPPORT", "Address family not supported by protocol family"},
    {10048, "EADDRINUSE", "Address already in use"},
    {10049, "EADDRNOTAVAIL", "Can't assign requested address"},
    {10050, "ENETDOWN", "Network is down"},
    {10051, "ENETUNREACH", "Network is unreachable"},
    {10052, "ENETRESET", "Network dropped connection on reset"},
    {10053, "ECONNABORTED", "Software caused connection abort"},
    {10054, "ECONNRESET", "Connection reset by peer"},
    {10055, "ENOBUFS", "No buffer space available"},
    {10056, "EISCONN", "Socket is already connected"},
    {10057, "ENOTCONN", "Socket is not connected"},
    {10058, "ESHUTDOWN", "Can't send after socket shutdown"},
    {10059, "ETOOMANYREFS", "Too many references: can't splice"},
    {10060, "ETIMEDOUT", "Connection timed out"},
    {10061, "ECONNREFUSED", "Connection refused"},
    {10062, "ELOOP", "Too many levels of symbolic links"},
    {10063, "ENAMETOOLONG", "path name is too long"},
    {10064, "EHOSTDOWN", "Host is down"},
    {10065, "EHOSTUNREACH", "No route to host"},
    {10066, "ENOTEMPTY", "directory not empty"},
    {10067, "EPROCLIM", nullptr},
    {10068, "EUSERS", "Too many users (for UFS)"},
    {10069, "EDQUOT", "Disc quota exceeded"},
    {10070, "ESTALE", "Stale NFS file handle"},
    {10071, "EREMOTE", "Identifier removed"},
    {10091, "SYSNOTREADY", nullptr},
    {10092, "VERNOTSUPPORTED", nullptr},
    {10093, "NOTINITIALISED", nullptr},
    {10101, "EDISCON", nullptr},
    {10102, "ENOMORE", nullptr},
    {10103, "ECANCELLED", nullptr},
    {10104, "EINVALIDPROCTABLE", nullptr},
    {10105, "EINVALIDPROVIDER", nullptr},
    {10106, "EPROVIDERFAILEDINIT", nullptr},
    {10107, "SYSCALLFAILURE", nullptr},
    {10108, "SERVICE_NOT_FOUND", nullptr},
    {10109, "TYPE_NOT_FOUND", nullptr},
    {10110, "_E_NO_MORE", nullptr},
    {10111, "_E_CANCELLED", nullptr},
    {10112, "EREFUSED", nullptr},
    {11001, "HOST_NOT_FOUND", nullptr},
    {11002, "TRY_AGAIN", nullptr},
    {11003, "NO_RECOVERY", nullptr},
    {11004, "NO_DATA", nullptr},
    {11004, "NO_ADDRESS", nullptr},
};

struct ErrnoCode {
  int errnoValue;
  int32_t code;
};

// EAGAIN equals EWOULDBLOCK on Linux; EPIPE is what a send on a connection the peer has
// dropped yields here, where Winsock reports the reset.
constexpr ErrnoCode kErrnoCodes[] = {
    {EINTR, 10004},           {EBADF, 10009},        {EACCES, 10013},
    {EFAULT, 10014},          {EINVAL, 10022},       {EMFILE, 10024},
    {EWOULDBLOCK, 10035},     {EINPROGRESS, 10036},  {EALREADY, 10037},
    {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},        {ENETUNREACH, 10051},  {ENETRESET, 10052},
    {ECONNABORTED, 10053},    {ECONNRESET, 10054},   {EPIPE, 10054},
    {ENOBUFS, 10055},         {EISCONN, 10056},      {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},       {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},    {ELOOP, 10062},        {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},       {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066},
    {EUSERS, 10068},          {EDQUOT, 10069},       {ESTALE, 10070},
    {EREMOTE, 10071},
};

constexpr int kMaxLineLength = 1024;

struct PendingError {
  int32_t code = 0;
  std::string libraryText;  // what the C library says about the failure
};

thread_local PendingError t_Pending;

// Writes one formatted line to standard error; a line that does not fit is cut and
// still ends with its line feed.
__attribute__((format(printf, 1, 2))) void PrintLine(const char* format, ...) {
  char line[kMaxLineLength];
  va_list arguments;
  va_start(arguments, format);
  int length = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (length < 0) return;
  if (length >= kMaxLineLength) line[kMaxLineLength - 2] = '\n';
  std::fputs(line, stderr);
}

}  // namespace

const SocketErrorEntry* SocketErrorTable() { return kTable; }

int SocketErrorTableSize() { return static_cast<int>(std::size(kTable)); }

const SocketErrorEntry* FindSocketError(int32_t code) {
  for (const SocketErrorEntry& entry : kTable) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

int32_t WinsockCodeFromErrno(int errnoValue) {
  for (const ErrnoCode& pair : kErrnoCodes) {
    if (pair.errnoValue == errnoValue) return pair.code;
  }
  return errnoValue;
}

void SetPendingSocketError(int errnoValue) {
  t_Pending.code = WinsockCodeFromErrno(errnoValue);
  t_Pending.libraryText = std::strerror(errnoValue);
}

void SetPendingLookupError(int lookupError, int errnoValue) {
  if (lookupError == EAI_SYSTEM) {
    SetPendingSocketError(errnoValue);
    return;
  }
  switch (lookupError) {
    case EAI_NONAME:
      t_Pending.code = 11001;
      break;
    case EAI_AGAIN:
      t_Pending.code = 11002;
      break;
    case EAI_FAIL:
      t_Pending.code = 11003;
      break;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      t_Pending.code = 11004;
      break;
    case EAI_MEMORY:
      t_Pending.code = 10055;
      break;
    default:
      t_Pending.code = 10022;
      break;
  }
  t_Pending.libraryText = gai_strerror(lookupError);
}

int32_t PendingSocketError() { return t_Pending.code; }

void ClearPendingSocketError() {
  t_Pending.code = 0;
  t_Pending.libraryText.clear();
}

void ReportSocketError(const char* context) {
  if (t_Pending.code == 0) return;
  PrintLine("%s: %s\n", context, t_Pending.libraryText.c_str());
  const SocketErrorEntry* entry = FindSocketError(t_Pending.code);
  if (!entry) {
    PrintLine("%s: unknown error (%d)\n", context, t_Pending.code);
  } else if (entry->description) {
    PrintLine("%s: %s (%s,%d)\n", context, entry->description, entry->name, t_Pending.code);
  } else {
    PrintLine("%s: error %s (%d)\n", context, entry->name, t_Pending.code);
  }
  ClearPendingSocketError();
}

}  // namespace gq
