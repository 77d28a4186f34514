#include "search/SimilarityIndex.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "signature/SearchResult.h"

namespace gq {
namespace {

constexpr int kDims = kSignatureLength;
constexpr int32_t kProgressEvery = 4096;

// A sort item: the key of the split value in the upper 32 bits (biased to unsigned), the
// entry in the lower ones. Only the key takes part in the comparison.
inline uint32_t KeyOf(uint64_t item) { return static_cast<uint32_t>(item >> 32); }

// The program's bottom-up merge sort (see frame/MergeSort.h) on packed items: the left
// element is taken only when its key is smaller, so on equal keys the right run's
// element comes first.
void SortByKey(uint64_t* items, uint64_t* scratch, size_t count) {
  uint64_t* from = items;
  uint64_t* to = scratch;
  for (size_t width = 1; width < count; width *= 2) {
    for (size_t begin = 0; begin < count; begin += 2 * width) {
      const size_t middle = std::min(begin + width, count);
      const size_t end = std::min(begin + 2 * width, count);
      size_t left = begin, right = middle, out = begin;
      while (left < middle && right < end) {
        to[out++] = KeyOf(from[left]) < KeyOf(from[right]) ? from[left++] : from[right++];
      }
      while (left < middle) to[out++] = from[left++];
      while (right < end) to[out++] = from[right++];
    }
    std::swap(from, to);
  }
  if (from != items) std::copy(from, from + count, items);
}

inline bool InBox(const int16_t* key, const int16_t* low, const int16_t* high) {
  for (int i = 0; i < kDims; ++i) {
    if (key[i] < low[i] || key[i] > high[i]) return false;
  }
  return true;
}

int16_t ClipToInt16(double value) {
  if (value <= -32768.0) return -32768;
  if (value >= 32767.0) return 32767;
  return static_cast<int16_t>(std::trunc(value));
}

}  // namespace

void BoxFromRadius(const int16_t* query, const WeightVector& weights, double radius, int16_t* low,
                   int16_t* high) {
  for (int i = 0; i < kDims; ++i) {
    if (weights[i] > 0) {
      const double span = radius / weights[i];
      low[i] = ClipToInt16(query[i] - span);
      high[i] = ClipToInt16(query[i] + span);
    } else {
      low[i] = -32768;
      high[i] = 32767;
    }
  }
}

void SimilarityIndex::Clear() {
  m_Keys.clear();
  m_LfdNr.clear();
  m_Lower.clear();
  m_Upper.clear();
  m_Dim.clear();
  m_Found.clear();
  m_Root = -1;
  m_BoxLow.fill(0);
  m_BoxHigh.fill(0);
}

bool SimilarityIndex::Build(ImageRecordDB& db, double from, double to, const Progress& progress) {
  Clear();
  const bool report = (from != to) && progress;
  try {
    const std::vector<ImageRecord*> records = db.RecordsByPath();
    const int64_t n = static_cast<int64_t>(records.size());
    m_Keys.resize(static_cast<size_t>(n) * kDims);
    m_LfdNr.resize(records.size());
    for (int64_t i = 0; i < n; ++i) {
      ImageRecord* record = records[i];
      record->m_Signature[kSigFilePath] = static_cast<int16_t>((i * 32767) / n);
      std::copy(record->m_Signature, record->m_Signature + kDims, &m_Keys[i * kDims]);
      m_LfdNr[i] = record->m_LfdNr;
      if (report && i % kProgressEvery == 0) progress(from + i * (to - from) * 0.2 / n);
    }
    BuildTree(report ? progress : Progress(), from, to);
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  }
  if (!m_LfdNr.empty()) {
    for (int d = 0; d < kDims; ++d) {
      m_BoxLow[d] = 32767;
      m_BoxHigh[d] = -32768;
    }
    for (size_t p = 0; p < m_LfdNr.size(); ++p) {
      const int16_t* key = &m_Keys[p * kDims];
      for (int d = 0; d < kDims; ++d) {
        m_BoxLow[d] = std::min(m_BoxLow[d], key[d]);
        m_BoxHigh[d] = std::max(m_BoxHigh[d], key[d]);
      }
    }
  }
  if (report) progress(to);
  return true;
}

void SimilarityIndex::BuildTree(const Progress& progress, double from, double to) {
  const int32_t n = static_cast<int32_t>(m_LfdNr.size());
  std::vector<int32_t> order(n);
  for (int32_t i = 0; i < n; ++i) order[i] = i;
  std::vector<int32_t> lower(n, -1), upper(n, -1);
  std::vector<uint8_t> dims(n, 0);
  std::vector<uint64_t> items(n), scratch(n);

  // A range of order[] still to place; its node becomes the parent's lower or upper child.
  struct Range {
    int32_t first, last;
    int dim;
    int32_t* link;
  };
  int32_t root = -1;
  std::vector<Range> work;
  if (n > 0) work.push_back({0, n - 1, 0, &root});
  int32_t placed = 0;
  auto place = [&](int32_t entry, int dim, int32_t* link) {
    *link = entry;
    dims[entry] = static_cast<uint8_t>(dim);
    if (progress && ++placed % kProgressEvery == 0) {
      progress(from + 0.2 * (to - from) + 0.8 * (to - from) * placed / n);
    }
  };
  auto key = [&](int32_t entry) { return &m_Keys[static_cast<size_t>(entry) * kDims]; };

  while (!work.empty()) {
    const Range range = work.back();
    work.pop_back();
    const int32_t first = range.first, last = range.last;
    const int d = range.dim;
    const int nextDim = d + 1 == kDims ? 0 : d + 1;
    if (first == last) {
      place(order[first], d, range.link);
      continue;
    }
    const size_t count = static_cast<size_t>(last - first + 1);
    for (size_t i = 0; i < count; ++i) {
      const int32_t entry = order[first + i];
      const uint32_t biased = static_cast<uint32_t>(key(entry)[d] + 32768);
      items[i] = (static_cast<uint64_t>(biased) << 32) | static_cast<uint32_t>(entry);
    }
    SortByKey(items.data(), scratch.data(), count);
    for (size_t i = 0; i < count; ++i) order[first + i] = static_cast<int32_t>(items[i]);

    // Probe m, m-1, m+1, m-2, ... for a place where the split value changes.
    const int32_t m = first + (last - first) / 2;
    int32_t a = -1;
    for (int32_t step = 0;; ++step) {
      const int32_t probe = step % 2 == 0 ? m + step / 2 : m - (step + 1) / 2;
      if (probe <= first || probe >= last) break;
      if (key(order[probe])[d] != key(order[probe - 1])[d]) {
        a = probe;
        break;
      }
    }
    if (a < 0) {
      const int16_t* lastKey = key(order[last]);
      bool allEqual = true;
      for (int32_t i = first; i < last && allEqual; ++i) {
        allEqual = std::equal(lastKey, lastKey + kDims, key(order[i]));
      }
      if (allEqual) {
        int32_t* link = range.link;
        for (int32_t i = first; i <= last; ++i) {
          place(order[i], d, link);
          link = &upper[order[i]];
        }
        continue;
      }
      a = first;
    }
    const int32_t node = order[a];
    place(node, d, range.link);
    if (a + 1 <= last) work.push_back({a + 1, last, nextDim, &upper[node]});
    if (first <= a - 1) work.push_back({first, a - 1, nextDim, &lower[node]});
  }

  // Lay the entries out in depth-first order (node, upper, lower) so that a query walks
  // memory mostly forwards.
  std::vector<int32_t> position(n, -1);
  std::vector<int32_t> sequence;
  sequence.reserve(n);
  std::vector<int32_t> stack;
  if (root >= 0) stack.push_back(root);
  while (!stack.empty()) {
    const int32_t entry = stack.back();
    stack.pop_back();
    position[entry] = static_cast<int32_t>(sequence.size());
    sequence.push_back(entry);
    if (lower[entry] >= 0) stack.push_back(lower[entry]);
    if (upper[entry] >= 0) stack.push_back(upper[entry]);
  }
  std::vector<int16_t> keys(static_cast<size_t>(n) * kDims);
  std::vector<int32_t> lfdNr(n);
  m_Lower.assign(n, -1);
  m_Upper.assign(n, -1);
  m_Dim.assign(n, 0);
  for (int32_t p = 0; p < n; ++p) {
    const int32_t entry = sequence[p];
    std::copy(key(entry), key(entry) + kDims, &keys[static_cast<size_t>(p) * kDims]);
    lfdNr[p] = m_LfdNr[entry];
    m_Dim[p] = dims[entry];
    if (lower[entry] >= 0) m_Lower[p] = position[lower[entry]];
    if (upper[entry] >= 0) m_Upper[p] = position[upper[entry]];
  }
  m_Keys.swap(keys);
  m_LfdNr.swap(lfdNr);
  m_Root = n > 0 ? 0 : -1;
}

int32_t SimilarityIndex::BoxQuery(const int16_t* low, const int16_t* high, int32_t limit) {
  m_Found.clear();
  m_Stack.clear();
  int32_t node = m_Root;
  const int32_t wanted = std::max(limit, 0);
  while (static_cast<int32_t>(m_Found.size()) < wanted) {
    if (node < 0) {
      if (m_Stack.empty()) break;
      node = m_Stack.back();
      m_Stack.pop_back();
      continue;
    }
    const int16_t* key = &m_Keys[static_cast<size_t>(node) * kDims];
    const int d = m_Dim[node];
    if (key[d] < low[d]) {
      node = m_Upper[node];
    } else if (high[d] < key[d]) {
      node = m_Lower[node];
    } else {
      if (InBox(key, low, high)) m_Found.push_back(m_LfdNr[node]);
      if (low[d] < key[d] && m_Lower[node] >= 0) m_Stack.push_back(m_Lower[node]);
      node = m_Upper[node];
    }
  }
  return static_cast<int32_t>(m_Found.size());
}

int32_t SimilarityIndex::QueryRadius(const int16_t* query, const WeightVector& weights,
                                     double radius, int32_t limit) {
  int16_t low[kDims], high[kDims];
  m_LastQueryRadius = radius;
  BoxFromRadius(query, weights, radius, low, high);
  return BoxQuery(low, high, limit);
}

int32_t SimilarityIndex::CandidateSearch(const int16_t* query, const WeightVector& weights,
                                         int32_t minimum, int32_t maximum, double radius,
                                         int budget) {
  const int32_t a = minimum, b = maximum;
  const int32_t limit = b + 2;
  int n = budget;
  bool seen = false;
  double r = radius != 0 ? radius : m_Radius;
  double lowR = 1.0;
  int32_t hits = QueryRadius(query, weights, r, limit);
  if (radius == 0) {
    while (hits < a) {
      if (--n < 0) break;
      if (hits > 1) seen = true;
      lowR = r;
      r *= 1.3;
      hits = QueryRadius(query, weights, r, limit);
    }
  }
  while ((hits < a && a > 0) || hits > b) {
    if (--n < 0) break;
    const double mid = (r + lowR) / 2;
    hits = QueryRadius(query, weights, mid, limit);
    if (hits > 1) seen = true;
    if (hits < a || (hits <= 1 && seen)) {
      lowR = mid;
    } else if (hits > b) {
      r = mid;
    } else {
      break;
    }
  }
  if (hits <= 1 && seen) {
    hits = QueryRadius(query, weights, r, limit);
    while (hits <= 1) {
      if (--n < 0) break;
      r *= 1.1;
      hits = QueryRadius(query, weights, r, limit);
    }
  }
  if (radius == 0) m_Radius = n >= 0 ? r : kInitialRadius;
  return hits;
}

std::vector<ScoredRecord> SimilarityIndex::ScoreCandidates(const ImageRecordDB& db,
                                                           const int16_t* query,
                                                           const WeightVector& weights,
                                                           const IdentityCheck& identity) const {
  std::vector<SearchResult> results(m_Found.size());
  for (size_t i = 0; i < m_Found.size(); ++i) {
    ImageRecord* record = db.FindByLfdNr(m_Found[i]);
    SearchResult& result = results[i];
    result.record = record;
    if (record == nullptr) {
      result.distance = kRejectedDistance;
      continue;
    }
    result.path = record->m_Path.c_str();
    if (identity && !identity(record)) {
      result.distance = kRejectedDistance;
    } else {
      result.distance = Distance(query, record->m_Signature, weights.data());
    }
  }
  std::vector<SearchResult*> order(results.size());
  for (size_t i = 0; i < results.size(); ++i) order[i] = &results[i];
  SortResults(order.data(), order.size());
  std::vector<ScoredRecord> sorted(order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    sorted[i].distance = order[i]->distance;
    sorted[i].record = static_cast<ImageRecord*>(order[i]->record);
  }
  return sorted;
}

}  // namespace gq
