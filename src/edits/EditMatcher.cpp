#include "edits/EditMatcher.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <tuple>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "edits/Orientation.h"
#include "edits/ParallelRun.h"
#include "edits/WindowSampler.h"

namespace gq {
namespace {

constexpr int kSignBits = kKeyLength;  // the key: signs of the coefficients (u, v below 4)
// and whether the magnitudes of the lowest ones, c(1, 0), c(0, 1), c(1, 1), c(2, 0) and
// c(0, 2), pass their medians over the pictures (so that buckets stay small)
constexpr int kMagnitudeBits = 5;
constexpr int kMagnitudeCoefficients[kMagnitudeBits] = {0, 3, 4, 1, 7};
constexpr int kKeyBits = kSignBits + kMagnitudeBits;
constexpr int kBuckets = 1 << kKeyBits;
constexpr int kProbeBits = 5;             // the least certain bits a lookup also flips
constexpr int kProbes = 1 << kProbeBits;  // the buckets a whole frame looks into
constexpr int kFilingBits = 2;            // the same for the keys a picture is filed under
constexpr float kCandidateCosine = 0.8f;  // coefficient agreement a candidate needs
// The same as a least product of two keys (unit vectors times 127).
constexpr int32_t kCandidateDot = static_cast<int32_t>(kCandidateCosine * 127 * 127) + 1;
constexpr float kFloorCorrelation = 0.75f;         // below this a window is not worth fitting
constexpr float kFloorDetail = 0.35f;              // nor when its fine detail is below this
constexpr float kMaxCut = 0.2f;                    // a fitted window cuts at most this per side
constexpr float kCropLimit = 0.025f;               // a fitted cut beyond this counts as a crop
constexpr float kAcceptCorrelation = 0.9f;         // an edited copy correlates at least this
constexpr float kAcceptDetail = 0.8f;              // and its fine detail at least this
constexpr float kMidFitDetail = 0.5f;              // before the finest step of a fit, at least this
constexpr size_t kCandidatesPerPicture = 16;       // the most other pictures a picture confirms
constexpr int kChunk = 128;                        // pictures a thread takes at a time
constexpr int kCells = kSampleSide * kSampleSide;  // of a window's sample

// A picture filed in the index, with its whole frame's coefficients at hand.
struct Filed {
  int32_t picture;
  int8_t coefficients[kKeyLength + 1];
};

// The pictures by the key of their whole frame.
struct KeyIndex {
  int magnitudeMedians[kMagnitudeBits] = {};  // of the magnitude bits' coefficients
  std::vector<int32_t> start;                 // kBuckets + 1 offsets into members, by key
  std::vector<Filed> members;
  std::vector<uint64_t> occupied;  // a bit per bucket, set when it has members
  bool Occupied(uint32_t bucket) const { return (occupied[bucket >> 6] >> (bucket & 63)) & 1; }
};

// The key of coefficients, and per bit how far its coefficient is from flipping it.
struct Key {
  uint32_t bits = 0;
  int margins[kKeyBits];
};

bool Usable(const EditDescriptor* descriptor) { return descriptor && !descriptor->flat; }

// The dot product of two keys of kKeyLength + 1 bytes (the padding byte included).
int32_t KeyDot(const int8_t* a, const int8_t* b) {
  static_assert(kKeyLength + 1 == 16);
#if defined(__SSE2__)
  const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
  const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
  const __m128i zero = _mm_setzero_si128();
  const __m128i xSign = _mm_cmplt_epi8(x, zero), ySign = _mm_cmplt_epi8(y, zero);
  __m128i sum =
      _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(x, xSign), _mm_unpacklo_epi8(y, ySign)),
                    _mm_madd_epi16(_mm_unpackhi_epi8(x, xSign), _mm_unpackhi_epi8(y, ySign)));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
  return _mm_cvtsi128_si32(sum);
#else
  int32_t dot = 0;
  for (int k = 0; k < kKeyLength + 1; ++k) dot += a[k] * b[k];
  return dot;
#endif
}

