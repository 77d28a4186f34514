#include "edits/EditDuplicateSearch.h"

#include <algorithm>
#include <atomic>
#include <string_view>

#include "edits/EditGroups.h"
#include "edits/EditMatcher.h"
#include "edits/ParallelRun.h"

namespace gq {
namespace {

constexpr size_t kBatch = 512;  // thumbnails read before the threads describe them

// The records in the order of the members of a group.
std::vector<ImageRecord*> RecordsInGroupOrder(const ImageRecordDB& db) {
  std::vector<ImageRecord*> records = db.Records();
  std::sort(records.begin(), records.end(),
            [](const ImageRecord* a, const ImageRecord* b) { return MemberOrder(*a, *b) < 0; });
  return records;
}

struct Thumbnail {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;  // empty when the record has none
};

bool HasThumbnail(const ImageRecord& record) {
  return record.m_ThumbPixels != nullptr || record.m_ThumbOffset >= 0;
}

// A copy of the record's thumbnail, read from the file through the database when it is
// not in memory (and freed again afterwards).
Thumbnail ThumbnailOf(ImageRecordDB& db, ImageRecord* record) {
  Thumbnail thumbnail;
  const bool inMemory = record->m_ThumbPixels != nullptr;
  if (!inMemory && (record->m_ThumbOffset < 0 || !db.LoadThumbnail(record))) return thumbnail;
  if (record->m_ThumbPixels != nullptr) {
    thumbnail.width = record->m_ThumbWidth;
    thumbnail.height = record->m_ThumbHeight;
    thumbnail.pixels.assign(
        record->m_ThumbPixels,
        record->m_ThumbPixels + ThumbnailBytes(thumbnail.width, thumbnail.height));
  }
  if (!inMemory) FreeRecordPixels(record);
  return thumbnail;
}

// The thumbnails of the pending records of the batch that begins at first (none past
// the end).
std::vector<Thumbnail> ReadBatch(ImageRecordDB& db, const std::vector<ImageRecord*>& records,
                                 const std::vector<size_t>& pending, size_t first) {
  std::vector<Thumbnail> thumbnails;
  for (size_t p = first; p < std::min(pending.size(), first + kBatch); ++p) {
    thumbnails.push_back(ThumbnailOf(db, records[pending[p]]));
  }
  return thumbnails;
}

// Describes the thumbnails of the pending records into their entries, a batch at a
// time: while helper threads describe one batch, this thread reads the next from the
// file and then helps them. False when cancelled.
bool DescribePending(ImageRecordDB& db, const std::vector<ImageRecord*>& records,
                     const std::vector<size_t>& pending, const EditSearchOptions& options,
                     std::vector<EditCacheEntry>& entries, std::vector<uint8_t>& described) {
  const int threads = ThreadsToUse(options.threads);
  std::vector<Thumbnail> batch = ReadBatch(db, records, pending, 0), following;
  for (size_t start = 0; start < pending.size(); start += kBatch) {
    const size_t end = std::min(pending.size(), start + kBatch);
    std::atomic<size_t> next{start};
    RunParallel(threads + 1, [&](bool caller) {
      if (caller) following = ReadBatch(db, records, pending, end);
      for (size_t p; (p = next++) < end;) {
        const Thumbnail& thumbnail = batch[p - start];
        described[pending[p]] =
            !thumbnail.pixels.empty() &&
            ComputeEditDescriptor(thumbnail.width, thumbnail.height, thumbnail.pixels.data(),
                                  &entries[pending[p]].descriptor);
      }
    });
    batch.swap(following);
    const int percent = static_cast<int>(100 * end / pending.size());
    if (options.progress && !options.progress("Describing thumbnails...", percent)) return false;
  }
  return true;
}

// Puts the groups into the database's group list.
void FillGroupList(ImageRecordDB& db, const std::vector<ImageRecord*>& records,
                   const std::vector<std::vector<EditMember>>& groups, EditSearchReport* report) {
  db.ClearGroups();
  for (size_t g = 0; g < groups.size(); ++g) {
    for (const EditMember& member : groups[g]) {
      ImageRecord* record = records[static_cast<size_t>(member.index)];
      record->m_GroupNr = static_cast<int32_t>(g);
      iavl_insert(&db.GroupList(), record, 0);
      report->edits[record->m_LfdNr] = member.edit;
    }
  }
}

}  // namespace

std::string EditCachePath(const std::string& databasePath) { return databasePath + ".edits"; }

EditSearchReport RunEditDuplicateSearch(ImageRecordDB& db, const EditSearchOptions& options) {
  EditSearchReport report;
  db.ClearGroups();
  const std::vector<ImageRecord*> records = RecordsInGroupOrder(db);
  std::vector<EditCacheEntry> cached;
  if (!options.cachePath.empty()) report.cacheState = ReadEditCache(options.cachePath, &cached);
  std::unordered_map<std::string_view, size_t> cachedByPath;
  for (size_t c = 0; c < cached.size(); ++c) cachedByPath.emplace(cached[c].key.path, c);

  std::vector<EditCacheEntry> entries(records.size());
  std::vector<uint8_t> described(records.size(), 0);  // one byte each: threads write them
  std::vector<size_t> pending;
  for (size_t i = 0; i < records.size(); ++i) {
    if (!HasThumbnail(*records[i])) continue;
    entries[i].key = CacheKeyOf(*records[i]);
    const auto found = cachedByPath.find(entries[i].key.path);
    if (found != cachedByPath.end() && cached[found->second].key == entries[i].key) {
      entries[i].descriptor = cached[found->second].descriptor;
      described[i] = true;
      ++report.reused;
    } else {
      pending.push_back(i);
    }
  }
  cachedByPath.clear();
  const size_t cachedCount = cached.size();
  std::vector<EditCacheEntry>().swap(cached);
  if (!DescribePending(db, records, pending, options, entries, described)) return report;
  report.computed = static_cast<int32_t>(pending.size());

  std::vector<const EditDescriptor*> descriptors(records.size(), nullptr);
  for (size_t i = 0; i < records.size(); ++i) {
    if (described[i]) descriptors[i] = &entries[i].descriptor;
  }
  const bool changed = !pending.empty() || report.cacheState != EditCacheState::kRead ||
                       cachedCount != static_cast<size_t>(report.reused);
  if (!options.cachePath.empty() && changed) {
    std::vector<const EditCacheEntry*> kept;
    for (size_t i = 0; i < records.size(); ++i) {
      if (described[i]) kept.push_back(&entries[i]);
    }
    WriteEditCache(options.cachePath, kept, &report.cacheError);
  }

  EditMatchOptions matchOptions;
  matchOptions.threads = options.threads;
  matchOptions.progress = [&](double done) {
    return !options.progress ||
           options.progress("Searching edited copies...", static_cast<int>(100 * done));
  };
  bool stopped = false;
  const std::vector<EditMatch> matches = FindEditMatches(descriptors, matchOptions, &stopped);
  if (stopped) return report;
  FillGroupList(db, records, GroupEdits(static_cast<int32_t>(records.size()), matches), &report);
  report.finished = true;
  return report;
}

}  // namespace gq
