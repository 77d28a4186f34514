#include "db/RecoveryJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "db/DatabaseFile.h"
#include "db/DbFormat.h"
#include "db/FileLayer.h"
#include "db/ImageRecordDB.h"
#include "platform/FullTransfer.h"
#include "platform/MessageBox.h"

namespace gq {
namespace {

void Status(DatabaseFile& file, const std::string& text) {
  if (file.Database().Host().statusText) file.Database().Host().statusText(text, 0);
}

bool ReadAt(int fd, int64_t offset, void* buffer, size_t size) {
  return Files().Seek(fd, offset, SEEK_SET) == offset && ReadFully(fd, buffer, size);
}

// Why a recovery failed; the number is shown to the user in the failure message.
enum class RecoveryError {
  kNone = 0,
  kJournalHeaderShort = 1,
  kDatabaseHeaderShort = 2,
  kJournalDoesNotMatch = 3,
  kHeaderWriteFailed = 4,
  kListWriteFailed = 5,
  kJournalReadFailed = 6,
};

// What copying the rest of one file into another ran into.
enum class CopyOutcome { kDone, kWriteFailed, kReadFailed };

// Copies from the current position of in to the end into out, in 4096-byte pieces.
CopyOutcome CopyRest(int in, int out) {
  char piece[4096];
  for (;;) {
    ssize_t n = RetryOnInterrupt([&] { return Files().Read(in, piece, sizeof piece); });
    if (n < 0) return CopyOutcome::kReadFailed;
    if (n == 0) return CopyOutcome::kDone;
    if (!WriteFully(out, piece, static_cast<size_t>(n))) return CopyOutcome::kWriteFailed;
  }
}

// What Save found in the database file.
enum class JournalContent { kWritten, kNothingToKeep, kWriteFailed };

JournalContent WriteJournalBody(DatabaseFile& file, int journal) {
  int db = file.Descriptor();
  unsigned char header[kDbHeaderSize];
  if (db < 0 || !ReadAt(db, 0, header, sizeof header)) return JournalContent::kNothingToKeep;
  int64_t listOffset = DecodeHeader(header).listOffset;
  if (listOffset == 0 || listOffset != file.AppendPosition()) {
    return JournalContent::kNothingToKeep;
  }
  Status(file, "Saving Recovery Information...");
  if (!WriteFully(journal, header, sizeof header)) return JournalContent::kWriteFailed;
  if (Files().Seek(db, listOffset, SEEK_SET) != listOffset) return JournalContent::kWriteFailed;
  if (CopyRest(db, journal) != CopyOutcome::kDone) return JournalContent::kWriteFailed;
  return Files().Sync(journal) == 0 ? JournalContent::kWritten : JournalContent::kWriteFailed;
}

// Copies the saved record list back to listOffset, then the saved header that points at
// it: a crash in between leaves the journal to do it again.
RecoveryError RestoreFromJournal(int journal, int db, const unsigned char* savedHeader,
                                 int64_t listOffset) {
  if (Files().Seek(db, listOffset, SEEK_SET) != listOffset) return RecoveryError::kListWriteFailed;
  switch (CopyRest(journal, db)) {
    case CopyOutcome::kWriteFailed:
      return RecoveryError::kListWriteFailed;
    case CopyOutcome::kReadFailed:
      return RecoveryError::kJournalReadFailed;
    case CopyOutcome::kDone:
      break;
  }
  if (Files().Sync(db) != 0) return RecoveryError::kListWriteFailed;
  if (Files().Seek(db, kDbIdentitySize, SEEK_SET) != kDbIdentitySize ||
      !WriteFully(db, savedHeader + kDbIdentitySize, kDbHeaderSize - kDbIdentitySize) ||
      Files().Sync(db) != 0) {
    return RecoveryError::kHeaderWriteFailed;
  }
  return RecoveryError::kNone;
}

}  // namespace

void JournalFatalStop(const std::string& journalPath) {
  MessageBox(
      "Can't access recovery information.\nTo avoid further damage GlimmerQuorum will "
      "terminate.\nPlease restart your computer and/or remove the following file:\n" +
          journalPath,
      kProgramCaption, MB_OK | MB_ICONERROR);
  std::_Exit(-1);
}

bool RecoveryJournal::Save(DatabaseFile& file) {
  if (m_Saved || file.Name().empty()) return true;
  std::string journalPath = PathFor(file.Name());
  std::string temporary = journalPath + ".new";
  int journal = Files().Open(temporary, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (journal < 0) JournalFatalStop(journalPath);
  int db = file.Descriptor();
  int64_t position = db >= 0 ? Files().Seek(db, 0, SEEK_CUR) : -1;
  JournalContent content = WriteJournalBody(file, journal);
  Files().Close(journal);
  if (content == JournalContent::kWritten) {
    if (Files().Rename(temporary, journalPath) != 0) JournalFatalStop(journalPath);
    SyncFolderOf(journalPath);
  } else if (Files().Unlink(temporary) != 0 && FileExists(temporary)) {
    JournalFatalStop(journalPath);
  }
  if (position >= 0) Files().Seek(db, position, SEEK_SET);
  if (content == JournalContent::kWriteFailed) return false;
  Status(file, "Saved Recovery Information.");
  m_Saved = true;
  return true;
}

void RecoveryJournal::Delete(const std::string& databasePath, bool force) {
  if (!force && !m_Saved) return;
  m_Saved = false;
  if (databasePath.empty()) return;
  std::string journalPath = PathFor(databasePath);
  if (Files().Unlink(journalPath) != 0 && FileExists(journalPath)) {
    chmod(journalPath.c_str(), 0600);
    if (Files().Unlink(journalPath) != 0 && FileExists(journalPath)) {
      JournalFatalStop(journalPath);
    }
  }
  SyncFolderOf(journalPath);
}

bool RecoveryJournal::CheckAtLoad(DatabaseFile& file) {
  std::string journalPath = PathFor(file.Name());
  if (!FileExists(journalPath)) return true;
  if (MessageBox("Recovery information for this DB exists.\nProbably GlimmerQuorum terminated "
                 "unexpectedly while modifying this DB.\nSome unsaved information may be "
                 "lost.\nWould you like to try to recover the DB?",
                 kProgramCaption, MB_OKCANCEL | MB_ICONWARNING) != IDOK) {
    return false;
  }
  int journal = Files().Open(journalPath, O_RDONLY, 0);
  if (journal < 0) {
    MessageBox("Can't read recovery information.", kProgramCaption, MB_OK | MB_ICONERROR);
    return false;
  }
  Status(file, "Loading Recovery Information...");
  int db = file.Descriptor();
  int64_t position = Files().Seek(db, 0, SEEK_CUR);
  unsigned char saved[kDbHeaderSize];
  unsigned char current[kDbIdentitySize];
  int64_t listOffset = 0;
  RecoveryError error = RecoveryError::kNone;
  if (!ReadFully(journal, saved, sizeof saved)) {
    error = RecoveryError::kJournalHeaderShort;
  } else if (!ReadAt(db, 0, current, sizeof current)) {
    error = RecoveryError::kDatabaseHeaderShort;
  } else if (std::memcmp(saved, current, kDbIdentitySize) != 0 ||
             (listOffset = DecodeHeader(saved).listOffset) < kDbHeaderSize) {
    error = RecoveryError::kJournalDoesNotMatch;
  } else {
    error = RestoreFromJournal(journal, db, saved, listOffset);
  }
  Files().Close(journal);
  Files().Seek(db, position, SEEK_SET);
  if (error != RecoveryError::kNone) {
    MessageBox(
        "Can't read recovery information. Error code: " + std::to_string(static_cast<int>(error)),
        kProgramCaption, MB_OK | MB_ICONERROR);
  } else {
    Delete(file.Name(), true);
  }
  Status(file, "Loaded Recovery Information.");
  return error == RecoveryError::kNone;
}

}  // namespace gq
