// Status lines for scripted callers: "!status: <code> - <text>\n", written to result
// files, sockets and standard error alike, with the program's complete table of codes.
// Result files get them through AtomicFile, so a script never sees half an answer.
// Callable from any thread.
#pragma once

#include <string>
#include <string_view>

namespace gq {

enum StatusCode {
  kStatusOk = 0,
  kStatusSyntaxError = 1,
  kStatusMissingInstance = 2,
  kStatusServerNotFound = 3,
  kStatusRemoteServerNotFound = 4,
  kStatusBrokenConnection = 5,
  kStatusRequestFailed = 6,
  kStatusServerSyntaxError = 100,
  kStatusCriteriaUnreadable = 101,
  kStatusPictureNotInDatabase = 102,
  kStatusUnknownCommand = 111,
  kStatusIncompatibleProtocol = 667,
};

// The table's text of a code ("OK", "Syntax error.", ...); empty for unknown codes.
const char* StatusText(int code);

// "!status: " + code + " - " + text + "\n".
std::string StatusLine(int code, std::string_view text);

// Parses a status line back; only the code is taken. False if it is none.
bool ParseStatusLine(std::string_view line, int* code);

// Replaces the file with one status line (through an AtomicFile); false on failure,
// which standard error reports.
bool WriteStatusToFile(const std::string& resultFile, int code, std::string_view text);

// Parses the query text (first rank, last rank, result-file word, picture word); when
// a result-file word was obtained, writes the status line into that file through an
// AtomicFile. Returns whether the line was written.
bool WriteStatusIntoResultFile(std::string_view queryText, int code, std::string_view text);

}  // namespace gq
