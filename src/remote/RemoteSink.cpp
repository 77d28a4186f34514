#include "remote/RemoteSink.h"

#include <cstdio>

#include "db/ImageRecord.h"
#include "db/RecordCodec.h"
#include "frame/StatusLine.h"
#include "loading/Loader.h"
#include "platform/ShellLink.h"
#include "remote/Protocol.h"
#include "remote/StatusIO.h"
#include "remote/StreamAdapters.h"

namespace gq {
namespace {

// Sends a whole request in one write, so a request and its answer cost one round trip.
bool SendRequest(const CommandStream& link, const std::string& request) {
  return Write(link, request.data(), request.size()) == static_cast<int64_t>(request.size());
}

bool Stop() {
  g_LoaderState.stop = true;
  return false;
}

}  // namespace

bool RemoteIsKnown(const CommandStream& link, const std::string& path, int32_t fileTime) {
  std::string request = std::string(kCommandKnown) + "\n";
  AppendStringField(&request, path);
  AppendInt32(&request, fileTime);
  if (!SendRequest(link, request)) return Stop();
  bool arrived = false;
  bool unknown = ReadStatus(link, kStatusPictureNotInDatabase, true, &arrived);
  return arrived ? unknown : Stop();
}

bool RemoteAdd(const CommandStream& link, const ImageRecord& record) {
  std::string request = std::string(kCommandAdd) + "\n";
  AppendInt32(&request, kAddRecordVersion);
  BufferByteStream out(&request);
  if (!WriteRecord(out, record) || !WriteThumbnailBlock(out, record)) return false;
  if (!SendRequest(link, request)) return Stop();
  bool arrived = false;
  bool stored = ReadStatus(link, kStatusOk, true, &arrived);
  return arrived ? stored : Stop();
}

void RemoteSink::Status(const std::string& text, int) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

bool RemoteSink::CheckFile(const std::string& path, int32_t fileTime) {
  return RemoteIsKnown(m_Link, path, fileTime);
}

bool RemoteSink::HandOver(ImageRecord* record) {
  RemoteAdd(m_Link, *record);
  DestroyRecord(record);
  return true;
}

int RemoteSink::ResolveLink(std::string* path) {
  std::string target;
  if (!ResolveShellLink(*path, &target) || target.empty()) return -1;
  *path = target;
  return 1;
}

void RemoteSink::JobEnded(bool stopped, bool) {
  Status(stopped ? "Stopped loading pictures." : "Finished loading pictures.", 0);
}

}  // namespace gq
