// The exact similar search: a packed copy of every record's signature, scanned once per
// query with an integer lower bound of the weighted distance, and the exact distance
// for the entries the bound cannot rule out. It gives what the similarity index's
// candidate search would give if every record were a candidate listed in path order:
// the same distances (Distance) and the same order (SortResults). Owned by the
// SearchEngine, which rebuilds it after each build of the similarity index; used only on
// the user-interface thread.
#pragma once

#include <cstdint>
#include <vector>

#include "db/ImageRecordDB.h"
#include "search/ExactScan.h"
#include "search/SimilarityIndex.h"
#include "signature/Similarity.h"

namespace gq {

// The query of a scan for a signature and weights (each 0 to 1, as BuildWeights makes
// them). *scale receives the
// factor, a power of two, by which the quantised weights are at most the weights.
ScanQuery MakeScanQuery(const int16_t* query, const WeightVector& weights, double* scale);

// The largest bound an entry whose distance (as Distance computes it) is at most
// distance can have, for a query of this scale.
int32_t ScanLimit(double distance, double scale);

class ExactSearch {
 public:
  // Copies the signatures of the database's records in path order, as the last build
  // of the similarity index left them (value 103 their place). Returns false, leaving
  // the copy empty, when memory runs out.
  bool Build(const ImageRecordDB& db);
  void Clear();
  int32_t EntryCount() const { return static_cast<int32_t>(m_LfdNr.size()); }

  // The count entries nearest to query under weights (each 0 to 1), sorted with
  // CompareResults; entries at equal distance with paths equal but for case come in
  // the order the program's merge sort leaves them (the later in path order first).
  // Distances are those of the signatures copied at the build. An entry whose record
  // was removed since the build scores kRejectedDistance without a record, as in the
  // similarity index. An empty list when memory runs out.
  std::vector<ScoredRecord> Nearest(const ImageRecordDB& db, const int16_t* query,
                                    const WeightVector& weights, int32_t count) const;

  // The scan in use; the tests compare the variants.
  void SetVariant(const ScanVariant& variant) { m_Variant = variant; }

 private:
  struct Candidate;
  Candidate Score(const ImageRecordDB& db, bool current, const int16_t* query,
                  const WeightVector& weights, uint32_t entry) const;
  std::vector<Candidate> Select(const ImageRecordDB& db, const int16_t* query,
                                const WeightVector& weights, size_t count) const;

  std::vector<ScanBlock> m_Blocks;
  std::vector<int32_t> m_LfdNr;         // running numbers, by entry
  std::vector<ImageRecord*> m_Records;  // the records of the build, by entry
  const ImageRecordDB* m_Db = nullptr;  // the database of the build
  ScanVariant m_Variant = RunnableScanVariants().back();
};

}  // namespace gq
