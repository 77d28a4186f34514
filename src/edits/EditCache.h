// The descriptor cache file beside a database (the database's name + ".edits"): per
// record a key that changes when the record's file or thumbnail changes, and the
// record's descriptor. Layout: "GQEDITS\n", the version, the descriptor size and the
// entry count (32-bit each), the entries (path length, path, file time and picture sides
// as 32-bit numbers, the 64-bit signature hash, the descriptor bytes), and
// a 64-bit checksum of everything before it; numbers in the host's byte order. A file
// that is short, too long, of another version or layout, or whose checksum differs,
// counts as damaged and is read as empty. Written in one piece through AtomicFile, so a
// reader sees the old or the new file. One thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "edits/EditDescriptor.h"

namespace gq {

struct ImageRecord;

struct EditCacheKey {
  std::string path;
  int32_t fileTime = 0;
  int32_t pictureWidth = 0, pictureHeight = 0;
  uint64_t signatureHash = 0;  // of the signature computed from the thumbnail
  bool operator==(const EditCacheKey&) const = default;
};

// The key of a record as it is now.
EditCacheKey CacheKeyOf(const ImageRecord& record);

struct EditCacheEntry {
  EditCacheKey key;
  EditDescriptor descriptor;
};

enum class EditCacheState { kRead, kMissing, kDamaged };

// Reads the cache file into *entries (emptied first; left empty unless kRead).
EditCacheState ReadEditCache(const std::string& path, std::vector<EditCacheEntry>* entries);

// Replaces the cache file with the entries. False with *error when it cannot.
bool WriteEditCache(const std::string& path, const std::vector<const EditCacheEntry*>& entries,
                    std::string* error);

}  // namespace gq
