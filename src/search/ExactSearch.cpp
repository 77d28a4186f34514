#include "search/ExactSearch.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include "signature/SearchResult.h"

namespace gq {
namespace {

// Blocks per call of the scan: the limit tightens between calls.
constexpr size_t kBlocksPerScan = 64;

}  // namespace

// Each quantised weight is floor(weight * scale) with scale a power of two, so exactly
// at most weight * scale. The largest scale up to 2^14 is taken for which 32767 times the
// sum of the quantised weights fits in int32; at 2^0 the weights (at most 1.0) give at
// most 104, so there always is one.
ScanQuery MakeScanQuery(const int16_t* query, const WeightVector& weights, double* scale) {
  ScanQuery scan;
  std::copy(query, query + kSignatureLength, scan.values);
  for (int shift = 14;; --shift) {
    const double factor = std::ldexp(1.0, shift);
    int64_t sum = 0;
    for (int i = 0; i < kSignatureLength; ++i) {
      scan.weights[i] = static_cast<int16_t>(std::floor(weights[i] * factor));
      sum += scan.weights[i];
    }
    if (sum * 32767 <= INT32_MAX || shift == 0) {
      *scale = factor;
      return scan;
    }
  }
}

// Why no entry within distance is left out. Let D* be the entry's true weighted sum and
// D what Distance computes. The bound B sums min(|v - q|, 32767) * floor(w * scale) <=
// |v - q| * w * scale exactly in integers, so B <= D* * scale. Distance adds
// non-negative terms, each product rounded once and each partial sum at most 16 times,
// so D >= D* * (1 - 2^-45). The limit L is floor(distance * scale * (1 + 2^-30)), the
// product by scale exact and the other rounded once (1 - 2^-53). If B > L, then
// B > distance * scale * (1 + 2^-30) * (1 - 2^-53), so D* > distance * (1 + 2^-31) and
// D > distance: an entry with D <= distance has B <= L.
int32_t ScanLimit(double distance, double scale) {
  const double most = distance * scale * (1 + 0x1p-30);
  return most < static_cast<double>(INT32_MAX) ? static_cast<int32_t>(std::floor(most)) : INT32_MAX;
}

// A scored entry. Entries in path order sorted with the program's merge sort end, on a
// full tie of CompareResults, with the later entry first (each merge puts the right
// run's tied elements first), so that is the order Before gives them.
struct ExactSearch::Candidate {
  SearchResult result;
  uint32_t entry = 0;
};

namespace {

bool Before(const SearchResult& a, uint32_t aEntry, const SearchResult& b, uint32_t bEntry) {
  const int order = CompareResults(a, b);
  return order != 0 ? order < 0 : aEntry > bEntry;
}

}  // namespace

void ExactSearch::Clear() {
  m_Blocks.clear();
  m_LfdNr.clear();
  m_Records.clear();
  m_Db = nullptr;
}

bool ExactSearch::Build(const ImageRecordDB& db) {
  Clear();
  try {
    m_Records = db.RecordsByPath();
    const size_t n = m_Records.size();
    m_LfdNr.resize(n);
    m_Blocks.assign((n + kScanBlockEntries - 1) / kScanBlockEntries, ScanBlock{});
    for (size_t e = 0; e < n; ++e) {
      m_LfdNr[e] = m_Records[e]->m_LfdNr;
      int16_t* place = m_Blocks[e / kScanBlockEntries].values + 2 * (e % kScanBlockEntries);
      for (int i = 0; i < kSignatureLength; ++i) {
        place[(i / 2) * kScanPairValues + i % 2] = m_Records[e]->m_Signature[i];
      }
    }
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  }
  m_Db = &db;
  return true;
}

ExactSearch::Candidate ExactSearch::Score(const ImageRecordDB& db, bool current,
                                          const int16_t* query, const WeightVector& weights,
                                          uint32_t entry) const {
  Candidate candidate;
  candidate.entry = entry;
  ImageRecord* record = current ? m_Records[entry] : db.FindByLfdNr(m_LfdNr[entry]);
  candidate.result.record = record;
  if (record == nullptr) {
    candidate.result.distance = kRejectedDistance;
    return candidate;
  }
  candidate.result.path = record->m_Path.c_str();
  int16_t signature[kSignatureLength];
  const int16_t* place =
      m_Blocks[entry / kScanBlockEntries].values + 2 * (entry % kScanBlockEntries);
  for (int i = 0; i < kSignatureLength; ++i) {
    signature[i] = place[(i / 2) * kScanPairValues + i % 2];
  }
  candidate.result.distance = Distance(query, signature, weights.data());
  return candidate;
}

// The count best entries, kept in a heap whose top is the worst of them.
std::vector<ExactSearch::Candidate> ExactSearch::Select(const ImageRecordDB& db,
                                                        const int16_t* query,
                                                        const WeightVector& weights,
                                                        size_t count) const {
  const auto worse = [](const Candidate& a, const Candidate& b) {
    return Before(a.result, a.entry, b.result, b.entry);
  };
  std::vector<Candidate> kept;
  kept.reserve(count);
  double scale = 1;
  const ScanQuery scan = MakeScanQuery(query, weights, &scale);
  const bool current = &db == m_Db && db.IndexValid() && db.Count() == EntryCount();
  const uint32_t n = static_cast<uint32_t>(m_LfdNr.size());
  std::vector<uint32_t> found(kBlocksPerScan * kScanBlockEntries);
  int32_t limit = INT32_MAX;
  for (size_t first = 0; first < m_Blocks.size(); first += kBlocksPerScan) {
    const size_t blocks = std::min(kBlocksPerScan, m_Blocks.size() - first);
    const size_t listed =
        m_Variant.listWithin(&m_Blocks[first], blocks, scan, limit,
                             static_cast<uint32_t>(first * kScanBlockEntries), found.data());
    for (size_t i = 0; i < listed && found[i] < n; ++i) {
      const Candidate candidate = Score(db, current, query, weights, found[i]);
      if (kept.size() < count) {
        kept.push_back(candidate);
        std::push_heap(kept.begin(), kept.end(), worse);
      } else if (worse(candidate, kept.front())) {
        std::pop_heap(kept.begin(), kept.end(), worse);
        kept.back() = candidate;
        std::push_heap(kept.begin(), kept.end(), worse);
      }
    }
    if (kept.size() == count) limit = ScanLimit(kept.front().result.distance, scale);
  }
  return kept;
}

std::vector<ScoredRecord> ExactSearch::Nearest(const ImageRecordDB& db, const int16_t* query,
                                               const WeightVector& weights, int32_t count) const {
  const size_t wanted = static_cast<size_t>(std::clamp(count, 0, EntryCount()));
  std::vector<ScoredRecord> sorted;
  if (wanted == 0) return sorted;
  try {
    std::vector<Candidate> kept = Select(db, query, weights, wanted);
    // Sorted in path order, as the whole list would be, so that the merge sort leaves
    // full ties as it would there.
    std::sort(kept.begin(), kept.end(),
              [](const Candidate& a, const Candidate& b) { return a.entry < b.entry; });
    std::vector<SearchResult*> order(kept.size());
    for (size_t i = 0; i < kept.size(); ++i) order[i] = &kept[i].result;
    if (SortResults(order.data(), order.size()) != 0) return sorted;
    sorted.resize(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
      sorted[i].distance = order[i]->distance;
      sorted[i].record = static_cast<ImageRecord*>(order[i]->record);
    }
  } catch (const std::bad_alloc&) {
    sorted.clear();
  }
  return sorted;
}

}  // namespace gq
