// The edited-copy duplicate search: groups each picture with its copies that were
// resized, re-encoded, blurred, brightened or darkened, changed in contrast, turned grey,
// cropped, mirrored or turned by quarter turns, working from the stored thumbnails only.
// Descriptors come from the cache file when its key for a record still holds, else from
// the record's thumbnail (then the cache file is rewritten). The groups replace the
// database's group list, ordered like the default search's. Runs on the user-interface
// thread (it reads thumbnails through the database); the work is shared by helper
// threads that never touch the database.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "db/ImageRecordDB.h"
#include "edits/EditCache.h"

namespace gq {

struct EditSearchOptions {
  std::string cachePath;  // the descriptor cache file; empty: none is read or written
  int threads = 0;        // 0: one per core
  // Called on the calling thread with a status text and the percentage done of that
  // stage; false cancels the search.
  std::function<bool(const std::string& status, int percent)> progress;
};

struct EditSearchReport {
  bool finished = false;  // false when cancelled; the group list is then empty
  // Per grouped record (by running number) the edit it matched under (see EditMember);
  // empty for the first member of its group.
  std::unordered_map<int32_t, std::string> edits;
  int32_t reused = 0;    // descriptors taken from the cache file
  int32_t computed = 0;  // descriptors made from thumbnails
  EditCacheState cacheState = EditCacheState::kMissing;
  std::string cacheError;  // why the cache file could not be written; the search still ran
};

// The cache file of the database at databasePath.
std::string EditCachePath(const std::string& databasePath);

EditSearchReport RunEditDuplicateSearch(ImageRecordDB& db, const EditSearchOptions& options);

}  // namespace gq
