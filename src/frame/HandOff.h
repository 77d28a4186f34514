// Handing a start's request to the running instance of the same instance name: the
// text of the hand-off message (the instance name, a line feed, the option parts "/m ",
// "/c ", "/q ", "/s ", "/a ", "/d ", then every remaining word as a quoted full path),
// sending it over the instance channel with 100 attempts 100 ms apart, and reading it
// back on the receiving side. Main thread of either start.
#pragma once

#include <cstdint>
#include <string>

#include "frame/CommandLine.h"

namespace gq {

// The tag of a hand-off block: the bytes "GQDB" as a little-endian word.
inline constexpr uint32_t kHandOffTag = 0x42445147;

// The hand-off text for a parsed command (without the terminating zero byte).
std::string BuildHandOffText(const ParsedCommand& parsed);

// The sender: checks the delete option's argument (showing its messages), then offers
// the text to the window of g_mainWindowClassName up to 100 times, 100 ms apart, within
// that retry period; a window that takes it has as long again to answer, so a stopped
// or hung instance never holds the start up for good. True when a running window took
// it (or the start ended with a delete message); false when none answered and the start
// goes on as a first start.
bool SendHandOff(const ParsedCommand& parsed, const std::string& commandLine);

// What a received hand-off asks for.
struct HandOffRequest {
  bool minimize = false;
  std::string criteriaFile;  // "" when none
  bool query = false;
  std::string queryText;  // after "/q ": ranks, result file and picture
  bool select = false;
  bool activate = false;
  std::string deletePath;  // "" when none
  std::string rest;        // the quoted paths to open
};

// Parses a received block: false when it is not addressed to this instance (wParam not
// 0, another tag, or a text that does not begin with ownInstance and a line feed).
bool ParseHandOff(uint32_t wParam, uint32_t tag, const std::string& data,
                  const std::string& ownInstance, HandOffRequest* request);

}  // namespace gq
