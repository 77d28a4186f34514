// The recovery journal beside the database file (its path with "~" appended): a copy of
// the header and record list of the last save, written before the first change after
// the database was clean and deleted when it is clean again. A load that finds one
// offers to put the saved list back. The journal is written under a temporary name and
// renamed into place after an fsync, so a crash while writing it never leaves a partial
// journal. User-interface thread.
#pragma once

#include <string>

namespace gq {

class DatabaseFile;

class RecoveryJournal {
 public:
  static std::string PathFor(const std::string& databasePath) { return databasePath + "~"; }

  // Journals the open file's saved header and list unless that was done already for
  // this run of changes or the collection has no file name. Nothing is journalled (but
  // the step counts as done) when the file has no list yet or the list was overwritten
  // already. False when the journal could not be written: the caller must then not
  // overwrite the list. A journal that cannot be created or deleted is a fatal stop.
  bool Save(DatabaseFile& file);

  // Deletes the journal of the named database: always with force, otherwise only when
  // it was saved in this run. A journal that cannot be deleted is a fatal stop.
  void Delete(const std::string& databasePath, bool force);

  // Called right after the file was opened for loading: asks to recover when a journal
  // exists and restores the saved header and list. True when the load may proceed.
  bool CheckAtLoad(DatabaseFile& file);

  bool IsSaved() const { return m_Saved; }
  // Forgets that the journal was saved without deleting it (a save failed: the journal
  // stays on disk for the next load).
  void Abandon() { m_Saved = false; }

 private:
  bool m_Saved = false;  // handled for the current run of changes
};

// Shows the fatal-stop box naming the journal and ends the process with exit code -1.
[[noreturn]] void JournalFatalStop(const std::string& journalPath);

}  // namespace gq
