#include "db/DatabaseFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "db/BusyScope.h"
#include "db/ByteStream.h"
#include "db/FileLayer.h"
#include "db/ImageRecordDB.h"
#include "db/RecordCodec.h"
#include "platform/MessageBox.h"

namespace gq {
namespace {

std::atomic<bool> g_fileDialogBusy{false};

const char* kStorageAdvice =
    "When your collection of pictures loaded into GlimmerQuorum becomes larger,\npart of the "
    "information should be stored on file so your computer won't run out of memory.\n\nI "
    "recommend you choose a file on a disk\n- which is fast and\n- which has sufficient free "
    "space (magnitude 1 GB)\n\nWould you like to choose a database file now?";

bool ReadAt(int fd, int64_t offset, void* buffer, size_t size) {
  return Files().Seek(fd, offset, SEEK_SET) == offset && ReadFully(fd, buffer, size);
}

void Progress(ImageRecordDB& db, double fraction) {
  if (db.Host().progress) db.Host().progress(fraction);
}

}  // namespace

int OpenDatabaseExclusive(const std::string& path, DbCreation creation, std::string* error) {
  int flags = O_RDWR;
  if (creation != DbCreation::kExisting) flags |= O_CREAT;
  if (creation == DbCreation::kOnlyNew) flags |= O_EXCL;
  int fd = Files().Open(path, flags, 0600);
  if (fd < 0) {
    *error = std::strerror(errno);
    return -1;
  }
  if (Files().LockExclusive(fd) != 0) {
    *error = "the database is open in another program";
    Files().Close(fd);
    return -1;
  }
  // Truncate only once the lock is ours, so an open file of another instance is never cut.
  if (creation == DbCreation::kTruncate && Files().Truncate(fd, 0) != 0) {
    *error = std::strerror(errno);
    Files().Close(fd);
    return -1;
  }
  return fd;
}

int OpenDatabaseShared(const std::string& path, std::string* error) {
  int fd = Files().Open(path, O_RDONLY, 0);
  if (fd < 0) {
    *error = std::strerror(errno);
    return -1;
  }
  if (Files().LockShared(fd) != 0) {
    *error = "the database is open for writing in another program";
    Files().Close(fd);
    return -1;
  }
  return fd;
}

DatabaseFile::DatabaseFile(ImageRecordDB& db) : m_Db(db) {}

DatabaseFile::~DatabaseFile() { Close(); }

void DatabaseFile::SetName(const std::string& name) {
  m_Name = name;
  if (m_Db.Host().stateChanged) m_Db.Host().stateChanged();
}

bool DatabaseFile::OpenForLoading(const std::string& path) {
  Close();
  m_LastError.clear();
  m_Fd = OpenDatabaseExclusive(path, DbCreation::kExisting, &m_LastError);
  return m_Fd >= 0;
}

void DatabaseFile::TakeLoadedHeader(const DbHeader& header) {
  m_AppendPosition = header.listOffset;
  m_UnusedBytes = header.unusedBytes;
}

bool DatabaseFile::Create() {
  m_LastError.clear();
  if (m_Name.empty()) {
    if (g_fileDialogBusy.exchange(true)) return false;
    std::string chosen;
    {
      BusyScope busy;
      if (MessageBox(kStorageAdvice, kProgramCaption, MB_YESNO | MB_ICONWARNING) == IDYES &&
          m_Db.Host().chooseDatabaseFile) {
        chosen = m_Db.Host().chooseDatabaseFile();
      }
    }
    g_fileDialogBusy = false;
    if (chosen.empty()) {
      m_LastError = "no database file name";
      return false;
    }
    SetName(chosen);
  }
  return StartEmptyFile(false);
}

bool DatabaseFile::CreateNew(const std::string& path) {
  m_LastError.clear();
  SetName(path);
  return StartEmptyFile(true);
}

bool DatabaseFile::StartEmptyFile(bool onlyNew) {
  Close();
  m_Fd = OpenDatabaseExclusive(m_Name, onlyNew ? DbCreation::kOnlyNew : DbCreation::kTruncate,
                               &m_LastError);
  if (m_Fd < 0) return false;
  m_Journal.Delete(m_Name, true);
  m_UnusedBytes = 0;
  if (!WriteHeader(m_Fd, 0, 0) || Files().Sync(m_Fd) != 0) {
    m_LastError = "cannot write the header";
    Close();
    return false;
  }
  SyncFolderOf(m_Name);
  m_AppendPosition = kDbHeaderSize;
  return true;
}

void DatabaseFile::Close() {
  if (m_Fd >= 0) Files().Close(m_Fd);
  m_Fd = -1;
  m_AppendPosition = -1;
}

void DatabaseFile::Forget() {
  Close();
  m_UnusedBytes = 0;
  if (!m_Name.empty()) {
    m_Name.clear();
    if (m_Db.Host().stateChanged) m_Db.Host().stateChanged();
  }
}

bool DatabaseFile::AppendThumbnail(ImageRecord* record) {
  if (!record->m_ThumbPixels) return false;
  if (!IsOpen() && !Create()) return false;
  if (!m_Journal.Save(*this)) return false;
  int64_t start = m_AppendPosition;
  record->m_ThumbOffset = start;
  bool ok = false;
  {
    FileByteStream out(m_Fd, start);
    ok = out.SeekTo(start) && WriteThumbnailBlock(out, *record) && out.Flush() &&
         Files().Sync(m_Fd) == 0;
  }
  if (!ok) {
    Files().Seek(m_Fd, start, SEEK_SET);
    record->m_ThumbOffset = -1;
    return false;
  }
  m_AppendPosition =
      start + kThumbBlockHeaderSize + ThumbnailBytes(record->m_ThumbWidth, record->m_ThumbHeight);
  return true;
}

bool DatabaseFile::ReadThumbnail(ImageRecord* record) {
  if (!IsOpen() || record->m_ThumbOffset < 0) return false;
  FileByteStream in(m_Fd, 0);
  if (!in.SeekTo(record->m_ThumbOffset)) return false;
  return ReadThumbnailBlock(in, in.Remaining(), record) == CodecStatus::kOk;
}

int64_t DatabaseFile::StoredThumbnailBytes(const ImageRecord& record) {
  if (record.m_ThumbWidth > 0 && record.m_ThumbHeight > 0) {
    return ThumbnailBytes(record.m_ThumbWidth, record.m_ThumbHeight);
  }
  unsigned char bytes[kThumbBlockHeaderSize];
  ThumbnailBlockHead head;
  if (!IsOpen() || record.m_ThumbOffset < 0 ||
      !ReadAt(m_Fd, record.m_ThumbOffset, bytes, sizeof bytes) ||
      !DecodeThumbnailBlockHead(bytes, kMaxStoredThumbnailSide, &head)) {
    return -1;
  }
  return ThumbnailBytes(head.width, head.height);
}

// Appends the blocks of all records without a stored thumbnail in one run and forces
// them to disk once; on failure none of them counts as stored.
bool DatabaseFile::AppendThumbnails() {
  std::vector<ImageRecord*> pending;
  for (ImageRecord* record : m_Db.Records()) {
    if (record->m_ThumbOffset < 0 && record->m_ThumbPixels) pending.push_back(record);
  }
  if (pending.empty()) return true;
  int64_t start = m_AppendPosition;
  int64_t position = start;
  bool ok;
  {
    FileByteStream out(m_Fd, start);
    ok = out.SeekTo(start);
    for (size_t i = 0; ok && i < pending.size(); ++i) {
      pending[i]->m_ThumbOffset = position;
      ok = WriteThumbnailBlock(out, *pending[i]);
      position += kThumbBlockHeaderSize +
                  ThumbnailBytes(pending[i]->m_ThumbWidth, pending[i]->m_ThumbHeight);
    }
    ok = ok && out.Flush() && Files().Sync(m_Fd) == 0;
  }
  if (!ok) {
    for (ImageRecord* record : pending) record->m_ThumbOffset = -1;
    Files().Seek(m_Fd, start, SEEK_SET);
    return false;
  }
  m_AppendPosition = position;
  return true;
}

bool DatabaseFile::Save() {
  if (m_Db.IsClean()) return true;
  if (!IsOpen() && !Create()) return false;
  // The list is overwritten below: its saved copy must be in the journal first.
  if (!m_Journal.Save(*this)) return false;
  if (!AppendThumbnails()) return false;
  int64_t listOffset = WriteRecordList(m_Fd, m_AppendPosition);
  if (listOffset < 0 || Files().Sync(m_Fd) != 0) return false;
  if (!WriteHeader(m_Fd, listOffset, m_UnusedBytes) || Files().Sync(m_Fd) != 0) return false;
  m_Db.SetClean(true);
  return true;
}

bool DatabaseFile::ReadHeader(int fd, DbHeader* header, bool* convert) {
  *convert = false;
  unsigned char bytes[kDbHeaderSize];
  if (!ReadAt(fd, 0, bytes, sizeof bytes)) return false;
  *header = DecodeHeader(bytes);
  if (header->magic != kDbMagic || header->constant != kDbConstant) return false;
  if (header->version > kDbVersion) {
    MessageBox("Error: new DB format not known to this version of GlimmerQuorum", kProgramCaption,
               MB_OK | MB_ICONERROR);
    return false;
  }
  if (header->version < kDbOldestVersion) return false;
  if (header->recordCount < 0 || header->listOffset < 0 ||
      (header->listOffset > 0 && header->listOffset < kDbHeaderSize)) {
    return false;
  }
  if (header->version == kDbVersion) {
    if (header->unusedBytes < 0) header->unusedBytes = 0;
    return true;
  }
  header->unusedBytes = 0;
  BusyScope busy;
  if (MessageBox("Warning: old DB format.\nConverting to new format takes time and can't be "
                 "cancelled.\nConvert to new format?",
                 kProgramCaption, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
    return false;
  }
  *convert = true;
  return true;
}

bool DatabaseFile::WriteHeader(int fd, int64_t listOffset, int64_t unusedBytes) {
  DbHeader header;
  header.recordCount = m_Db.Count();
  header.unusedBytes = unusedBytes;
  header.listOffset = listOffset;
  unsigned char bytes[kDbHeaderSize];
  EncodeHeader(header, bytes);
  return Files().Seek(fd, 0, SEEK_SET) == 0 && WriteFully(fd, bytes, sizeof bytes);
}

int64_t DatabaseFile::WriteRecordList(int fd, int64_t position) {
  int64_t offset =
      position >= 0 ? Files().Seek(fd, position, SEEK_SET) : Files().Seek(fd, 0, SEEK_END);
  if (offset < 0 || (position >= 0 && offset != position)) return -1;
  FileByteStream out(fd, offset);
  for (ImageRecord* record : m_Db.Records()) {
    if (!WriteRecord(out, *record)) return -1;
  }
  return out.Flush() ? offset : -1;
}

bool DatabaseFile::ReadRecordList(int fd, int64_t offset, int32_t version, int32_t count,
                                  bool convert, bool otherFile, double from, double to) {
  FileByteStream in(fd, 0);
  if (!in.SeekTo(offset)) return false;
  for (int32_t read = 0; read < count;) {
    ImageRecord* record = MakeRecord("");
    CodecStatus status = ReadRecord(in, version, in.Remaining(), record);
    if (status != CodecStatus::kOk) {
      DestroyRecord(record);
      return false;
    }
    if (record->m_Path.empty()) {
      DestroyRecord(record);
      continue;
    }
    if ((otherFile || convert) && record->m_ThumbOffset >= 0) {
      int64_t resume = in.Position();
      bool thumbnail = in.SeekTo(record->m_ThumbOffset) &&
                       ReadThumbnailBlock(in, in.Remaining(), record) == CodecStatus::kOk &&
                       in.SeekTo(resume);
      if (!thumbnail) {
        DestroyRecord(record);
        return false;
      }
      if (otherFile) record->m_ThumbOffset = -1;
    }
    if (convert) {
      int32_t width = record->m_ThumbWidth;
      int32_t height = record->m_ThumbHeight;
      if (!m_Db.Host().pictureSize || !m_Db.Host().pictureSize(record->m_Path, &width, &height)) {
        if (m_Db.Host().statusText) {
          m_Db.Host().statusText("Error reading picture: \"" + record->m_Path + "\"", 4000);
        }
        width = record->m_ThumbWidth;
        height = record->m_ThumbHeight;
      }
      record->m_PictureWidth = width;
      record->m_PictureHeight = height;
      if (record->m_ThumbPixels) {
        ComputeSignature(record->m_ThumbWidth, record->m_ThumbHeight, record->m_ThumbPixels, width,
                         height, record->m_Signature);
      }
    }
    m_Db.AddRecord(record, false);
    ++read;
    if (count > 0 && (read % 256 == 0 || read == count)) {
      Progress(m_Db, from + (to - from) * read / count);
    }
  }
  return true;
}

}  // namespace gq
