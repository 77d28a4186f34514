#include "frame/StatusLine.h"

#include <cstdio>
#include <cstring>

#include "frame/AtomicFile.h"
#include "frame/QueryText.h"

namespace gq {

const char* StatusText(int code) {
  switch (code) {
    case kStatusOk:
      return "OK";
    case kStatusSyntaxError:
      return "Syntax error.";
    case kStatusMissingInstance:
      return "Missing instance option for query.";
    case kStatusServerNotFound:
      return "Server not found.";
    case kStatusRemoteServerNotFound:
      return "Remote server not found.";
    case kStatusBrokenConnection:
      return "Broken connection.";
    case kStatusRequestFailed:
      return "Request to server failed.";
    case kStatusServerSyntaxError:
      return "Server side syntax error.";
    case kStatusCriteriaUnreadable:
      return "Can't read criterias from file.";
    case kStatusPictureNotInDatabase:
      return "Picture not in database.";
    case kStatusUnknownCommand:
      return "Unknown command.";
    case kStatusIncompatibleProtocol:
      return "Incompatible protocol version.";
    default:
      return "";
  }
}

std::string StatusLine(int code, std::string_view text) {
  return "!status: " + std::to_string(code) + " - " + std::string(text) + "\n";
}

bool ParseStatusLine(std::string_view line, int* code) {
  std::string copy(line);
  return std::sscanf(copy.c_str(), "!status: %d - ", code) == 1;
}

bool WriteStatusIntoResultFile(std::string_view queryText, int code, std::string_view text) {
  size_t cursor = 0;
  QueryText query = ParseQueryText(queryText, &cursor);
  return query.haveResultFile && WriteStatusToFile(query.resultFile, code, text);
}

bool WriteStatusToFile(const std::string& resultFile, int code, std::string_view text) {
  AtomicFile result(resultFile);
  FILE* file = result.Open();
  std::string line = StatusLine(code, text);
  bool written = file && std::fwrite(line.data(), 1, line.size(), file) == line.size();
  if (!written) result.Discard();
  if (written && result.Commit()) return true;
  ReportLostResultFile(result);
  return false;
}

}  // namespace gq