Key KeyOf(const KeyIndex& index, const int8_t* coefficients) {
  Key key;
  for (int bit = 0; bit < kSignBits; ++bit) {
    const int c = coefficients[bit];
    key.bits |= (c > 0 ? 1u : 0u) << bit;
    key.margins[bit] = std::abs(c);
  }
  for (int m = 0; m < kMagnitudeBits; ++m) {
    const int beyond =
        std::abs(coefficients[kMagnitudeCoefficients[m]]) - index.magnitudeMedians[m];
    key.bits |= (beyond > 0 ? 1u : 0u) << (kSignBits + m);
    key.margins[kSignBits + m] = std::abs(beyond);
  }
  return key;
}

// The bit masks to look up for a key, into masks (2^bits of them): every combination of
// its `bits` (at most kProbeBits) least certain bits (those of the smallest margins, the
// lower bit on a tie). With costs, also how unlikely each mask is: the margins of its
// bits summed.
void ProbeMasks(const Key& key, int bits, uint32_t* masks, int* costs = nullptr) {
  // Each bit as its margin and place in one number, kept in order in least without
  // branches: the comparisons are as hard to foretell as the margins.
  constexpr int kPlaceBits = 5;
  static_assert(kKeyBits <= (1 << kPlaceBits));
  uint32_t least[kProbeBits];
  std::fill(std::begin(least), std::end(least), UINT32_MAX);
  for (int bit = 0; bit < kKeyBits; ++bit) {
    uint32_t value =
        static_cast<uint32_t>(key.margins[bit]) << kPlaceBits | static_cast<uint32_t>(bit);
    for (uint32_t& kept : least) {
      const uint32_t lower = std::min(kept, value);
      value = std::max(kept, value);
      kept = lower;
    }
  }
  int bitOf[kProbeBits], marginOf[kProbeBits];
  for (int k = 0; k < bits; ++k) {
    bitOf[k] = static_cast<int>(least[k] & ((1u << kPlaceBits) - 1));
    marginOf[k] = static_cast<int>(least[k] >> kPlaceBits);
  }
  // Each mask is one with fewer bits and its lowest bit.
  masks[0] = 0;
  int cost[kProbes] = {};
  for (uint32_t m = 1; m < (1u << bits); ++m) {
    const int lowest = __builtin_ctz(m);
    masks[m] = masks[m & (m - 1)] | 1u << bitOf[lowest];
    cost[m] = cost[m & (m - 1)] + marginOf[lowest];
  }
  if (costs) std::copy(cost, cost + (1 << bits), costs);
}

// The keys a picture's whole frame is filed under: its own, and those with its least
// certain bits flipped, as the same picture edited may show them.
std::array<uint32_t, 1 << kFilingBits> FilingKeys(const KeyIndex& index,
                                                  const EditDescriptor& descriptor) {
  const Key key = KeyOf(index, descriptor.keys[0]);
  std::array<uint32_t, 1 << kFilingBits> keys;
  ProbeMasks(key, kFilingBits, keys.data());
  for (uint32_t& mask : keys) mask ^= key.bits;
  return keys;
}

// The median magnitudes of the magnitude bits' coefficients over the whole frames.
void FindMagnitudeMedians(const std::vector<const EditDescriptor*>& descriptors, KeyIndex* index) {
  for (int m = 0; m < kMagnitudeBits; ++m) {
    std::vector<int> magnitudes;
    for (const EditDescriptor* d : descriptors) {
      if (Usable(d)) magnitudes.push_back(std::abs(d->keys[0][kMagnitudeCoefficients[m]]));
    }
    if (magnitudes.empty()) continue;
    std::nth_element(magnitudes.begin(), magnitudes.begin() + magnitudes.size() / 2,
                     magnitudes.end());
    index->magnitudeMedians[m] = magnitudes[magnitudes.size() / 2];
  }
}

KeyIndex BuildIndex(const std::vector<const EditDescriptor*>& descriptors) {
  KeyIndex index;
  FindMagnitudeMedians(descriptors, &index);
  index.start.assign(kBuckets + 1, 0);
  for (const EditDescriptor* d : descriptors) {
    if (!Usable(d)) continue;
    for (uint32_t key : FilingKeys(index, *d)) ++index.start[key + 1];
  }
  index.occupied.assign(kBuckets / 64, 0);
  for (uint32_t b = 0; b < kBuckets; ++b) {
    if (index.start[b + 1] > 0) index.occupied[b >> 6] |= uint64_t{1} << (b & 63);
    index.start[b + 1] += index.start[b];
  }
  index.members.resize(static_cast<size_t>(index.start[kBuckets]));
  std::vector<int32_t> fill(index.start.begin(), index.start.end() - 1);
  for (size_t i = 0; i < descriptors.size(); ++i) {
    if (!Usable(descriptors[i])) continue;
    for (uint32_t key : FilingKeys(index, *descriptors[i])) {
      Filed& filed = index.members[static_cast<size_t>(fill[key]++)];
      filed.picture = static_cast<int32_t>(i);
      std::copy(descriptors[i]->keys[0], descriptors[i]->keys[0] + kKeyLength + 1,
                filed.coefficients);
    }
  }
  return index;
}

