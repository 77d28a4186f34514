// Reading a database file without loading it: the header facts for "gqtool info" and a
// full check of every record, thumbnail block and invariant of the file for
// "gqtool check". The file is opened read-only with a shared lock, so a database that
// another program has open is refused. Any thread.
#pragma once

#include <cstdint>
#include <string>

#include "db/DbFormat.h"

namespace gq {

struct DatabaseFacts {
  DbHeader header;
  int64_t fileSize = 0;
  bool journalPresent = false;
};

// Reads the header and the file facts; false with the reason in *problem.
bool ReadDatabaseFacts(const std::string& path, DatabaseFacts* facts, std::string* problem);

struct CheckSummary {
  int32_t records = 0;           // records with a path
  int32_t emptyPathRecords = 0;  // skipped by a load
  int64_t thumbnailBytes = 0;    // pixel bytes of the referenced thumbnails
};

// Reads every record and thumbnail and checks the file's invariants; false with the
// first problem found in *problem. A file with a recovery journal beside it is not
// checked (false): its record list is only whole again once a load has recovered it.
bool CheckDatabaseFile(const std::string& path, CheckSummary* summary, std::string* problem);

}  // namespace gq
