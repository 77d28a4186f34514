// The search side of the one picture database: the similarity index, the remembered
// radius, the search picture and the list window the thumbnail view shows, and the
// duplicate search and mosaic runs that build on them. The database library sits
// below this one, so the engine installs itself into the database's host hooks
// (rebuildIndex, rebuildListWindow, discardMosaic) and takes them out again when it
// is destroyed. One engine per database; used only on the user-interface thread.
#pragma once

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/ImageRecordDB.h"
#include "search/ExactSearch.h"
#include "search/SimilarityIndex.h"
#include "signature/Criteria.h"

namespace gq {

class DuplicateSearch;
class MosaicRun;

// The thumbnail view's list modes.
enum ListMode : int {
  kListSearchSimilar = -1,
  kListUnsorted = 0,
  kListSortedByFile = 1,
  kListSearchDuplicates = 2,
};

// How SimilarList finds its places: by the similarity index's candidate search, or by
// scoring every record (ExactSearch).
enum class SimilarSearch { kBox, kExact };

// Passed for an argument of FillListWindow that keeps its current value.
inline constexpr int32_t kKeep = INT32_MIN;

class SearchEngine {
 public:
  explicit SearchEngine(ImageRecordDB& db);
  ~SearchEngine();
  SearchEngine(const SearchEngine&) = delete;
  SearchEngine& operator=(const SearchEngine&) = delete;

  ImageRecordDB& Db() { return m_Db; }
  SimilarityIndex& Index() { return m_Index; }
  DuplicateSearch& Duplicates() { return *m_Duplicates; }
  MosaicRun& Mosaic() { return *m_Mosaic; }

  // Rebuilds the index when records were added or removed since the last build.
  // False when the index could not be built (out of memory).
  bool EnsureIndex();
  // Rebuilds the index now, with progress from..to through the database host.
  void RebuildIndex(double from, double to);

  // The picture the view has the focus on (the thumbnail view installs it); used when
  // a similar list is wanted without a search picture.
  std::function<ImageRecord*()> focusedPicture;

  // Makes the record with this running number the search picture and marks the similar
  // list stale. An unknown number changes nothing and gives none.
  ImageRecord* SetSearchPicture(int32_t lfdNr);

  // Fills the list window for the view: columns, the first shown position, the number
  // of positions and the mode; kKeep keeps an argument's current value. Returns whether
  // the list content changed.
  bool FillListWindow(int32_t columns, int32_t first, int32_t count, int32_t mode);
  // Rows of the duplicates view with the given columns.
  int32_t DuplicateRows(int32_t columns) const;
  // In the duplicates mode without "Compact View": the group number of the member
  // placed before the list window's first entry, or -1.
  int32_t GroupBeforeListWindow() const { return m_GroupBeforeWindow; }
  // Forgets the similar list so that the next FillListWindow recomputes it (criteria or
  // search picture changed elsewhere).
  void InvalidateSimilarList() { m_SimilarValid = false; }

  // The file paths, one per line, of the places first..last of the similar list of
  // record (the record itself excluded; first is raised to 1).
  std::string SimilarText(ImageRecord* record, int32_t first, int32_t last,
                          const WeightVector& weights);
  // The same list as records with their distances; kExact gives the true nearest
  // records. Empty, with *outOfMemory set, when memory runs out for the index or the
  // packed copy the search needs.
  std::vector<ScoredRecord> SimilarList(ImageRecord* record, int32_t first, int32_t last,
                                        const WeightVector& weights,
                                        SimilarSearch search = SimilarSearch::kBox,
                                        bool* outOfMemory = nullptr);

 private:
  // Walks the group list in the grid of the groups-on-their-own-rows layout: each record
  // with its grid position, until visit returns false. Returns the position after the
  // last record visited.
  int64_t WalkGroupGrid(int32_t columns,
                        const std::function<bool(ImageRecord*, int64_t)>& visit) const;
  void FillSimilar();
  void FillDuplicates();
  void ChooseSearchPicture(int32_t count);

  ImageRecordDB& m_Db;
  SimilarityIndex m_Index;
  ExactSearch m_Exact;        // built on the first exact search after each index build
  bool m_ExactValid = false;  // whether m_Exact holds the last index build's records
  std::unique_ptr<DuplicateSearch> m_Duplicates;
  std::unique_ptr<MosaicRun> m_Mosaic;

  // What the similar list was last computed for.
  bool m_SimilarValid = false;
  int32_t m_Columns = 1, m_First = 0, m_Count = 0, m_Mode = kListUnsorted;
  Criteria m_SimilarCriteria;
  bool m_NoPictureShown = false;  // "No search picture selected" is shown once per run
  int32_t m_GroupBeforeWindow = -1;
};

}  // namespace gq
