// The whole-database operations behind the menus, the command line and the remote
// interface: load, merge, save (with the retry prompt), save as a compact copy, close,
// the database branch of open, and the text lists of files and folders. All on the
// user-interface thread; those that replace or clear the collection stop a running
// load first (through the host).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/ImageRecordDB.h"

namespace gq {

// Whether a path names a database (ends in ".gqdb", ignoring case).
bool IsDatabasePath(const std::string& path);

// Loads a database file into the collection (a merge when a file is open already),
// with progress from..to. False on failure (the file is closed).
bool LoadDatabase(ImageRecordDB& db, const std::string& path, double from, double to);

// Loads the database file at path or, when there is none, creates it empty: exclusively
// and locked from the first moment, and kept open, so that a run that starts meanwhile
// can neither load nor replace it. False on failure.
bool OpenOrCreateDatabase(ImageRecordDB& db, const std::string& path);

// Merges another database file into the collection; its thumbnails are read now and
// appended to the own file at the next save. False when refused or failed.
bool MergeDatabase(ImageRecordDB& db, const std::string& path);

// Writes the collection to its open file, repeating while it fails and the user
// answers Retry to the disk-full prompt.
bool FlushDatabase(ImageRecordDB& db);

// Saves the collection: to its file (path empty or the same name), asking for a name
// when it has none or choose is set, or as a copy under a new name that then becomes
// the open database. Shows "Saved Database." or the failure message.
bool SaveDatabase(ImageRecordDB& db, const std::string& path, bool choose);

// Writes a compact copy (no unused bytes) of the collection to path and clears the
// collection (the caller loads the copy).
bool SaveAsCopy(ImageRecordDB& db, const std::string& path, double from, double to);

// Ends the collection: stops loading, saves it (asking when it has no file), clears it.
void CloseDatabase(ImageRecordDB& db, bool report);

// The database branch of open: asks before reloading the open file, loads (or merges
// when adding to a collection whose file is open) and reports the result.
bool OpenDatabasePath(ImageRecordDB& db, const std::string& path, bool add);

// The paths a text list of the collection names: the files in path order (selected
// only: in running-number order), or their folders in path order, each written once
// (selected only: the current picture is selected first).
std::vector<std::string> ListedPaths(ImageRecordDB& db, bool folders, bool selectedOnly,
                                     int32_t currentLfdNr);

// The list line that names path, ending in CR LF: quoted, or unquoted when the path holds
// a double quote (the reader takes such a line whole). False when no line can name the
// path so that the reader gets it back: it holds a line break, ends in ".txt" (read as a
// nested list), or holds a double quote and ends in a blank (trimmed).
bool ListLine(const std::string& path, std::string* line);

// Writes a text list of the files (or their folders) of the collection, or of the
// selected records (the current picture is selected first), with the header bytes first.
// Paths that no list line can name are left out and added to unlisted.
bool WriteList(ImageRecordDB& db, const std::string& path, bool folders, bool selectedOnly,
               const std::string& header, int32_t currentLfdNr, std::vector<std::string>* unlisted);

// The same list as text (for export to standard output and for tests).
std::string ListText(ImageRecordDB& db, bool folders, bool selectedOnly, int32_t currentLfdNr,
                     std::vector<std::string>* unlisted);

// The status text after a load with the given unused bytes.
std::string LoadedDatabaseText(int64_t unusedBytes);

}  // namespace gq
