#include "db/DatabaseOps.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "base/Text.h"
#include "db/BusyScope.h"
#include "db/ByteStream.h"
#include "db/FileLayer.h"
#include "db/RecordCodec.h"
#include "platform/Beep.h"
#include "platform/MessageBox.h"

namespace gq {
namespace {

constexpr int kStopLoadingWaitMs = 5000;

void Status(ImageRecordDB& db, const std::string& text, int holdMs = 0) {
  if (db.Host().statusText) db.Host().statusText(text, holdMs);
}

void ProgressDone(ImageRecordDB& db) {
  if (db.Host().progressDone) db.Host().progressDone();
}

void StopLoading(ImageRecordDB& db) {
  if (db.Host().stopLoading) db.Host().stopLoading(kStopLoadingWaitMs);
}

int Ask(const std::string& text, unsigned flags) {
  BusyScope busy;
  return MessageBox(text, kProgramCaption, flags);
}

void AfterRecordsChanged(ImageRecordDB& db, double from, double to) {
  db.SetIndexValid(false);
  db.SetDuplicatesComplete(false);
  if (db.Host().rebuildIndex) db.Host().rebuildIndex(from, to);
  if (db.Host().changeListener) db.Host().changeListener();
}

// Writes one record of a copy with the thumbnail offset it has in the copy.
bool WriteRecordWithOffset(ByteStream& out, ImageRecord* record, int64_t offset) {
  int64_t own = record->m_ThumbOffset;
  record->m_ThumbOffset = offset;
  bool ok = WriteRecord(out, *record);
  record->m_ThumbOffset = own;
  return ok;
}

// Writes the thumbnails, the list and the header of a compact copy into fd.
bool WriteCopy(ImageRecordDB& db, int fd, double from, double to) {
  std::vector<ImageRecord*> records = db.Records();
  std::vector<int64_t> offsets(records.size(), -1);
  DbHeader header;
  header.recordCount = static_cast<int32_t>(records.size());
  unsigned char bytes[kDbHeaderSize];
  EncodeHeader(header, bytes);
  if (!WriteFully(fd, bytes, sizeof bytes)) return false;
  FileByteStream out(fd, kDbHeaderSize);
  for (size_t i = 0; i < records.size(); ++i) {
    ImageRecord* record = records[i];
    bool inMemory = record->m_ThumbPixels != nullptr;
    if (!inMemory && !db.LoadThumbnail(record)) return false;
    offsets[i] = out.Position();
    bool written = WriteThumbnailBlock(out, *record);
    if (!inMemory && record->m_ThumbOffset >= 0) FreeRecordPixels(record);
    if (!written) return false;
    if (db.Host().progress && (i % 256 == 0)) {
      db.Host().progress(from + (to - from) * 0.9 * static_cast<double>(i) / records.size());
    }
  }
  header.listOffset = out.Position();
  for (size_t i = 0; i < records.size(); ++i) {
    if (!WriteRecordWithOffset(out, records[i], offsets[i])) return false;
  }
  if (!out.Flush()) return false;
  EncodeHeader(header, bytes);
  return Files().Seek(fd, 0, SEEK_SET) == 0 && WriteFully(fd, bytes, sizeof bytes) &&
         Files().Sync(fd) == 0;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// The records a list names; empty when there are none (selected only: the current
// picture is selected first).
std::vector<ImageRecord*> ListedRecords(ImageRecordDB& db, bool folders, bool selectedOnly,
                                        int32_t currentLfdNr) {
  if (!selectedOnly) return db.RecordsByPath();
  if (currentLfdNr >= 0) db.Select(currentLfdNr, kSelect);
  std::vector<ImageRecord*> selected = db.SelectedRecords();
  if (!folders) return selected;
  std::vector<ImageRecord*> byPath;
  for (ImageRecord* record : db.RecordsByPath()) {
    if (db.IsSelected(record->m_LfdNr)) byPath.push_back(record);
  }
  return byPath;
}

}  // namespace

bool IsDatabasePath(const std::string& path) { return EndsWithNoCase(path, ".gqdb"); }

std::string LoadedDatabaseText(int64_t unusedBytes) {
  if (unusedBytes / 1024 < 10241) return "Loaded Database.";
  char text[128];
  std::snprintf(text, sizeof text, "Loaded Database. --- Use \"Save DB As\" to save %d MB.",
                static_cast<int>(unusedBytes / 1048576));
  return text;
}

bool LoadDatabase(ImageRecordDB& db, const std::string& path, double from, double to) {
  DatabaseFile& file = db.File();
  if (file.IsOpen()) return MergeDatabase(db, path);
  bool hadRecords = db.Count() > 0;
  if (!hadRecords) db.ClearAll();
  file.SetName(path);
  if (!file.OpenForLoading(path)) return false;
  DbHeader header;
  bool convert = false;
  if (!file.Journal().CheckAtLoad(file) ||
      !DatabaseFile::ReadHeader(file.Descriptor(), &header, &convert)) {
    file.Close();
    return false;
  }
  // A file that was created but never saved has no list: appends go behind the header.
  if (header.listOffset == 0) header.listOffset = kDbHeaderSize;
  file.TakeLoadedHeader(header);
  double listEnd = from + (to - from) * 0.9;
  if (!file.ReadRecordList(file.Descriptor(), header.listOffset, header.version, header.recordCount,
                           convert, false, from, listEnd)) {
    file.Close();
    return false;
  }
  db.SetClean(!hadRecords && !convert);
  AfterRecordsChanged(db, listEnd, to);
  if (to >= 1.0) ProgressDone(db);
  return true;
}

bool OpenOrCreateDatabase(ImageRecordDB& db, const std::string& path) {
  if (!FileExists(path) && db.File().CreateNew(path)) return true;
  // Another run may have made the file since: it is loaded (or refused while that run
  // holds it), never replaced.
  return LoadDatabase(db, path, 0, 1);
}

bool MergeDatabase(ImageRecordDB& db, const std::string& path) {
  DatabaseFile& file = db.File();
  if (EqualsNoCase(path, file.Name())) return false;
  if (!file.Journal().Save(file)) return false;
  std::string error;
  int fd = OpenDatabaseShared(path, &error);
  if (fd < 0) return false;
  DbHeader header;
  bool convert = false;
  bool ok = DatabaseFile::ReadHeader(fd, &header, &convert);
  if (ok && header.recordCount > 1000 &&
      Ask("Warning: merging databases is slow and can not be canceled.",
          MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
    Files().Close(fd);
    return true;
  }
  if (ok && header.listOffset > 0) {
    ok = file.ReadRecordList(fd, header.listOffset, header.version, header.recordCount, convert,
                             true, 0.0, 0.99);
  }
  db.SetClean(false);
  AfterRecordsChanged(db, 0.99, 1.0);
  Files().Close(fd);
  ProgressDone(db);
  return ok;
}

bool FlushDatabase(ImageRecordDB& db) {
  while (!db.File().Save()) {
    if (!db.File().IsOpen()) return false;  // no file could be made: nothing to retry
    if (Ask("Problems writing to disk. Is your disk full?\nIf you abort now, your database may "
            "be corrupted.",
            MB_RETRYCANCEL | MB_ICONERROR | MB_TOPMOST | MB_SYSTEMMODAL) != IDRETRY) {
      return false;
    }
  }
  return true;
}

bool SaveAsCopy(ImageRecordDB& db, const std::string& path, double from, double to) {
  if (db.Count() >= 1001 &&
      Ask("Warning: saving database to a new file is slow and can not be canceled.",
          MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
    return false;
  }
  std::string error;
  int fd = OpenDatabaseExclusive(path, DbCreation::kTruncate, &error);
  if (fd < 0) return false;
  DatabaseFile& file = db.File();
  if (file.IsOpen() && !FlushDatabase(db)) {
    Files().Close(fd);
    return false;
  }
  bool ok = WriteCopy(db, fd, from, to);
  ok = Files().Close(fd) == 0 && ok;
  if (!ok) return false;
  SyncFolderOf(path);
  db.ClearAll();
  return true;
}

bool SaveDatabase(ImageRecordDB& db, const std::string& requested, bool choose) {
  DatabaseFile& file = db.File();
  std::string path = requested;
  if (path.empty() && !choose) path = file.Name();
  if (path.empty() || choose) {
    path = db.Host().chooseDatabaseFile ? db.Host().chooseDatabaseFile() : std::string();
    if (path.empty()) return true;  // cancelled: the save ends as done
  }
  Status(db, "Saving DB to " + path + " ...");
  bool ok;
  if (file.Name().empty()) {
    file.SetName(path);
    file.Journal().Delete(path, true);
    ok = FlushDatabase(db);
    if (!ok && !file.IsOpen()) file.SetName(std::string());  // the name led nowhere
  } else if (path == file.Name()) {
    ok = FlushDatabase(db);
  } else {
    ok = SaveAsCopy(db, path, 0.0, 0.9) && LoadDatabase(db, path, 0.9, 1.0);
  }
  if (ok) {
    Status(db, "Saved Database.");
    if (db.Host().stateChanged) db.Host().stateChanged();
    return true;
  }
  Ask("Can not save DB to " + path, MB_OK | MB_ICONERROR);
  Status(db, "Save failed.");
  return false;
}

namespace {

// The save of the close prompt: repeats until a save succeeds. After a failure the
// save dialog is offered; cancelling it asks "Save Database?" again, and No ends the
// loop unsaved. Cancelling the first dialog (no file name yet) ends it at once. Returns
// whether the collection was saved.
bool SaveUntilDone(ImageRecordDB& db) {
  bool choose = db.File().Name().empty();
  bool failed = false;
  for (;;) {
    bool done = SaveDatabase(db, std::string(), choose);
    if (done && db.IsClean()) return true;
    if (done && (!failed || Ask("Save Database?", MB_YESNO | MB_ICONQUESTION) != IDYES)) {
      return false;
    }
    failed = failed || !done;
    choose = true;
  }
}

}  // namespace

void CloseDatabase(ImageRecordDB& db, bool report) {
  StopLoading(db);
  DatabaseFile& file = db.File();
  bool hadFile = file.IsOpen();
  bool saved = false;
  if (hadFile) {
    saved = SaveDatabase(db, std::string(), false);
  } else if (db.Count() > 0 && !(db.IsClean() && !file.Name().empty()) &&
             Ask("Save Database?", MB_YESNO | MB_ICONQUESTION) == IDYES) {
    saved = SaveUntilDone(db);
  }
  db.ClearAll();
  if (report) {
    Status(db, hadFile || saved ? "Closed Database." : "Cleared Database");
    if (db.Host().stateChanged) db.Host().stateChanged();
  }
}

bool OpenDatabasePath(ImageRecordDB& db, const std::string& path, bool add) {
  DatabaseFile& file = db.File();
  if (add && !file.Name().empty() && EqualsNoCase(path, file.Name())) {
    if (Ask("DB already open. Reload Database?", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
      return false;
    }
    CloseDatabase(db, false);
  } else if (!add && (db.Count() > 0 || !file.Name().empty())) {
    CloseDatabase(db, true);
  }
  Status(db, "Loading DB " + path + " ...");
  if (LoadDatabase(db, path, 0.0, 1.0)) {
    Status(db, LoadedDatabaseText(file.UnusedBytes()));
    return true;
  }
  MessageBeep(MB_BEEP_DEFAULT);
  if (db.Count() == 0 || Ask("Problems loading database.\nClearing DB is recommended!\n\nClear "
                             "database?",
                             MB_YESNO | MB_ICONQUESTION) == IDYES) {
    db.ClearAll();
  }
  Status(db, "Error loading Database.");
  return false;
}

std::vector<std::string> ListedPaths(ImageRecordDB& db, bool folders, bool selectedOnly,
                                     int32_t currentLfdNr) {
  std::vector<std::string> paths;
  std::string previous = "!";
  for (ImageRecord* record : ListedRecords(db, folders, selectedOnly, currentLfdNr)) {
    if (!folders) {
      paths.push_back(record->m_Path);
      continue;
    }
    if (StartsWithNoCase(record->m_Path, previous + "/")) continue;
    previous = FolderOf(record->m_Path);
    paths.push_back(previous);
  }
  return paths;
}

bool ListLine(const std::string& path, std::string* line) {
  bool endsInBlank = !path.empty() && (path.back() == ' ' || path.back() == '\t');
  bool quote = path.find('"') != std::string::npos;
  bool nestedList = path.size() >= 4 && path.compare(path.size() - 4, 4, ".txt") == 0;
  if (path.find_first_of("\r\n") != std::string::npos || nestedList ||
      (quote && (endsInBlank || path[0] != '/'))) {
    return false;
  }
  // The reader takes an unquoted line whole when it starts with no quote and has no
  // blanks to trim at its ends.
  *line = quote ? path + "\r\n" : "\"" + path + "\"\r\n";
  return true;
}

std::string ListText(ImageRecordDB& db, bool folders, bool selectedOnly, int32_t currentLfdNr,
                     std::vector<std::string>* unlisted) {
  std::string text;
  std::string line;
  for (const std::string& path : ListedPaths(db, folders, selectedOnly, currentLfdNr)) {
    if (ListLine(path, &line)) {
      text += line;
    } else {
      unlisted->push_back(path);
    }
  }
  return text;
}

bool WriteList(ImageRecordDB& db, const std::string& path, bool folders, bool selectedOnly,
               const std::string& header, int32_t currentLfdNr,
               std::vector<std::string>* unlisted) {
  if (selectedOnly) {
    if (currentLfdNr >= 0) db.Select(currentLfdNr, kSelect);
    if (db.SelectionCount() == 0) return false;
  } else if (db.Count() == 0) {
    return false;
  }
  std::string content = header + ListText(db, folders, selectedOnly, currentLfdNr, unlisted);
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteFully(fd, content.data(), content.size());
  ok = ::close(fd) == 0 && ok;
  return ok;
}

}  // namespace gq
