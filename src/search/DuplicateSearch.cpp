#include "search/DuplicateSearch.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "search/IdentityDifference.h"
#include "search/SearchEngine.h"

namespace gq {
namespace {

// Candidates a seed's box may hold before the radius is narrowed, and the narrowing
// budget.
constexpr int32_t kMaxDuplicateCandidates = 3200;
constexpr int kDuplicateSearchBudget = 10;
// New members a seed gives to its group.
constexpr int kMaxJoiners = 4;

}  // namespace

double DuplicateThreshold(const WeightVector& weights, int similarity) {
  double squares = 0;
  for (double w : weights) squares += w * w;
  return std::sqrt(squares / kSignatureLength) * similarity * 56.05546540787727 + 10;
}

void DuplicateSearch::Prepare(bool useCurrentCriteria, bool identityCheck, int similarity) {
  m_Cursor = 0;
  m_Engine.Db().ClearGroups();
  m_Weights = useCurrentCriteria ? BuildWeights(CurrentCriteria()) : DefaultWeights();
  m_Identity = identityCheck;
  m_Threshold = DuplicateThreshold(m_Weights, similarity);
}

int DuplicateSearch::Step(int steps, int32_t* grouped) {
  ImageRecordDB& db = m_Engine.Db();
  auto groupCount = [&] {
    if (grouped != nullptr) *grouped = static_cast<int32_t>(db.GroupList().count);
  };
  groupCount();
  if (m_Cursor < 0) return kDuplicatesStopped;
  if (!db.IndexValid() || m_Engine.Index().EntryCount() != db.Count()) {
    m_Engine.EnsureIndex();
    --steps;
  }
  for (; steps > 0; --steps) {
    auto* seed = static_cast<ImageRecord*>(iavl_select(&db.TreeByPath(), m_Cursor));
    if (seed == nullptr) {
      m_Cursor = -1;
      db.SetDuplicatesComplete(true);
      groupCount();
      return kDuplicatesFinished;
    }
    ++m_Cursor;
    if (seed->m_GroupNr < 0) ExamineSeed(seed, m_Cursor - 1);
  }
  groupCount();
  // Right after a step that only rebuilt the index the cursor is still 0; the
  // percentage stays 0 there instead of going negative.
  const int32_t n = db.Count();
  if (n == 0 || m_Cursor == 0) return 0;
  return static_cast<int>((int64_t{m_Cursor} * 100 - 100) / n);
}

void DuplicateSearch::ExamineSeed(ImageRecord* seed, int32_t seedRank) {
  ImageRecordDB& db = m_Engine.Db();
  SimilarityIndex& index = m_Engine.Index();
  if (!index.HasTree()) return;
  const int32_t hits =
      index.CandidateSearch(seed->m_Signature, m_Weights, 0, kMaxDuplicateCandidates, m_Threshold,
                            kDuplicateSearchBudget);
  if (hits <= 1) return;
  PackedImage seedThumb;
  IdentityCheck identity;
  if (m_Identity) {
    CopyThumbnail(db, seed, &seedThumb);
    identity = [&](ImageRecord* candidate) {
      if (candidate == seed) return true;
      PackedImage other;
      CopyThumbnail(db, candidate, &other);
      return IdentityDifference(seedThumb, other) <= kIdentityLimit;
    };
  }
  std::vector<ScoredRecord> candidates =
      index.ScoreCandidates(db, seed->m_Signature, m_Weights, identity);
  // A box that stays full at distance 0 lies inside a block of identical signatures
  // larger than any box: the whole block is one group, taken at once, since a seed
  // whose box returns only others of the block would never meet its own copies.
  const bool identicalBlock = hits > kMaxDuplicateCandidates &&
                              std::all_of(candidates.begin(), candidates.end(),
                                          [](const ScoredRecord& c) { return c.distance == 0; });
  if (identicalBlock) {
    Signature low;
    Signature high;
    BoxFromRadius(seed->m_Signature, m_Weights, 0, low.data(), high.data());
    index.BoxQuery(low.data(), high.data(), INT32_MAX);
    candidates = index.ScoreCandidates(db, seed->m_Signature, m_Weights, identity);
  }

  size_t walked = 0;
  int32_t ungrouped = 0;
  int32_t target = -1;
  for (; walked < candidates.size(); ++walked) {
    const ScoredRecord& candidate = candidates[walked];
    if (candidate.distance >= kRejectedDistance || candidate.record == nullptr) break;
    ImageRecord* record = candidate.record;
    if (record->m_GroupNr < 0) {
      ++ungrouped;
      continue;
    }
    if (target >= 0) continue;
    if (!m_Identity) {
      target = record->m_GroupNr;
      continue;
    }
    // Check the seed against the first member of the offered group.
    int32_t rank = iavl_rank_of(&db.GroupList(), record, 0);
    ImageRecord* firstMember = record;
    while (rank > 0) {
      auto* previous = static_cast<ImageRecord*>(iavl_select(&db.GroupList(), rank - 1));
      if (previous == nullptr || previous->m_GroupNr != record->m_GroupNr) break;
      firstMember = previous;
      --rank;
    }
    PackedImage first;
    CopyThumbnail(db, firstMember, &first);
    if (IdentityDifference(first, seedThumb) <= kIdentityLimit) target = record->m_GroupNr;
  }
  if (target < 0) {
    if (ungrouped <= 1) return;
    target = seedRank;
  }
  int joined = 0;
  const int joiners = identicalBlock ? ungrouped : std::min(ungrouped, kMaxJoiners);
  for (size_t i = 0; i < walked && joined < joiners; ++i) {
    ImageRecord* record = candidates[i].record;
    if (record->m_GroupNr >= 0) continue;
    Join(record, target);
    ++joined;
  }
}

void DuplicateSearch::Join(ImageRecord* record, int32_t group) {
  record->m_GroupNr = group;
  iavl_insert(&m_Engine.Db().GroupList(), record, 0);
}

}  // namespace gq
