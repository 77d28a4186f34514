// The wire format of the remote protocol: the greeting, the command words, the binary
// fields (32-bit little-endian integers and zero-terminated strings with a length
// prefix) and the bounds the server puts on what a peer may announce. Pure functions
// over a command stream or a byte buffer; any thread, one stream at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/CommandStream.h"

namespace gq {

// This program's protocol number; a peer with a greater one is refused with status 667.
inline constexpr int kProtocolNumber = 0;
// The first greeting line: product word, protocol number, version and edition.
inline constexpr std::string_view kGreetingFirstLine = "GlimmerQuorum 0 2.0.6 E";
// The product word and its blank that every greeting starts with.
inline constexpr std::string_view kGreetingProductWord = "GlimmerQuorum ";
// All lines of a greeting must arrive within this many milliseconds.
inline constexpr int32_t kGreetingBudgetMs = 5000;
// Longest greeting line the server reads (the instance name is the longest).
inline constexpr size_t kMaxGreetingLineLength = 4096;
// Longest command line the server reads. A longer line is no command word either: its
// rest is dropped unstored, up to kMaxDroppedCommandBytes, and it gets status 111.
inline constexpr size_t kMaxCommandLineLength = 4096;
inline constexpr size_t kMaxDroppedCommandBytes = 1 << 20;
// A connection whose next command line has not arrived after this long (greeted but
// idle) is closed, so that idle clients cannot hold every connection slot.
inline constexpr int32_t kCommandIdleBudgetMs = 120000;

// Reading a command's fields and writing its reply end the connection once this long
// passes without a byte moving, so a client that stops midway frees its slot.
inline constexpr int32_t kTransferStallLimitMs = 10000;

inline constexpr std::string_view kCommandQuery = "query";
inline constexpr std::string_view kCommandKnown = "known";
inline constexpr std::string_view kCommandAdd = "add";
// The record format version this client sends with "add".
inline constexpr int32_t kAddRecordVersion = 6;

// Bounds of string fields, counting the terminating zero byte. A longer announced
// length gets status 100 and the connection closes without the body being allocated.
inline constexpr size_t kMaxPathFieldBytes = 64 * 1024;
inline constexpr size_t kMaxCriteriaTextBytes = 4096;
inline constexpr size_t kMaxCriteriaFieldBytes = kMaxCriteriaTextBytes + 1;

// Appends a 32-bit little-endian integer.
void AppendInt32(std::string* out, int32_t value);
// Appends a string field: its length with the zero byte, the text and a zero byte.
void AppendStringField(std::string* out, std::string_view text);
// Reads a 32-bit little-endian integer; false when the stream ends or fails first.
bool ReadInt32(const CommandStream& stream, int32_t* value);

// The three greeting lines of a client with this instance name ("" without a label).
std::string GreetingText(const std::string& instanceName);

// Reads a greeting within kGreetingBudgetMs: the product word, the peer's protocol
// number (digits directly after the word; none reads as 0, a huge one as INT32_MAX),
// the instance name, which must equal ownInstanceName exactly, and lines up to an empty
// one. False when any of this fails or the time runs out.
bool ReadGreeting(const CommandStream& stream, const std::string& ownInstanceName,
                  int32_t* peerProtocol);

}  // namespace gq
