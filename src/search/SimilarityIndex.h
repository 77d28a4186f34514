// The similarity index: a k-d tree over the 104-value signatures of every record, with
// the box query and the adaptive candidate search on top of it and the scoring of the
// candidates with the exact distance. Owned by the SearchEngine of the one database;
// used only on the user-interface thread. The index refers to records by running
// number only, so a record removed after the build scores as vanished (1e99).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "db/ImageRecordDB.h"
#include "signature/Signature.h"
#include "signature/Similarity.h"

namespace gq {

// The distance of a vanished record and of a candidate that failed the identity check.
inline constexpr double kRejectedDistance = 1e99;
// The radius a search starts with, and falls back to when its step budget ran out.
inline constexpr double kInitialRadius = 256.0;

// One scored candidate.
struct ScoredRecord {
  double distance = 0;
  ImageRecord* record = nullptr;  // none for a vanished record
};

// Decides whether a candidate passes an identity check against the query record; the
// duplicate search passes one, the other searches none.
using IdentityCheck = std::function<bool(ImageRecord* candidate)>;

class SimilarityIndex {
 public:
  // Progress callback of the build: a fraction; the answer is ignored (a build is short
  // and must finish to leave a usable index).
  using Progress = std::function<bool(double fraction)>;

  // Walks the records in path order, writes signature value 103 of each record
  // ((i * 32767) / n) and builds the tree. Reports progress from..to (0.2 of the span
  // for the walk, the rest while placing entries, at most once per 4096 entries) when
  // the two bounds differ. Returns false, leaving an empty index, when memory runs out.
  bool Build(ImageRecordDB& db, double from, double to, const Progress& progress);
  void Clear();

  int32_t EntryCount() const { return static_cast<int32_t>(m_LfdNr.size()); }
  bool HasTree() const { return !m_LfdNr.empty(); }
  // The smallest and largest key of every value over all entries.
  const Signature& BoxLow() const { return m_BoxLow; }
  const Signature& BoxHigh() const { return m_BoxHigh; }

  // Lists the entries whose 104 values all lie within [low, high], in the order the tree
  // walk finds them, stopping once limit entries are listed. Returns their number.
  // The walk (BoxQueryByWalk) visits the tree in pre-order (node, upper subtree, lower
  // subtree) and only skips subtrees that cannot hold an entry of the box, so its list
  // is the box's entries in pre-order. The entries are stored in that order, value by
  // value, and the query scans them, testing the most restrictive values first: the
  // same list, without visiting the nodes of a box that prunes little (in 104
  // dimensions the split values rarely prune).
  int32_t BoxQuery(const int16_t* low, const int16_t* high, int32_t limit);
  // The literal tree walk: the reference for BoxQuery.
  std::vector<int32_t> BoxQueryByWalk(const int16_t* low, const int16_t* high, int32_t limit) const;
  // The running numbers found by the last query, in the order found.
  const std::vector<int32_t>& Results() const { return m_Found; }

  // Widens or narrows a box around query until it holds between minimum and maximum
  // entries or the step budget runs out. radius 0 starts from the remembered radius and
  // remembers the final one (or forgets it when the budget ran out). Returns the number
  // of candidates in Results().
  int32_t CandidateSearch(const int16_t* query, const WeightVector& weights, int32_t minimum,
                          int32_t maximum, double radius, int budget);

  // Scores the candidates of Results() against query and sorts them with CompareResults.
  // A record that is gone, or one failing the identity check, gets kRejectedDistance.
  std::vector<ScoredRecord> ScoreCandidates(const ImageRecordDB& db, const int16_t* query,
                                            const WeightVector& weights,
                                            const IdentityCheck& identity) const;

  double RememberedRadius() const { return m_Radius; }
  // Box queries run since the build (for the benchmarks).
  int64_t QueryCount() const { return m_QueryCount; }
  // The radius of the box that gave Results() in the last CandidateSearch.
  double LastQueryRadius() const { return m_LastQueryRadius; }
  void SetRememberedRadius(double radius) { m_Radius = radius; }

 private:
  void BuildTree(const Progress& progress, double from, double to);
  int32_t QueryRadius(const int16_t* query, const WeightVector& weights, double radius,
                      int32_t limit);

  // Entries in pre-order: entry p's value d is m_Columns[d * n + p], its running number
  // m_LfdNr[p], its children m_Lower[p] and m_Upper[p] (-1 = none), its split value
  // m_Dim[p]. The root is m_Root. m_Keys holds the keys entry by entry while building.
  std::vector<int16_t> m_Keys;
  std::vector<int16_t> m_Columns;
  std::vector<int32_t> m_LfdNr;
  std::vector<int32_t> m_Lower;
  std::vector<int32_t> m_Upper;
  std::vector<uint8_t> m_Dim;
  int32_t m_Root = -1;
  // Per value, a sorted sample of the keys, to estimate how much of the index a range
  // holds.
  static constexpr size_t kSampleSize = 256;
  std::vector<int16_t> m_Samples = std::vector<int16_t>(kSignatureLength * kSampleSize);
  Signature m_BoxLow{};
  Signature m_BoxHigh{};
  std::vector<ImageRecord*> m_Records;  // the records of the build, by entry
  const ImageRecordDB* m_Db = nullptr;  // the database of the build
  std::vector<int32_t> m_Found;         // running numbers of the last query's entries
  std::vector<int32_t> m_FoundEntries;  // and the entries themselves
  double m_Radius = kInitialRadius;
  double m_LastQueryRadius = 0;
  int64_t m_QueryCount = 0;
};

// The box of a radius: for each value with weight w > 0 the range q -+ r / w, clipped to
// the 16-bit range and truncated toward zero; values of weight 0 get the full range.
void BoxFromRadius(const int16_t* query, const WeightVector& weights, double radius, int16_t* low,
                   int16_t* high);

}  // namespace gq
