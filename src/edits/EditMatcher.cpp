#include "edits/EditMatcher.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "edits/Orientation.h"
#include "edits/ParallelRun.h"
#include "edits/WindowSampler.h"

namespace gq {
namespace {

constexpr int kSignBits = 15;  // the key: signs of the coefficients with u, v below 4
// and whether the magnitudes of the lowest ones, c(1, 0), c(0, 1), c(1, 1), c(2, 0) and
// c(0, 2), pass their medians over the pictures (so that buckets stay small)
constexpr int kMagnitudeBits = 5;
constexpr int kMagnitudeCoefficients[kMagnitudeBits] = {0, 3, 4, 1, 7};
constexpr int kKeyBits = kSignBits + kMagnitudeBits;
constexpr int kBuckets = 1 << kKeyBits;
constexpr int kProbeBits = 5;             // the least certain bits a lookup also flips
constexpr int kFilingBits = 2;            // the same for the keys a picture is filed under
constexpr float kCandidateCosine = 0.8f;  // coefficient agreement a candidate needs
// The same as a least product of two keys (unit vectors times 127).
constexpr int32_t kCandidateDot = static_cast<int32_t>(kCandidateCosine * 127 * 127) + 1;
constexpr float kFloorCorrelation = 0.75f;    // below this a window is not worth fitting
constexpr float kFloorDetail = 0.3f;          // nor when its fine detail is below this
constexpr float kMaxCut = 0.2f;               // a fitted window cuts at most this per side
constexpr float kCropLimit = 0.025f;          // a fitted cut beyond this counts as a crop
constexpr float kAcceptCorrelation = 0.9f;    // an edited copy correlates at least this
constexpr float kAcceptDetail = 0.8f;         // and its fine detail at least this
constexpr size_t kCandidatesPerPicture = 16;  // the most other pictures a picture confirms
constexpr int kChunk = 128;                   // pictures a thread takes at a time

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
};

// The key of coefficients, and per bit how far its coefficient is from flipping it.
struct Key {
  uint32_t bits = 0;
  int margins[kKeyBits];
};

// The places of the key's coefficients among all.
constexpr std::array<int, kSignBits> SignCoefficients() {
  std::array<int, kSignBits> places{};
  int n = 0;
  for (int v = 0; v < 4; ++v) {
    for (int u = 0; u < 4; ++u) {
      if (u + v > 0) places[n++] = v * kCoefficientSide + u - 1;
    }
  }
  return places;
}
constexpr std::array<int, kSignBits> kSignCoefficients = SignCoefficients();

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
    const int c = coefficients[kSignCoefficients[bit]];
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

// The bit masks to look up for a key: every combination of its `bits` least certain
// bits (those of the smallest margins).
std::vector<uint32_t> ProbeMasks(const Key& key, int bits) {
  int order[kKeyBits];
  for (int bit = 0; bit < kKeyBits; ++bit) order[bit] = bit;
  std::partial_sort(order, order + bits, order + kKeyBits,
                    [&](int a, int b) { return key.margins[a] < key.margins[b]; });
  std::vector<uint32_t> masks(size_t{1} << bits, 0);
  for (uint32_t m = 0; m < masks.size(); ++m) {
    for (int bit = 0; bit < bits; ++bit) {
      if (m & (1u << bit)) masks[m] |= 1u << order[bit];
    }
  }
  return masks;
}

// The keys a picture's whole frame is filed under: its own, and those with its least
// certain bits flipped, as the same picture edited may show them.
std::vector<uint32_t> FilingKeys(const KeyIndex& index, const EditDescriptor& descriptor) {
  const Key key = KeyOf(index, descriptor.keys[0]);
  std::vector<uint32_t> keys = ProbeMasks(key, kFilingBits);
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
  for (int b = 0; b < kBuckets; ++b) index.start[b + 1] += index.start[b];
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

// The kCandidatesPerPicture others of the best cosines among the found (reordered): the
// found are taken best first off a heap until that many others are seen.
std::vector<int32_t> BestOthers(std::vector<Candidate>& found) {
  auto worse = [](const Candidate& x, const Candidate& y) { return x.cosine < y.cosine; };
  std::make_heap(found.begin(), found.end(), worse);
  std::vector<int32_t> others;
  for (auto end = found.end(); end != found.begin() && others.size() < kCandidatesPerPicture;) {
    std::pop_heap(found.begin(), end, worse);
    const int32_t other = (--end)->other;
    if (std::find(others.begin(), others.end(), other) == others.end()) others.push_back(other);
  }
  return others;
}

// The candidates for picture a: of the other pictures with the best agreeing
// coefficients, the two best hypotheses each (best first). found is room for the hits,
// kept from picture to picture.
std::vector<Candidate> CandidatesOf(const std::vector<const EditDescriptor*>& descriptors,
                                    const KeyIndex& index, int32_t a,
                                    std::vector<Candidate>& found) {
  found.clear();
  int8_t coefficients[kKeyLength + 1];
  for (int w = 0; w < kWindowCount; ++w) {
    for (int o = 0; o < kOrientationCount; ++o) {
      TurnedKey(*descriptors[static_cast<size_t>(a)], w, o, coefficients);
      const Key key = KeyOf(index, coefficients);
      for (uint32_t mask : ProbeMasks(key, kProbeBits)) {
        const uint32_t bucket = key.bits ^ mask;
        for (int32_t p = index.start[bucket]; p < index.start[bucket + 1]; ++p) {
          const Filed& filed = index.members[static_cast<size_t>(p)];
          const int32_t dot = KeyDot(coefficients, filed.coefficients);
          if (dot >= kCandidateDot && filed.picture != a) {
            found.push_back({filed.picture, w, o, static_cast<float>(dot) / (127.0f * 127.0f)});
          }
        }
      }
    }
  }
  // The best few others by their best cosine, each with its two best hypotheses.
  const std::vector<int32_t> chosen = BestOthers(found);
  std::vector<Candidate> kept;
  for (const Candidate& c : found) {
    if (std::find(chosen.begin(), chosen.end(), c.other) != chosen.end()) kept.push_back(c);
  }
  std::sort(kept.begin(), kept.end(), [](const Candidate& x, const Candidate& y) {
    return x.other != y.other ? x.other < y.other : x.cosine > y.cosine;
  });
  size_t end = 0;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i < 2 || kept[i - 2].other != kept[i].other) kept[end++] = kept[i];
  }
  kept.resize(end);
  return kept;
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
  double sum = 0, squares = 0;
  const int n = kSampleSide * kSampleSide;
  for (int i = 0; i < n; ++i) sum += detail[i];
  for (int i = 0; i < n; ++i) squares += (detail[i] - sum / n) * (detail[i] - sum / n);
  if (squares < 1e-6) return false;
  const float scale = static_cast<float>(1 / std::sqrt(squares / n));
  for (int i = 0; i < n; ++i) detail[i] = static_cast<float>((detail[i] - sum / n) * scale);
  return true;
}