// The coefficients of a window of the picture turned by an orientation.
void TurnedKey(const EditDescriptor& descriptor, int window, int orientation, int8_t* out) {
  float grid[kKeyLength + 1] = {}, turned[kKeyLength + 1];
  for (int k = 0; k < kKeyLength; ++k) grid[k + 1] = descriptor.keys[window][k];
  OrientCoefficients(grid, kCoefficientSide, Orientations()[orientation], turned);
  for (int k = 0; k < kKeyLength; ++k) out[k] = static_cast<int8_t>(turned[k + 1]);
  out[kKeyLength] = 0;
}

struct Candidate {
  int32_t other;
  int window;
  int orientation;
  float cosine;
};

// Better first: the higher cosine, then the lower picture, window and orientation, so
// that the candidates kept do not depend on the order the buckets were read in.
bool Better(const Candidate& x, const Candidate& y) {
  if (x.cosine != y.cosine) return x.cosine > y.cosine;
  return std::tie(x.other, x.window, x.orientation) < std::tie(y.other, y.window, y.orientation);
}

// The two best hypotheses found for each other picture (a hypothesis found twice counts
// twice), in a table kept from picture to picture and emptied through the slots used.
class BestPerOther {
 public:
  void Clear() {
    for (uint32_t slot : m_Used) m_Slots[slot].other = -1;
    m_Used.clear();
  }

  void Add(const Candidate& candidate) {
    if (2 * (m_Used.size() + 1) > m_Slots.size()) Grow();
    const uint32_t slot = SlotOf(candidate.other);
    Entry& entry = m_Slots[slot];
    if (entry.other < 0) {
      entry.other = candidate.other;
      entry.count = 0;
      m_Used.push_back(slot);
    }
    if (entry.count == 0 || Better(candidate, entry.best[0])) {
      entry.best[1] = entry.best[0];
      entry.best[0] = candidate;
    } else if (entry.count == 1 || Better(candidate, entry.best[1])) {
      entry.best[1] = candidate;
    }
    entry.count = std::min(entry.count + 1, 2);
  }

  // The kCandidatesPerPicture others whose best hypotheses are best, by picture, each
  // with its two best hypotheses (best first).
  std::vector<Candidate> Kept() {
    std::vector<const Entry*> others;
    for (uint32_t slot : m_Used) others.push_back(&m_Slots[slot]);
    const size_t chosen = std::min(others.size(), kCandidatesPerPicture);
    std::partial_sort(
        others.begin(), others.begin() + static_cast<ptrdiff_t>(chosen), others.end(),
        [](const Entry* x, const Entry* y) { return Better(x->best[0], y->best[0]); });
    others.resize(chosen);
    std::sort(others.begin(), others.end(),
              [](const Entry* x, const Entry* y) { return x->other < y->other; });
    std::vector<Candidate> kept;
    for (const Entry* entry : others)
      kept.insert(kept.end(), entry->best, entry->best + entry->count);
    return kept;
  }

 private:
  struct Entry {
    int32_t other = -1;
    int count = 0;
    Candidate best[2];
  };

  uint32_t SlotOf(int32_t other) const {
    const auto mask = static_cast<uint32_t>(m_Slots.size() - 1);
    uint32_t slot = (static_cast<uint32_t>(other) * 2654435761u) & mask;
    while (m_Slots[slot].other >= 0 && m_Slots[slot].other != other) slot = (slot + 1) & mask;
    return slot;
  }

  void Grow() {
    std::vector<Entry> entries;
    for (uint32_t slot : m_Used) entries.push_back(m_Slots[slot]);
    m_Slots.assign(std::max<size_t>(4096, 2 * m_Slots.size()), Entry());
    m_Used.clear();
    for (const Entry& entry : entries) {
      const uint32_t slot = SlotOf(entry.other);
      m_Slots[slot] = entry;
      m_Used.push_back(slot);
    }
  }

