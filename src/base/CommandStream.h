// The command stream: one byte stream over either a file descriptor or a connected
// socket, through which the remote protocol, result files and the database file code
// read and write. A stream is a small value record; it does not own its descriptor
// (whoever opened it closes it). Any thread may use a stream, one thread at a time.
// Writes never raise SIGPIPE: a vanished reader is an ordinary write failure.
// It lives with the general helpers rather than with the remote protocol because the
// database file and the result files use it, and they sit below remote/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace gq {

enum CommandStreamKind : int8_t {
  kStreamNone = -1,   // no stream: every operation fails
  kStreamFile = 0,    // a file descriptor, used with read and write
  kStreamSocket = 1,  // a connected stream socket, used with recv and send
};

struct CommandStream {
  int32_t descriptor = -1;
  int8_t kind = kStreamNone;
  // Socket streams only: when positive, ReadExact and Write give up (negative result,
  // errno ETIMEDOUT) once this many milliseconds pass without a byte moving, so a peer
  // that stops midway cannot hold the caller. 0: they wait as long as the peer does.
  int32_t stallLimitMs = 0;
};

// The time-budget value that means "no time limit": the stream counts as readable at
// once and is then read blocking.
inline constexpr int32_t kNoTimeLimit = INT32_MIN;

// Longest line ReadLine accepts unless told otherwise.
inline constexpr size_t kDefaultMaxLineLength = 64 * 1024;

// One read (socket: one receive) of at most n bytes. The byte count; 0 at the end of
// the stream, negative on error or for a stream of kind none.
int64_t ReadSome(const CommandStream& stream, void* buffer, size_t n);

// Reads until n bytes have arrived. Returns n, or the shorter count when the stream
// ended first; negative on error or for a stream of kind none.
int64_t ReadExact(const CommandStream& stream, void* buffer, size_t n);

// Writes all n bytes. Returns n, or negative as soon as a write fails (a closed peer,
// a full disc, a stream of kind none).
int64_t Write(const CommandStream& stream, const void* buffer, size_t n);

// Writes the text and a line feed; true only when both arrived completely.
bool WriteLine(const CommandStream& stream, std::string_view text);

// Whether a byte (or the end of the stream) can be read without blocking, waiting at
// most *budgetMs milliseconds. kNoTimeLimit: readable at once, *budgetMs unchanged.
// A file stream is always readable. A negative budget means not readable. Otherwise the
// stream is polled; if it is not readable and the budget is positive, the call waits up
// to the budget and then subtracts the milliseconds spent from *budgetMs.
bool WaitReadable(const CommandStream& stream, int32_t* budgetMs);

// Reads one line into *line, one byte at a time, each after WaitReadable with the
// shared budget. A line feed or a zero byte ends the line and is not stored; CR LF ends
// it too, while a carriage return followed by another byte (or by nothing) is kept.
// True when at least the first byte arrived, even if the line then ended through the
// budget or the end of the stream. False (and *line empty) when no byte arrived or the
// line grew beyond maxLength bytes, so a peer cannot make the reader store without end;
// in the latter case *overlong (when given) is set and the rest of the line is unread.
bool ReadLine(const CommandStream& stream, std::string* line, int32_t* budgetMs,
              size_t maxLength = kDefaultMaxLineLength, bool* overlong = nullptr);

// Reads and drops bytes up to and including the next line feed or zero byte, each after
// WaitReadable with the shared budget, but no more than maxBytes. True when the end of
// the line was reached; false when the stream ended, the budget ran out or maxBytes
// bytes were dropped first.
bool SkipLine(const CommandStream& stream, int32_t* budgetMs, size_t maxBytes);

// Copies everything from one stream to the other in 4096-byte blocks until the source
// ends. *bytesWritten counts the bytes written. True when the source ended cleanly;
// false when a write was short, the source failed or either stream is of kind none.
bool CopyTo(const CommandStream& from, const CommandStream& to, int64_t* bytesWritten);

// Reads a 32-bit little-endian length n, then n bytes, and returns the bytes up to the
// first zero byte (or all n) as *text. False, with nothing allocated for the body, when a
// read is short, n is negative or n exceeds maxLength, or memory cannot be obtained.
bool ReadString(const CommandStream& stream, std::string* text, size_t maxLength);

}  // namespace gq
