#include "db/DatabaseCheck.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "db/ByteStream.h"
#include "db/DatabaseFile.h"
#include "db/FileLayer.h"
#include "db/ImageRecord.h"
#include "db/PathOrder.h"
#include "db/RecordCodec.h"
#include "db/RecoveryJournal.h"

namespace gq {
namespace {

// Closes the descriptor when it goes out of scope.
class OpenFile {
 public:
  explicit OpenFile(int fd) : m_Fd(fd) {}
  ~OpenFile() {
    if (m_Fd >= 0) Files().Close(m_Fd);
  }
  int fd() const { return m_Fd; }

 private:
  int m_Fd;
};

bool Fail(std::string* problem, const std::string& text) {
  *problem = text;
  return false;
}

bool CheckHeader(const DbHeader& header, int64_t fileSize, std::string* problem) {
  if (header.magic != kDbMagic) return Fail(problem, "not a database file (wrong magic)");
  if (header.constant != kDbConstant) return Fail(problem, "header constant is not 1");
  if (header.version < kDbOldestVersion || header.version > kDbVersion) {
    return Fail(problem, "unknown version " + std::to_string(header.version));
  }
  if (header.recordCount < 0) return Fail(problem, "negative record count");
  if (header.unusedBytes < 0) return Fail(problem, "negative unused bytes");
  if (header.listOffset != 0 &&
      (header.listOffset < kDbHeaderSize || header.listOffset > fileSize)) {
    return Fail(problem,
                "record list offset " + std::to_string(header.listOffset) + " outside the file");
  }
  if (header.listOffset == 0 && header.recordCount != 0) {
    return Fail(problem, "records counted but no record list");
  }
  return true;
}

}  // namespace

bool ReadDatabaseFacts(const std::string& path, DatabaseFacts* facts, std::string* problem) {
  OpenFile file(OpenDatabaseShared(path, problem));
  if (file.fd() < 0) return false;
  unsigned char bytes[kDbHeaderSize];
  if (Files().Seek(file.fd(), 0, SEEK_SET) != 0 || !ReadFully(file.fd(), bytes, sizeof bytes)) {
    return Fail(problem, "file shorter than a header");
  }
  facts->header = DecodeHeader(bytes);
  facts->fileSize = FileSize(file.fd());
  facts->journalPresent = FileExists(RecoveryJournal::PathFor(path));
  return true;
}

bool CheckDatabaseFile(const std::string& path, CheckSummary* summary, std::string* problem) {
  DatabaseFacts facts;
  if (!ReadDatabaseFacts(path, &facts, problem)) return false;
  if (facts.journalPresent) {
    // The file is between two saves: its list may be overwritten already, and only the
    // journal holds the saved one.
    return Fail(problem, "the recovery journal " + RecoveryJournal::PathFor(path) +
                             " lies beside it: the last save did not finish; loading the "
                             "database recovers its saved state");
  }
  const DbHeader& header = facts.header;
  if (!CheckHeader(header, facts.fileSize, problem)) return false;
  OpenFile file(OpenDatabaseShared(path, problem));
  if (file.fd() < 0) return false;

  // The record list first, in one sequential read.
  FileByteStream in(file.fd(), 0);
  if (!in.SeekTo(header.listOffset)) return Fail(problem, "cannot seek to the record list");
  std::set<std::string> paths;
  std::vector<std::pair<int64_t, std::string>> thumbnails;  // offset, path
  for (int32_t read = 0; read < header.recordCount;) {
    std::string where = "record " + std::to_string(read + summary->emptyPathRecords);
    ImageRecord* record = MakeRecord("");
    CodecStatus status = ReadRecord(in, header.version, in.Remaining(), record);
    std::string recordPath = record->m_Path;
    int64_t offset = record->m_ThumbOffset;
    int32_t time = record->m_FileTime;
    DestroyRecord(record);
    if (status == CodecStatus::kShort) return Fail(problem, where + ": record list ends early");
    if (status == CodecStatus::kDamaged) return Fail(problem, where + ": damaged record");
    if (recordPath.empty()) {
      ++summary->emptyPathRecords;
      continue;
    }
    where += " (" + recordPath + ")";
    if (time < -1) return Fail(problem, where + ": file time below -1");
    if (!paths.insert(recordPath).second) return Fail(problem, where + ": path listed twice");
    if (offset >= 0 && (offset < kDbHeaderSize || offset >= header.listOffset)) {
      return Fail(problem, where + ": thumbnail offset " + std::to_string(offset) +
                               " outside the thumbnail area");
    }
    if (offset >= 0) thumbnails.emplace_back(offset, recordPath);
    ++read;
    ++summary->records;
  }

  // Then every thumbnail block, in file order.
  std::sort(thumbnails.begin(), thumbnails.end());
  std::vector<std::pair<int64_t, int64_t>> blocks;  // [start, end) of each thumbnail block
  for (const auto& [offset, recordPath] : thumbnails) {
    ImageRecord* record = MakeRecord("");
    bool thumbnail = in.SeekTo(offset) &&
                     ReadThumbnailBlock(in, header.listOffset - offset, record) == CodecStatus::kOk;
    int64_t bytes = ThumbnailBytes(record->m_ThumbWidth, record->m_ThumbHeight);
    DestroyRecord(record);
    if (!thumbnail) {
      return Fail(problem, "thumbnail of " + recordPath + " at " + std::to_string(offset) +
                               " unreadable or damaged");
    }
    blocks.emplace_back(offset, offset + kThumbBlockHeaderSize + bytes);
    summary->thumbnailBytes += bytes;
  }
  for (size_t i = 1; i < blocks.size(); ++i) {
    if (blocks[i].first < blocks[i - 1].second) {
      return Fail(problem, "thumbnail blocks at " + std::to_string(blocks[i - 1].first) + " and " +
                               std::to_string(blocks[i].first) + " overlap");
    }
  }
  if (header.version == kDbVersion && header.listOffset > 0 &&
      summary->thumbnailBytes + header.unusedBytes > header.listOffset - kDbHeaderSize) {
    return Fail(problem, "unused bytes exceed the unreferenced thumbnail area");
  }
  return true;
}

}  // namespace gq