  std::vector<Entry> m_Slots;  // a power of two, at most half used
  std::vector<uint32_t> m_Used;
};

// A bucket a picture looks into, with the window and orientation whose key led there,
// packed as bucket << 8 | window * kOrientationCount + orientation.
constexpr int kProbeShift = 8;
static_assert(kWindowCount * kOrientationCount <= (1 << kProbeShift));
static_assert(kProbeShift + kKeyBits <= 32);

// Sorts the probes by bucket, keeping the order of probes into the same bucket.
void SortByBucket(std::vector<uint32_t>& probes, std::vector<uint32_t>& room) {
  constexpr int kDigitBits = kKeyBits / 2;
  constexpr uint32_t kDigitMask = (1u << kDigitBits) - 1;
  room.resize(probes.size());
  for (int shift = kProbeShift; shift < kProbeShift + kKeyBits; shift += kDigitBits) {
    std::array<uint32_t, (1 << kDigitBits) + 1> next{};
    for (uint32_t p : probes) ++next[((p >> shift) & kDigitMask) + 1];
    for (size_t d = 1; d < next.size(); ++d) next[d] += next[d - 1];
    for (uint32_t p : probes) room[next[(p >> shift) & kDigitMask]++] = p;
    probes.swap(room);
  }
}

// What a thread keeps from picture to picture to look pictures up.
struct LookupRoom {
  int8_t keys[kWindowCount * kOrientationCount][kKeyLength + 1];  // the turned coefficients
  std::vector<uint32_t> probes, sortRoom;
  std::vector<uint32_t> visits;  // per occupied bucket looked into, its first probe
  BestPerOther found;
};

// The probes of picture a: for each window turned by each orientation, the buckets of
// its key with the least certain bits flipped, sorted by bucket.
void ProbesOf(const EditDescriptor& descriptor, const KeyIndex& index, LookupRoom& room) {
  room.probes.resize(kWindowCount * kOrientationCount * kProbes);
  size_t used = 0;
  uint32_t masks[kProbes];
  int costs[kProbes];
  for (int w = 0; w < kWindowCount; ++w) {
    for (int o = 0; o < kOrientationCount; ++o) {
      const int hypothesis = w * kOrientationCount + o;
      TurnedKey(descriptor, w, o, room.keys[hypothesis]);
      const Key key = KeyOf(index, room.keys[hypothesis]);
      // Turning a key only changes the signs of its coefficients, and a swap of the
      // axes their places too, so the orientations of one swap share their margins
      // and thus their masks.
      if (o == 0 || Orientations()[o].swap != Orientations()[o - 1].swap) {
        ProbeMasks(key, kProbeBits, masks, costs);
      }
      // A crop window, whose key is the less certain, looks up only the likelier half of
      // the masks: of each mask and its complement (their costs add up to the whole
      // mask's) the one of the lower cost, or of the lower index on a tie.
      const bool crop = w > 0;
      for (uint32_t m = 0; m < kProbes; ++m) {
        const int twice = 2 * costs[m], all = costs[kProbes - 1];
        room.probes[used] =
            (key.bits ^ masks[m]) << kProbeShift | static_cast<uint32_t>(hypothesis);
        used += !crop || twice < all || (twice == all && m < kProbes / 2);
      }
    }
  }
  room.probes.resize(used);
  SortByBucket(room.probes, room.sortRoom);
}

