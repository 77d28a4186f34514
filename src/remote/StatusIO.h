// Status lines on a command stream: the server writes one after each command, the
// client reads one after each request it makes while loading through the remote link.
// Any thread, one stream at a time.
#pragma once

#include <string_view>

#include "base/CommandStream.h"

namespace gq {

// Writes one status line; false when the stream is of kind none or a write is short.
bool WriteStatus(const CommandStream& stream, int code, std::string_view text);

// Reads one status line and returns whether it carries the expected code. With echo the
// line goes to standard error ("%s\n"); when no line arrives, status 5 "Broken
// connection." goes there instead. *arrived (when given) tells whether a line came at all.
bool ReadStatus(const CommandStream& stream, int expectedCode, bool echo, bool* arrived = nullptr);

}  // namespace gq
