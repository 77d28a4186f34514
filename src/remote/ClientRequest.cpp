#include "remote/ClientRequest.h"

#include <sys/socket.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "frame/AtomicFile.h"
#include "frame/StatusLine.h"
#include "base/Words.h"
#include "loading/Loader.h"
#include "remote/ClientSocket.h"
#include "remote/Protocol.h"
#include "remote/RemoteSink.h"

namespace gq {
namespace {

void PutStatus(AtomicFile* output, int code) {
  FILE* file = output->Open();
  if (file) std::fputs(StatusLine(code, StatusText(code)).c_str(), file);
}

// Commits the output; a result file that cannot be written is told on standard error.
void Finish(AtomicFile* output) {
  if (!output->Commit() && !output->Target().empty()) ReportLostResultFile(*output);
}

// The criteria file as text; false when it cannot be read or exceeds 4096 bytes.
bool ReadCriteriaText(const std::string& path, std::string* text) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char buffer[kMaxCriteriaTextBytes + 1];
  size_t n = std::fread(buffer, 1, sizeof buffer, file);
  bool ok = !std::ferror(file) && n <= kMaxCriteriaTextBytes;
  std::fclose(file);
  if (ok) text->assign(buffer, n);
  return ok;
}

bool SendText(const CommandStream& stream, const std::string& text) {
  return Write(stream, text.data(), text.size()) == static_cast<int64_t>(text.size());
}

void LoadThroughLink(const ClientSocket& socket, const std::string& fileList) {
  auto sink = std::make_shared<RemoteSink>(socket.Stream());
  int workers = static_cast<int>(std::thread::hardware_concurrency());
  size_t cursor = 0;
  SkipSpaces(fileList, &cursor);
  while (cursor < fileList.size()) {
    std::string word = ReadWord(fileList, &cursor);
    if (!RunPathJobHere(sink, word, workers)) break;
  }
}

// Sends the query, ends the sending direction (the server then ends the connection
// after answering) and copies the answer into the output. A failure leaves its status
// line in the output instead.
void Query(const ClientSocket& socket, const ParsedCommand& parsed, const std::string& criteriaText,
           AtomicFile* output) {
  std::string request = std::string(kCommandQuery) + "\n";
  AppendInt32(&request, parsed.queryFirst);
  AppendInt32(&request, parsed.queryLast);
  AppendStringField(&request, parsed.queryPicture);
  AppendStringField(&request, criteriaText);
  if (!SendText(socket.Stream(), request)) {
    PutStatus(output, kStatusRequestFailed);
    return;
  }
  shutdown(socket.Socket(), SHUT_WR);
  int64_t stored = 0;
  bool copied = CopyTo(socket.Stream(), {output->Descriptor(), kStreamFile}, &stored);
  if (copied && stored > 0) return;
  if (stored > 0) output->Discard();
  PutStatus(output, kStatusBrokenConnection);
}

}  // namespace

void RunClientRequest(const ParsedCommand& parsed) {
  bool query = parsed.queryFirst >= 0;
  AtomicFile output(query ? parsed.queryResultFile : std::string());
  if (!output.Open()) {
    std::fputs("Error: output file creation failed.\n", stderr);
    return;
  }
  std::string criteriaText;
  if (query && !g_criteriaFilePath.empty() &&
      !ReadCriteriaText(g_criteriaFilePath, &criteriaText)) {
    PutStatus(&output, kStatusCriteriaUnreadable);
    Finish(&output);
    return;
  }
  ClientSocket socket;
  if (socket.Connect(parsed.clientHost, parsed.clientPort) != 0 ||
      !SendText(socket.Stream(), GreetingText(g_instanceName))) {
    PutStatus(&output, kStatusRemoteServerNotFound);
    Finish(&output);
    return;
  }
  if (query) {
    Query(socket, parsed, criteriaText, &output);
  } else {
    LoadThroughLink(socket, parsed.rest);
  }
  socket.Close();
  Finish(&output);
}

}  // namespace gq