// Every filed picture but a whose coefficients agree with a probe's into room.found.
// Each bucket is read once for all probes into it; the buckets ahead are fetched early.
void ScanBuckets(const KeyIndex& index, int32_t a, LookupRoom& room) {
  room.visits.clear();
  for (size_t i = 0; i < room.probes.size(); ++i) {
    const uint32_t bucket = room.probes[i] >> kProbeShift;
    if ((i == 0 || room.probes[i - 1] >> kProbeShift != bucket) && index.Occupied(bucket)) {
      room.visits.push_back(static_cast<uint32_t>(i));
    }
  }
  constexpr size_t kStartsAhead = 8, kMembersAhead = 4;
  auto bucketOf = [&](size_t visit) { return room.probes[room.visits[visit]] >> kProbeShift; };
  for (size_t v = 0; v < room.visits.size(); ++v) {
    if (v + kStartsAhead < room.visits.size()) {
      __builtin_prefetch(&index.start[bucketOf(v + kStartsAhead)]);
    }
    if (v + kMembersAhead < room.visits.size()) {
      __builtin_prefetch(
          &index.members[static_cast<size_t>(index.start[bucketOf(v + kMembersAhead)])]);
    }
    const uint32_t bucket = bucketOf(v);
    size_t end = room.visits[v] + 1;
    while (end < room.probes.size() && room.probes[end] >> kProbeShift == bucket) ++end;
    for (int32_t p = index.start[bucket]; p < index.start[bucket + 1]; ++p) {
      const Filed& filed = index.members[static_cast<size_t>(p)];
      if (filed.picture == a) continue;
      for (size_t probe = room.visits[v]; probe < end; ++probe) {
        const int hypothesis = static_cast<int>(room.probes[probe] & ((1u << kProbeShift) - 1));
        const int32_t dot = KeyDot(room.keys[hypothesis], filed.coefficients);
        if (dot >= kCandidateDot) {
          room.found.Add({filed.picture, hypothesis / kOrientationCount,
                          hypothesis % kOrientationCount,
                          static_cast<float>(dot) / (127.0f * 127.0f)});
        }
      }
    }
  }
}

// The candidates for picture a: of the other pictures with the best agreeing
// coefficients, the two best hypotheses each (best first).
std::vector<Candidate> CandidatesOf(const std::vector<const EditDescriptor*>& descriptors,
                                    const KeyIndex& index, int32_t a, LookupRoom& room) {
  room.found.Clear();
  ProbesOf(*descriptors[static_cast<size_t>(a)], index, room);
  ScanBuckets(index, a, room);
  return room.found.Kept();
}

float& EdgeOf(CropWindow& window, int edge) {
  switch (edge) {
    case 0:
      return window.left;
    case 1:
      return window.right;
    case 2:
      return window.top;
    default:
      return window.bottom;
  }
}

// The grid less its 3 x 3 local mean, normalised; false when nothing is left.
bool Detail(const float* grid, float* detail) {
  constexpr int kLast = kSampleSide - 1;
  float across[kSampleSide][kSampleSide];  // each cell with its row neighbours
  for (int y = 0; y < kSampleSide; ++y) {
    const float* row = grid + y * kSampleSide;
    for (int x = 0; x < kSampleSide; ++x) {
      across[y][x] = (x > 0 ? row[x - 1] : 0) + row[x] + (x < kLast ? row[x + 1] : 0);
    }
  }
  for (int y = 0; y < kSampleSide; ++y) {
    const int rows = 1 + (y > 0) + (y < kLast);
    for (int x = 0; x < kSampleSide; ++x) {
      const float sum =
          (y > 0 ? across[y - 1][x] : 0) + across[y][x] + (y < kLast ? across[y + 1][x] : 0);
      const int cells = rows * (1 + (x > 0) + (x < kLast));
      detail[y * kSampleSide + x] = grid[y * kSampleSide + x] - sum / static_cast<float>(cells);
    }
  }
  constexpr int kLanes = 4;  // independent sums, so that the additions overlap
  double sums[kLanes] = {}, squareSums[kLanes] = {};
  for (int i = 0; i < kCells; i += kLanes) {
    for (int lane = 0; lane < kLanes; ++lane) sums[lane] += detail[i + lane];
  }
  const double mean = (sums[0] + sums[1] + sums[2] + sums[3]) / kCells;
  for (int i = 0; i < kCells; i += kLanes) {
    for (int lane = 0; lane < kLanes; ++lane) {
      squareSums[lane] += (detail[i + lane] - mean) * (detail[i + lane] - mean);
    }
  }
  const double squares = squareSums[0] + squareSums[1] + squareSums[2] + squareSums[3];
  if (squares < 1e-6) return false;
  const float scale = static_cast<float>(1 / std::sqrt(squares / kCells));
  for (int i = 0; i < kCells; ++i) detail[i] = static_cast<float>((detail[i] - mean) * scale);
  return true;
}

