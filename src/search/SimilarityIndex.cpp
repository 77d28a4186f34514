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
  m_Columns.clear();
  m_LfdNr.clear();
  m_Records.clear();
  m_FoundEntries.clear();
  m_Db = nullptr;
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
    m_Records = records;
    m_Db = &db;
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
    const size_t n = m_LfdNr.size();
    for (int d = 0; d < kDims; ++d) {
      const int16_t* column = &m_Columns[d * n];
      m_BoxLow[d] = *std::min_element(column, column + n);
      m_BoxHigh[d] = *std::max_element(column, column + n);
      int16_t* sample = &m_Samples[static_cast<size_t>(d) * kSampleSize];
      for (size_t k = 0; k < kSampleSize; ++k)
        sample[k] = column[(k * 2 + 1) * n / (2 * kSampleSize)];
      std::sort(sample, sample + kSampleSize);
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
  std::vector<int32_t> lfdNr(n);
  std::vector<ImageRecord*> records(n);
  m_Columns.assign(static_cast<size_t>(n) * kDims, 0);
  m_Lower.assign(n, -1);
  m_Upper.assign(n, -1);
  m_Dim.assign(n, 0);
  for (int32_t p = 0; p < n; ++p) {
    const int32_t entry = sequence[p];
    const int16_t* entryKey = key(entry);
    for (int d = 0; d < kDims; ++d) m_Columns[static_cast<size_t>(d) * n + p] = entryKey[d];
    lfdNr[p] = m_LfdNr[entry];
    records[p] = m_Records[entry];
    m_Dim[p] = dims[entry];
    if (lower[entry] >= 0) m_Lower[p] = position[lower[entry]];
    if (upper[entry] >= 0) m_Upper[p] = position[upper[entry]];
  }
  std::vector<int16_t>().swap(m_Keys);
  m_LfdNr.swap(lfdNr);
  m_Records.swap(records);
  m_Root = n > 0 ? 0 : -1;
}

int32_t SimilarityIndex::BoxQuery(const int16_t* low, const int16_t* high, int32_t limit) {
  ++m_QueryCount;
  m_Found.clear();
  m_FoundEntries.clear();
  const size_t n = m_LfdNr.size();
  const size_t wanted = static_cast<size_t>(std::max(limit, 0));
  if (n == 0 || wanted == 0) return 0;
  if (wanted >= n) m_FoundEntries.reserve(n);
  // The values that the box restricts within the keys' bounding box, the narrowest
  // (relative to the keys' spread) first, so that most entries fail at the first test.
  struct Restriction {
    const int16_t* column;
    int16_t low, high;
    double share;
  };
  Restriction restrictions[kDims];
  int count = 0;
  for (int d = 0; d < kDims; ++d) {
    if (low[d] > m_BoxHigh[d] || high[d] < m_BoxLow[d] || low[d] > high[d]) return 0;
    if (low[d] <= m_BoxLow[d] && high[d] >= m_BoxHigh[d]) continue;
    const int16_t lo = std::max(low[d], m_BoxLow[d]), hi = std::min(high[d], m_BoxHigh[d]);
    // The share of a sample of the keys that the range holds estimates its selectivity.
    const int16_t* sample = &m_Samples[static_cast<size_t>(d) * kSampleSize];
    const double share = double(std::upper_bound(sample, sample + kSampleSize, hi) -
                                std::lower_bound(sample, sample + kSampleSize, lo)) /
                         kSampleSize;
    restrictions[count++] = {&m_Columns[d * n], lo, hi, share};
  }
  std::sort(restrictions, restrictions + count,
            [](const Restriction& a, const Restriction& b) { return a.share < b.share; });
  // Block by block: the first values are tested for every entry at once (a loop the
  // compiler vectorises) while more than an eighth of the block survives; the
  // survivors are then listed and tested value by value.
  constexpr size_t kBlock = 4096;
  uint8_t inside[kBlock];
  uint16_t survivors[kBlock];
  for (size_t start = 0; start < n; start += kBlock) {
    const size_t length = std::min(kBlock, n - start);
    int next = 0;
    size_t alive = length;
    std::fill(inside, inside + length, 1);
    while (next + 1 < count && alive * 8 > length) {
      const Restriction& a = restrictions[next++];
      const Restriction& b = restrictions[next++];
      const int16_t* columnA = a.column + start;
      const int16_t* columnB = b.column + start;
      unsigned sum = 0;
      for (size_t i = 0; i < length; ++i) {
        inside[i] &= static_cast<uint8_t>((columnA[i] >= a.low) & (columnA[i] <= a.high) &
                                          (columnB[i] >= b.low) & (columnB[i] <= b.high));
        sum += inside[i];
      }
      alive = sum;
    }
    if (alive == 0) continue;
    alive = 0;
    for (size_t i = 0; i < length; ++i) {
      survivors[alive] = static_cast<uint16_t>(i);
      alive += inside[i];
    }
    for (; next < count && alive > 0; ++next) {
      const Restriction& restriction = restrictions[next];
      const int16_t* column = restriction.column + start;
      size_t kept = 0;
      for (size_t j = 0; j < alive; ++j) {
        const int16_t value = column[survivors[j]];
        survivors[kept] = survivors[j];
        kept += (value >= restriction.low) & (value <= restriction.high);
      }
      alive = kept;
    }
    for (size_t j = 0; j < alive; ++j) {
      m_Found.push_back(m_LfdNr[start + survivors[j]]);
      m_FoundEntries.push_back(static_cast<int32_t>(start + survivors[j]));
      if (m_Found.size() == wanted) return static_cast<int32_t>(wanted);
    }
  }
  return static_cast<int32_t>(m_Found.size());
}

