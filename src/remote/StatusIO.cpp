#include "remote/StatusIO.h"

#include <cstdio>
#include <string>

#include "frame/StatusLine.h"

namespace gq {

bool WriteStatus(const CommandStream& stream, int code, std::string_view text) {
  if (stream.kind == kStreamNone) return false;
  std::string line = StatusLine(code, text);
  return Write(stream, line.data(), line.size()) == static_cast<int64_t>(line.size());
}

bool ReadStatus(const CommandStream& stream, int expectedCode, bool echo, bool* arrived) {
  std::string line;
  int32_t budget = kNoTimeLimit;
  bool got = ReadLine(stream, &line, &budget);
  if (arrived) *arrived = got;
  if (!got) {
    if (echo) {
      std::fputs(StatusLine(kStatusBrokenConnection, StatusText(kStatusBrokenConnection)).c_str(),
                 stderr);
    }
    return false;
  }
  if (echo) std::fprintf(stderr, "%s\n", line.c_str());
  int code = -1;
  return ParseStatusLine(line, &code) && code == expectedCode;
}

}  // namespace gq
