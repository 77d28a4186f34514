// The duplicate search: walks the records in path order, one seed per step, and
// gathers records whose signatures lie within a box around the seed into duplicate
// groups of the database's group list. Its state (cursor, weights, threshold, identity
// flag) belongs to the SearchEngine; used only on the user-interface thread, in steps
// between which the caller dispatches its messages.
#pragma once

#include <cstdint>

#include "signature/Similarity.h"

namespace gq {

class SearchEngine;
struct ImageRecord;

// The similarity value of the duplicates dialog when it first opens.
inline constexpr int kDefaultDuplicateSimilarity = 20;

// The box radius T for a weight vector and a similarity value 0-100:
// sqrt(sum w^2 / 104) * similarity * 56.05546540787727 + 10.
double DuplicateThreshold(const WeightVector& weights, int similarity);

// DuplicateStep results besides the percentage.
inline constexpr int kDuplicatesFinished = -1;
inline constexpr int kDuplicatesStopped = -2;

class DuplicateSearch {
 public:
  explicit DuplicateSearch(SearchEngine& engine) : m_Engine(engine) {}

  // Starts a search: cursor 0, the group list emptied, the weights of the current
  // criteria (or the default weights), the identity flag and the threshold.
  void Prepare(bool useCurrentCriteria, bool identityCheck, int similarity);
  // Examines up to steps seeds (rebuilding a stale index counts as one step). Returns
  // the percentage done (0-100), kDuplicatesFinished when the last record was passed
  // (the duplicates-complete flag is then set) or kDuplicatesStopped when the search was
  // not running at entry. *grouped (optional) receives the size of the group list.
  int Step(int steps, int32_t* grouped = nullptr);
  // Ends the search; the next Step returns kDuplicatesStopped. Groups found stay.
  void Cancel() { m_Cursor = -1; }
  bool Running() const { return m_Cursor >= 0; }

  double Threshold() const { return m_Threshold; }
  const WeightVector& Weights() const { return m_Weights; }

 private:
  void ExamineSeed(ImageRecord* seed, int32_t seedRank);
  void Join(ImageRecord* record, int32_t group);

  SearchEngine& m_Engine;
  int32_t m_Cursor = -1;
  WeightVector m_Weights{};
  double m_Threshold = 0;
  bool m_Identity = false;
};

}  // namespace gq