// The detail correlation of the window of from, turned, with the detail of to
// (targetDetail); -1 when either has none.
float DetailScore(const EditDescriptor& from, const float* targetDetail, int orientation,
                  const CropWindow& window) {
  float grid[kSampleSide * kSampleSide], turned[kSampleSide * kSampleSide];
  float detail[kSampleSide * kSampleSide];
  if (targetDetail == nullptr || !SampleWindow(from, window, grid)) return -1;
  OrientGrid(grid, kSampleSide, Orientations()[orientation], turned);
  if (!Detail(turned, detail)) return -1;
  return Correlation(detail, targetDetail);
}

bool IsCrop(const CropWindow& window) {
  return std::max({window.left, window.right, window.top, window.bottom}) > kCropLimit;
}

// Moves the window's edges by ever smaller steps while the correlation with target
// (unturned) grows. Per step, each move (an edge in or out) is tried at most once on
// each window the fit passes through, and not right after the move it would undo.
void FitWindow(const WindowSampler& sampler, const float* target, EditFit* fit) {
  constexpr int kMoves = 8;  // move m: edge m / 2, outwards when m is even
  for (float step : {0.04f, 0.02f, 0.01f}) {
    int triedOn[kMoves];  // the window (counted from 0) each move was last tried on
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
}

// ConfirmEdit with the sample of from's start window at hand (null when it is flat) and
// a sampler of from.
bool ConfirmFromSample(const EditDescriptor& from, const WindowSampler& sampler,
                       const float* startSample, const EditDescriptor& to, int orientation,
                       const CropWindow& start, EditFit* fit) {
  float target[kSampleSide * kSampleSide], targetDetail[kSampleSide * kSampleSide];
  if (!SampleWindow(to, CropWindow(), target)) return false;
  fit->window = start;
  fit->correlation = -1;
  fit->detail = -1;
  if (startSample == nullptr) return false;
  float turned[kSampleSide * kSampleSide], detail[kSampleSide * kSampleSide];
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
  float targetBack[kSampleSide * kSampleSide];
  OrientGrid(target, kSampleSide, Orientations()[InverseOrientation(orientation)], targetBack);
  FitWindow(sampler, targetBack, fit);
  if (fit->correlation < kAcceptCorrelation) return false;
  fit->detail = DetailScore(from, detailOfTo, orientation, fit->window);
  return fit->detail >= kAcceptDetail;
}

constexpr int kCells = kSampleSide * kSampleSide;

// The samples of a picture's windows and their detail, made when first asked for.
class WindowSamples {
 public:
  void Reset(const EditDescriptor* picture) {
    m_Sampler.Reset(*picture);
    std::fill(std::begin(m_State), std::end(m_State), kUnmade);
  }
  // The sample of the window, null when it is flat.
  const float* Of(int window) {
    Make(window);
    return m_State[window] != kFlat ? m_Grids[window] : nullptr;
  }
  // The detail of the window's sample, null when it has none.
  const float* DetailOf(int window) {
    Make(window);
    return m_State[window] == kWithDetail ? m_Details[window] : nullptr;
  }
  const WindowSampler& Sampler() const { return m_Sampler; }

 private:
  enum State : uint8_t { kUnmade, kFlat, kMade, kWithDetail };
  void Make(int window) {
    if (m_State[window] != kUnmade) return;
    m_State[window] = !m_Sampler.Sample(WindowAt(window), m_Grids[window]) ? kFlat
                      : Detail(m_Grids[window], m_Details[window])         ? kWithDetail
                                                                           : kMade;
  }
  WindowSampler m_Sampler;
  State m_State[kWindowCount] = {};
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
  float sum = 0;
  for (int i = 0; i < kCells; ++i) sum += turned[i] * target[i];
  return sum / (kTargetScale * kCells);
}

// Confirms the candidate of picture a; true with the match filled in. Candidates whose
// start window is clearly below the floors are turned away on the kept targets first.
bool Confirm(const std::vector<const EditDescriptor*>& descriptors,
             const std::vector<FrameTarget>& targets, int32_t a, WindowSamples& samples,
             const Candidate& candidate, EditMatch* match) {
  const FrameTarget& target = targets[static_cast<size_t>(candidate.other)];
  const float* sample = samples.Of(candidate.window);
  const float* detail = samples.DetailOf(candidate.window);
  if (!target.usable || detail == nullptr ||
      TargetCorrelation(sample, candidate.orientation, target.grid) <
          kFloorCorrelation - kTargetSlack ||
      TargetCorrelation(detail, candidate.orientation, target.detail) <
          kFloorDetail - kTargetSlack) {
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
  float sample[kSampleSide * kSampleSide];
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
    std::vector<Candidate> found;
    for (int32_t first; !stop && (first = next.fetch_add(kChunk)) < count;) {
      for (int32_t a = first; a < std::min(count, first + kChunk); ++a) {
        if (!Usable(descriptors[static_cast<size_t>(a)])) continue;
        EditMatch match;
        samples->Reset(descriptors[static_cast<size_t>(a)]);
        for (const Candidate& candidate : CandidatesOf(descriptors, index, a, found)) {
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