// The detail correlation of a sample of from (null when flat), turned, with the detail
// of to (targetDetail); -1 when either has none.
float DetailScore(const float* sample, const float* targetDetail, int orientation) {
  float turned[kCells], detail[kCells];
  if (targetDetail == nullptr || sample == nullptr) return -1;
  OrientGrid(sample, kSampleSide, Orientations()[orientation], turned);
  if (!Detail(turned, detail)) return -1;
  return Correlation(detail, targetDetail);
}

bool IsCrop(const CropWindow& window) {
  return std::max({window.left, window.right, window.top, window.bottom}) > kCropLimit;
}

// Moves the window's edges by the step while the correlation with target (unturned)
// grows. Each move (an edge in or out) is tried at most once on each window the fit
// passes through, and not right after the move it would undo.
void FitWindow(const WindowSampler& sampler, const float* target, float step, EditFit* fit) {
  constexpr int kMoves = 8;  // move m: edge m / 2, outwards when m is even
  int triedOn[kMoves];       // the window (counted from 0) each move was last tried on
  std::fill(std::begin(triedOn), std::end(triedOn), -1);
  int window = 0;
  for (bool moved = true; moved;) {
    moved = false;
    for (int move = 0; move < kMoves; ++move) {
      if (triedOn[move] == window) continue;
      triedOn[move] = window;
      CropWindow trial = fit->window;
      float& cut = EdgeOf(trial, move / 2);
      const float change = move % 2 == 0 ? -step : step;
      const float movedCut = std::clamp(cut + change, 0.0f, kMaxCut);
      if (movedCut == cut) continue;  // at a limit: the same window
      const bool clamped = movedCut != cut + change;
      cut = movedCut;
      const float score = sampler.Correlate(trial, target);
      if (score > fit->correlation + 1e-4f) {
        fit->correlation = score, fit->window = trial, moved = true;
        ++window;
        if (!clamped) triedOn[move ^ 1] = window;  // it would lead back
      }
    }
  }
}

// ConfirmEdit with the sample of from's start window at hand (null when it is flat) and
// a sampler of from.
bool ConfirmFromSample(const EditDescriptor& from, const WindowSampler& sampler,
                       const float* startSample, const EditDescriptor& to, int orientation,
                       const CropWindow& start, EditFit* fit) {
  float target[kCells], targetDetail[kCells];
  if (!SampleWindow(to, CropWindow(), target)) return false;
  fit->window = start;
  fit->correlation = -1;
  fit->detail = -1;
  if (startSample == nullptr) return false;
  float turned[kCells], detail[kCells];
  OrientGrid(startSample, kSampleSide, Orientations()[orientation], turned);
  fit->correlation = Correlation(turned, target);
  if (fit->correlation < kFloorCorrelation) return false;
  const float* detailOfTo = Detail(target, targetDetail) ? targetDetail : nullptr;
  if (detailOfTo != nullptr && Detail(turned, detail))
    fit->detail = Correlation(detail, detailOfTo);
  if (fit->detail < kFloorDetail) return false;
  const bool whole = std::max({start.left, start.right, start.top, start.bottom}) == 0;
  if (whole && fit->correlation >= kAcceptCorrelation && fit->detail >= kAcceptDetail) return true;
  // The target turned back, so that windows of from are scored without turning them.
  float targetBack[kCells];
  OrientGrid(target, kSampleSide, Orientations()[InverseOrientation(orientation)], targetBack);
  for (float step : {0.04f, 0.02f}) FitWindow(sampler, targetBack, step, fit);
  // By now the fine detail of a picture that merely looks alike lags far behind an
  // edited copy's, so the finest step is spared it.
  float sample[kCells];
  if (DetailScore(sampler.Sample(fit->window, sample) ? sample : nullptr, detailOfTo, orientation) <
      kMidFitDetail) {
    return false;
  }
  FitWindow(sampler, targetBack, 0.01f, fit);
  if (fit->correlation < kAcceptCorrelation) return false;
  fit->detail = DetailScore(SampleWindow(from, fit->window, sample) ? sample : nullptr, detailOfTo,
                            orientation);
  return fit->detail >= kAcceptDetail;
}