std::vector<int32_t> SimilarityIndex::BoxQueryByWalk(const int16_t* low, const int16_t* high,
                                                     int32_t limit) const {
  std::vector<int32_t> found;
  std::vector<int32_t> stack;
  const size_t n = m_LfdNr.size();
  auto value = [&](int32_t node, int d) { return m_Columns[static_cast<size_t>(d) * n + node]; };
  int32_t node = m_Root;
  while (static_cast<int32_t>(found.size()) < limit) {
    if (node < 0) {
      if (stack.empty()) break;
      node = stack.back();
      stack.pop_back();
      continue;
    }
    const int d = m_Dim[node];
    const int16_t split = value(node, d);
    if (split < low[d]) {
      node = m_Upper[node];
    } else if (high[d] < split) {
      node = m_Lower[node];
    } else {
      bool inside = true;
      for (int i = 0; i < kDims && inside; ++i) {
        inside = value(node, i) >= low[i] && value(node, i) <= high[i];
      }
      if (inside) found.push_back(m_LfdNr[node]);
      if (low[d] < split && m_Lower[node] >= 0) stack.push_back(m_Lower[node]);
      node = m_Upper[node];
    }
  }
  return found;
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
  const int32_t limit = maximum + 2;
  int stepsLeft = budget;
  // Whether some box held more than the query picture itself: a box that then holds one
  // entry or none has shrunk too far.
  bool sawOthers = false;
  // The search narrows the radius between inner (too few entries) and outer.
  double outer = radius != 0 ? radius : m_Radius;
  double inner = 1.0;
  int32_t hits = QueryRadius(query, weights, outer, limit);
  if (radius == 0) {
    while (hits < minimum) {
      if (--stepsLeft < 0) break;
      if (hits > 1) sawOthers = true;
      inner = outer;
      outer *= 1.3;
      hits = QueryRadius(query, weights, outer, limit);
    }
  }
  while ((hits < minimum && minimum > 0) || hits > maximum) {
    if (--stepsLeft < 0) break;
    const double middle = (outer + inner) / 2;
    hits = QueryRadius(query, weights, middle, limit);
    if (hits > 1) sawOthers = true;
    if (hits < minimum || (hits <= 1 && sawOthers)) {
      inner = middle;
    } else if (hits > maximum) {
      outer = middle;
    } else {
      break;
    }
  }
  if (hits <= 1 && sawOthers) {
    hits = QueryRadius(query, weights, outer, limit);
    while (hits <= 1) {
      if (--stepsLeft < 0) break;
      outer *= 1.1;
      hits = QueryRadius(query, weights, outer, limit);
    }
  }
  if (radius == 0) m_Radius = stepsLeft >= 0 ? outer : kInitialRadius;
  return hits;
}

std::vector<ScoredRecord> SimilarityIndex::ScoreCandidates(const ImageRecordDB& db,
                                                           const int16_t* query,
                                                           const WeightVector& weights,
                                                           const IdentityCheck& identity) const {
  std::vector<SearchResult> results(m_Found.size());
  // While the database has neither lost nor gained a record since the build, the
  // entries' records are still those of the build; otherwise each is looked up.
  const bool current = &db == m_Db && db.IndexValid() && db.Count() == EntryCount();
  for (size_t i = 0; i < m_Found.size(); ++i) {
    ImageRecord* record = current ? m_Records[m_FoundEntries[i]] : db.FindByLfdNr(m_Found[i]);
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
