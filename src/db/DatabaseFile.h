// The open database file of the collection: its name, descriptor, append position and
// unused bytes, and the operations that write and read it: the header, thumbnail blocks
// appended as they are paged out, the record list, and save. Thumbnails are never
// rewritten in place; the record list is rewritten at every save, protected by the
// recovery journal. The file is locked exclusively while open, so a second instance
// cannot open it. Owned by ImageRecordDB; user-interface thread.
#pragma once

#include <cstdint>
#include <string>

#include "db/DbFormat.h"
#include "db/RecoveryJournal.h"

namespace gq {

class ImageRecordDB;
struct ImageRecord;

class DatabaseFile {
 public:
  explicit DatabaseFile(ImageRecordDB& db);
  ~DatabaseFile();
  DatabaseFile(const DatabaseFile&) = delete;
  DatabaseFile& operator=(const DatabaseFile&) = delete;

  // The collection's file name (empty for a collection never saved or loaded).
  const std::string& Name() const { return m_Name; }
  void SetName(const std::string& name);
  bool IsOpen() const { return m_Fd >= 0; }
  int Descriptor() const { return m_Fd; }
  int64_t AppendPosition() const { return m_AppendPosition; }
  int64_t UnusedBytes() const { return m_UnusedBytes; }
  void AddUnusedBytes(int64_t bytes) { m_UnusedBytes += bytes; }
  RecoveryJournal& Journal() { return m_Journal; }
  ImageRecordDB& Database() { return m_Db; }
  // Why the last open or create failed, for messages ("" when it did not).
  const std::string& LastError() const { return m_LastError; }

  // Opens the named file for loading (read and write, locked). False on failure.
  bool OpenForLoading(const std::string& path);
  // Takes the header of a loaded file: the append position and the unused bytes.
  void TakeLoadedHeader(const DbHeader& header);
  // Creates the file under the collection's name (asking for a name when none is set),
  // truncating a file of that name: empty, with a header whose list offset is 0. False
  // when there is no name or it cannot be created.
  bool Create();
  // Creates a new file at path and makes it the collection's file, the same way, but
  // only when no file of that name exists: a file that appeared meanwhile is left alone
  // (false). The file is locked from the moment it exists.
  bool CreateNew(const std::string& path);
  // Closes the file without writing; the name is kept.
  void Close();
  // Closes and forgets the name, the append position and the unused bytes.
  void Forget();

  // Appends the record's thumbnail at the append position, forced to disk; on failure
  // the record's offset is -1 again and the append position unchanged.
  bool AppendThumbnail(ImageRecord* record);
  // Reads the record's thumbnail from the open file into fresh pixels.
  bool ReadThumbnail(ImageRecord* record);
  // The byte size of the record's stored thumbnail block (pixels only), or -1.
  int64_t StoredThumbnailBytes(const ImageRecord& record);

  // Writes the collection to the file: new thumbnails, the record list at the append
  // position, the header; then the collection is clean. Nothing while clean.
  bool Save();

  // The header of a file, with the messages for a newer or an old version (the user
  // may refuse conversion). False when the file is not a readable database.
  static bool ReadHeader(int fd, DbHeader* header, bool* convert);
  // Writes the header at offset 0 with the collection's record count.
  bool WriteHeader(int fd, int64_t listOffset, int64_t unusedBytes);
  // Writes every record in running-number order at position (-1: the end); returns the
  // list offset or -1.
  int64_t WriteRecordList(int fd, int64_t position);
  // Reads count records (plus skipped empty-path ones) at offset and adds them to the
  // collection. Records of another file or converted ones get their thumbnails read now
  // (another file's offsets become -1). Progress goes from..to. False on damage.
  bool ReadRecordList(int fd, int64_t offset, int32_t version, int32_t count, bool convert,
                      bool otherFile, double from, double to);

 private:
  bool AppendThumbnails();
  bool StartEmptyFile(bool onlyNew);

  ImageRecordDB& m_Db;
  RecoveryJournal m_Journal;
  std::string m_Name;
  int m_Fd = -1;
  int64_t m_AppendPosition = -1;
  int64_t m_UnusedBytes = 0;
  std::string m_LastError;
};

// How OpenDatabaseExclusive treats the file of that name.
enum class DbCreation { kExisting, kTruncate, kOnlyNew };

// An exclusive open of a database file for reading and writing: an existing file, or
// one created with mode 0600 (kTruncate also empties a file that exists; kOnlyNew fails
// when one exists). -1 on failure, with the reason in *error.
int OpenDatabaseExclusive(const std::string& path, DbCreation creation, std::string* error);
// A read-only open that denies writers (for merging another file). -1 on failure.
int OpenDatabaseShared(const std::string& path, std::string* error);

}  // namespace gq