// The samples of a picture's windows and their detail, each made when first asked for.
class WindowSamples {
 public:
  void Reset(const EditDescriptor* picture) {
    m_Sampler.Reset(*picture);
    std::fill(std::begin(m_Grid), std::end(m_Grid), kUnmade);
    std::fill(std::begin(m_Detail), std::end(m_Detail), kUnmade);
  }
  // The sample of the window, null when it is flat.
  const float* Of(int window) {
    if (m_Grid[window] == kUnmade) {
      m_Grid[window] = m_Sampler.Sample(WindowAt(window), m_Grids[window]) ? kMade : kNone;
    }
    return m_Grid[window] == kMade ? m_Grids[window] : nullptr;
  }
  // The detail of the window's sample, null when it has none.
  const float* DetailOf(int window) {
    if (m_Detail[window] == kUnmade) {
      const float* grid = Of(window);
      m_Detail[window] = grid && Detail(grid, m_Details[window]) ? kMade : kNone;
    }
    return m_Detail[window] == kMade ? m_Details[window] : nullptr;
  }
  const WindowSampler& Sampler() const { return m_Sampler; }

 private:
  enum State : uint8_t { kUnmade, kNone, kMade };
  WindowSampler m_Sampler;
  State m_Grid[kWindowCount] = {};
  State m_Detail[kWindowCount] = {};
  float m_Grids[kWindowCount][kCells];
  float m_Details[kWindowCount][kCells];
};

// A picture's whole frame as the target of candidates, its sample and detail kept as
// bytes (a value v as v * kTargetScale) for the checks before a window is fitted.
constexpr float kTargetScale = 16;
constexpr float kTargetSlack = 0.02f;  // more than the bytes can make a correlation err
struct FrameTarget {
  bool usable = false;  // the frame is not flat and has detail
  int8_t grid[kCells];
  int8_t detail[kCells];
};

void ToBytes(const float* values, int8_t* bytes) {
  for (int i = 0; i < kCells; ++i) {
    bytes[i] = static_cast<int8_t>(std::clamp(std::lround(values[i] * kTargetScale), -127L, 127L));
  }
}

std::vector<FrameTarget> MakeTargets(const std::vector<const EditDescriptor*>& descriptors,
                                     int threads) {
  std::vector<FrameTarget> targets(descriptors.size());
  std::atomic<size_t> next{0};
  RunParallel(threads, [&](bool) {
    float grid[kCells], detail[kCells];
    for (size_t i; (i = next++) < descriptors.size();) {
      if (!Usable(descriptors[i]) || !SampleWindow(*descriptors[i], CropWindow(), grid) ||
          !Detail(grid, detail)) {
        continue;
      }
      ToBytes(grid, targets[i].grid);
      ToBytes(detail, targets[i].detail);
      targets[i].usable = true;
    }
  });
  return targets;
}

// The correlation of a normalised grid, turned by the orientation, with one kept as bytes.
float TargetCorrelation(const float* grid, int orientation, const int8_t* target) {
  float turned[kCells];
  OrientGrid(grid, kSampleSide, Orientations()[orientation], turned);
  constexpr int kLanes = 8;  // independent sums, so that the additions overlap
  float sums[kLanes] = {};
  for (int i = 0; i < kCells; i += kLanes) {
    for (int lane = 0; lane < kLanes; ++lane) sums[lane] += turned[i + lane] * target[i + lane];
  }
  float sum = 0;
  for (float part : sums) sum += part;
  return sum / (kTargetScale * kCells);
}

// Confirms the candidate of picture a; true with the match filled in. Candidates whose
// start window is clearly below the floors are turned away on the kept targets first.
bool Confirm(const std::vector<const EditDescriptor*>& descriptors,
             const std::vector<FrameTarget>& targets, int32_t a, WindowSamples& samples,
             const Candidate& candidate, EditMatch* match) {
  // The detail first: it turns away the most.
  const FrameTarget& target = targets[static_cast<size_t>(candidate.other)];
  const float* detail = target.usable ? samples.DetailOf(candidate.window) : nullptr;
  if (detail == nullptr || TargetCorrelation(detail, candidate.orientation, target.detail) <
                               kFloorDetail - kTargetSlack) {
    return false;
  }
  const float* sample = samples.Of(candidate.window);
  if (TargetCorrelation(sample, candidate.orientation, target.grid) <
      kFloorCorrelation - kTargetSlack) {
    return false;
  }
  EditFit fit;
  if (!ConfirmFromSample(*descriptors[static_cast<size_t>(a)], samples.Sampler(), sample,
                         *descriptors[static_cast<size_t>(candidate.other)], candidate.orientation,
                         WindowAt(candidate.window), &fit)) {
    return false;
  }
  *match = {a, candidate.other, candidate.orientation, IsCrop(fit.window), fit.correlation};
  return true;
}

