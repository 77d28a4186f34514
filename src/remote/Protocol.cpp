#include "remote/Protocol.h"

#include <chrono>
#include <climits>

namespace gq {
namespace {

using Clock = std::chrono::steady_clock;

// The milliseconds left until the deadline; negative once it passed.
int32_t MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int32_t>(left.count()) : -1;
}

// ReadLine's budget only shrinks while it waits, so a peer that keeps sending would never
// use it up: every line therefore also starts from the wall-clock deadline.
bool ReadGreetingLine(const CommandStream& stream, Clock::time_point deadline, std::string* line) {
  int32_t budget = MillisecondsLeft(deadline);
  if (budget < 0) return false;
  return ReadLine(stream, line, &budget, kMaxGreetingLineLength) && MillisecondsLeft(deadline) >= 0;
}

int32_t ProtocolNumberOf(std::string_view digits) {
  int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > INT32_MAX) return INT32_MAX;
  }
  return static_cast<int32_t>(value);
}

}  // namespace

void AppendInt32(std::string* out, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

void AppendStringField(std::string* out, std::string_view text) {
  AppendInt32(out, static_cast<int32_t>(text.size() + 1));
  out->append(text);
  out->push_back('\0');
}

bool ReadInt32(const CommandStream& stream, int32_t* value) {
  unsigned char bytes[4];
  if (ReadExact(stream, bytes, sizeof bytes) != static_cast<int64_t>(sizeof bytes)) return false;
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | bytes[i];
  *value = static_cast<int32_t>(v);
  return true;
}

std::string GreetingText(const std::string& instanceName) {
  return std::string(kGreetingFirstLine) + "\n" + instanceName + "\n\n";
}

bool ReadGreeting(const CommandStream& stream, const std::string& ownInstanceName,
                  int32_t* peerProtocol) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kGreetingBudgetMs);
  std::string line;
  if (!ReadGreetingLine(stream, deadline, &line)) return false;
  if (line.compare(0, kGreetingProductWord.size(), kGreetingProductWord) != 0) return false;
  *peerProtocol = ProtocolNumberOf(std::string_view(line).substr(kGreetingProductWord.size()));
  if (!ReadGreetingLine(stream, deadline, &line) || line != ownInstanceName) return false;
  do {
    if (!ReadGreetingLine(stream, deadline, &line)) return false;
  } while (!line.empty());
  return true;
}

}  // namespace gq