// Which pictures the pairs confirmed so far join; shared by the threads, so that a
// pair whose pictures are joined already is not confirmed again.
class JoinedSets {
 public:
  explicit JoinedSets(int32_t count) : m_Parent(static_cast<size_t>(count)) {
    for (int32_t i = 0; i < count; ++i) m_Parent[static_cast<size_t>(i)] = i;
  }
  bool Joined(int32_t a, int32_t b) {
    const std::lock_guard<std::mutex> lock(m_Guard);
    return Root(a) == Root(b);
  }
  void Join(int32_t a, int32_t b) {
    const std::lock_guard<std::mutex> lock(m_Guard);
    m_Parent[static_cast<size_t>(Root(a))] = Root(b);
  }

 private:
  int32_t Root(int32_t i) {
    while (m_Parent[static_cast<size_t>(i)] != i) {
      i = m_Parent[static_cast<size_t>(i)] =
          m_Parent[static_cast<size_t>(m_Parent[static_cast<size_t>(i)])];
    }
    return i;
  }
  std::mutex m_Guard;
  std::vector<int32_t> m_Parent;  // guarded by m_Guard
};

// Keeps one match per pair of pictures, the best correlated.
std::vector<EditMatch> OnePerPair(std::vector<EditMatch> matches) {
  auto pair = [](const EditMatch& m) { return std::minmax(m.from, m.to); };
  std::sort(matches.begin(), matches.end(), [&](const EditMatch& x, const EditMatch& y) {
    return pair(x) != pair(y) ? pair(x) < pair(y) : x.correlation > y.correlation;
  });
  std::vector<EditMatch> kept;
  for (const EditMatch& m : matches) {
    if (kept.empty() || pair(kept.back()) != pair(m)) kept.push_back(m);
  }
  return kept;
}

}  // namespace

bool ConfirmEdit(const EditDescriptor& from, const EditDescriptor& to, int orientation,
                 const CropWindow& start, EditFit* fit) {
  float sample[kCells];
  const bool usable = SampleWindow(from, start, sample);
  WindowSampler sampler;
  sampler.Reset(from);
  return ConfirmFromSample(from, sampler, usable ? sample : nullptr, to, orientation, start, fit);
}

std::vector<EditMatch> FindEditMatches(const std::vector<const EditDescriptor*>& descriptors,
                                       const EditMatchOptions& options, bool* stopped) {
  const KeyIndex index = BuildIndex(descriptors);
  const std::vector<FrameTarget> targets = MakeTargets(descriptors, ThreadsToUse(options.threads));
  const auto count = static_cast<int32_t>(descriptors.size());
  std::atomic<int32_t> next{0}, done{0};
  std::atomic<bool> stop{false};
  std::mutex guard;  // guards matches
  std::vector<EditMatch> matches;
  JoinedSets joined(count);
  RunParallel(ThreadsToUse(options.threads), [&](bool caller) {
    std::vector<EditMatch> own;
    auto samples = std::make_unique<WindowSamples>();
    auto lookup = std::make_unique<LookupRoom>();
    for (int32_t first; !stop && (first = next.fetch_add(kChunk)) < count;) {
      for (int32_t a = first; a < std::min(count, first + kChunk); ++a) {
        if (!Usable(descriptors[static_cast<size_t>(a)])) continue;
        EditMatch match;
        samples->Reset(descriptors[static_cast<size_t>(a)]);
        for (const Candidate& candidate : CandidatesOf(descriptors, index, a, *lookup)) {
          if (!joined.Joined(a, candidate.other) &&
              Confirm(descriptors, targets, a, *samples, candidate, &match)) {
            own.push_back(match);
            joined.Join(a, candidate.other);
          }
        }
      }
      const int32_t total = done.fetch_add(kChunk) + kChunk;
      if (caller && options.progress &&
          !options.progress(std::min(1.0, static_cast<double>(total) / count))) {
        stop = true;
      }
    }
    const std::lock_guard<std::mutex> lock(guard);
    matches.insert(matches.end(), own.begin(), own.end());
  });
  if (stopped) *stopped = stop;
  return OnePerPair(std::move(matches));
}

}  // namespace gq
