// The region finder of the local values: region growing on one colour mask, and the
// numbers of the best region. Part of one build of the signature computation (see
// EntryPoints.h); LocalValues.cpp, the one source that includes it, uses it. Its names have
// internal linkage, so that the compiler inlines and specialises the finder's helpers
// freely. One finder serves one thread.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "signature/compute/Features.h"

namespace gq::GQ_SIGNATURE_VARIANT {
namespace {

// Widths of the region finder's numbers. Thumbnails (sides up to 253) use the small set:
// 16-bit slots and cells (the grid with its border has at most 65,025 cells) and 32-bit
// unsigned sums of mask values (at most 255 * 64,009), so the working set stays in the
// first-level cache. Anything larger uses the wide set.
struct SmallWidths {
  using Index = int16_t;  // slot of a set of regions, -1 for none
  using Cell = uint16_t;  // place in the bordered grid
  using Sum = uint32_t;
  static bool Fits(int w, int h) { return w <= 253 && h <= 253; }
};
struct WideWidths {
  using Index = int32_t;
  using Cell = uint32_t;
  using Sum = int64_t;
};

// One set of merged colour regions, kept in the slot of one of its regions. `name` is
// the region number the set goes by under the rules (the region the others were merged
// into). A slot whose set moved elsewhere has count 0 and names the slot it moved into.
// The place and the bounding box are not kept while regions grow: they are found from
// the grid for the best set alone, and the borders a set touches from the grid's edges.
template <typename Widths>
struct Region {
  using Sum = typename Widths::Sum;
  using Cell = typename Widths::Cell;
  int32_t name;
  int32_t count;
  Sum sum;
  Cell first;       // first grid cell of the set's pixel list
  int32_t movedTo;  // for a slot of count 0: where its set went
};

// What the local values are made of: the best set's numbers.
struct BestRegion {
  int64_t count = 0;
  int64_t sum = 0;
  int64_t sumX = 0;                    // sum of column * mask value
  int64_t sumY = 0;                    // sum of row * mask value
  int c0 = 0, c1 = 0, r0 = 0, r1 = 0;  // bounding box
};

// Keys of the pixels of value 0 in the region finder: the one set a pixel's neighbours
// but the right one belong to, -1 for none, or one of these.
constexpr int kMixed = -2;    // neighbours in several sets
constexpr int kBlocked = -3;  // not a pixel of value 0

// The key of each pixel of a row: kBlocked for a pixel above 0, else the one slot that
// its neighbours but the right one hold in the grid rows up, mid and down (-1 for none),
// kMixed when they hold several. Plain arithmetic so that it vectorises.
template <typename Index>
void RowKeys(const uint8_t* __restrict row, const Index* __restrict up, const Index* mid,
             const Index* __restrict down, int w, Index* __restrict out) {
  using Unsigned = std::make_unsigned_t<Index>;  // -1 becomes the largest value
  auto u = [](Index n) { return static_cast<Unsigned>(n); };
  for (int x = 0; x < w; ++x) {
    const Index largest =
        std::max(std::max(std::max(up[x - 1], up[x]), std::max(up[x + 1], mid[x - 1])),
                 std::max(std::max(down[x - 1], down[x]), down[x + 1]));
    const Unsigned smallest =
        std::min(std::min(std::min(u(up[x - 1]), u(up[x])), std::min(u(up[x + 1]), u(mid[x - 1]))),
                 std::min(std::min(u(down[x - 1]), u(down[x])), u(down[x + 1])));
    const Index sole = largest < 0 || u(largest) == smallest ? largest : Index{kMixed};
    out[x] = row[x] != 0 ? Index{kBlocked} : sole;
  }
}

// Region growing on one colour mask, in descending mask value (larger pixel index first
// among equal values), and the choice of the best region. Buffers are reused between
// the six colours of one signature.
//
// The grid holds for each pixel the slot of the set it belongs to. A merge moves the set
// with fewer pixels into the slot of the other and rewrites the grid cells of its pixels,
// found through a list linked through the cells; every pixel is moved at most log2(N)
// times. So the neighbours' sets are read straight from the grid.
//
// The pixels of value 0 come last and in descending index order, that is row by row
// from the bottom, each row from the right: they are visited by a scan of the mask, and
// only the others are sorted.
template <typename Widths>
class RegionFinder {
 public:
  using Index = typename Widths::Index;
  using Cell = typename Widths::Cell;
  using Sum = typename Widths::Sum;

  RegionFinder(int w, int h)
      : m_w(w),
        m_h(h),
        m_n(static_cast<int64_t>(w) * h),
        m_gridWidth(w + 2),
        m_maxRegions(static_cast<int>((static_cast<int64_t>(w) + 1) * (h + 1) / 4)),
        m_gridSize(static_cast<size_t>(w + 2) * (h + 2)),
        m_grid(new Index[m_gridSize + kGridSlack]),
        m_next(new Cell[m_gridSize]),
        m_key(new Index[static_cast<size_t>(w) + kKeyPad]),
        m_zeros(new uint64_t[static_cast<size_t>(w + 63) / 64]),
        m_nextSameValue(new Cell[m_gridSize]),
        m_regions(new Region<Widths>[static_cast<size_t>(m_maxRegions)]),
        m_touches(new uint8_t[static_cast<size_t>(m_maxRegions)]) {
    std::fill(m_key.get(), m_key.get() + kKeyPad, Index{kBlocked});
  }

  // Finds the best region of the mask (w * h values, then at least 64 zeros up to a
  // multiple of 16); false when no region scores above 0.
  bool Find(const uint8_t* mask, BestRegion* best) {
    int largest = 0;
    for (int64_t i = 0; i < m_n; ++i) largest = std::max<int>(largest, mask[i]);
    // Without any mask value every region has sum 0, and a score of 0 never wins.
    if (largest == 0) return false;
    m_joinMean = 16 * largest / 100;
    m_joinPixel = 22 * largest / 100;
    Cell lower[256], upper[256];
    LinkByValue(mask, lower, upper);
    std::fill(m_grid.get(), m_grid.get() + m_gridSize + kGridSlack, Index{-1});
    m_count = 0;
    for (int v = largest; v > 0; --v) {
      for (Cell cell = lower[v]; cell != kEnd; cell = m_nextSameValue[cell]) Add(cell, v);
      for (Cell cell = upper[v]; cell != kEnd; cell = m_nextSameValue[cell]) Add(cell, v);
    }
    for (int y = m_h - 1; y >= 0; --y) ScanZeroRow(mask + static_cast<size_t>(y) * m_w, y);
    const int slot = Best();
    if (slot < 0) return false;
    Describe(slot, mask, best);
    return true;
  }

 private:
  // Links the grid cells of the pixels above 0 into lists by value, in descending index
  // order: the pixels of the lower half of the picture (the larger indexes) from lower[v],
  // the upper half's from upper[v]; m_nextSameValue[cell] is the cell after, kEnd after
  // the last. The two halves are linked side by side, so that a run of one value does not
  // make every step wait for the one before. Rows are read in blocks of 64 values.
  void LinkByValue(const uint8_t* mask, Cell* lower, Cell* upper) {
    std::fill(lower, lower + 256, kEnd);
    std::fill(upper, upper + 256, kEnd);
    auto link = [&](int y, Cell* head) {
      const uint8_t* row = mask + static_cast<ptrdiff_t>(y) * m_w;
      const int rowCell = (y + 1) * m_gridWidth + 1;
      for (int x0 = 0; x0 < m_w; x0 += 64) {
        uint64_t bits = NonZero64(row + x0);
        if (m_w - x0 < 64) bits &= (uint64_t{1} << (m_w - x0)) - 1;
        for (; bits != 0; bits &= bits - 1) {
          const int x = x0 + std::countr_zero(bits);
          Cell& h = head[row[x]];
          m_nextSameValue[rowCell + x] = h;
          h = static_cast<Cell>(rowCell + x);
        }
      }
    };
    const int middle = m_h / 2;
    for (int k = 0; k < m_h - middle; ++k) {
      if (k < middle) link(k, upper);
      link(middle + k, lower);
    }
  }

  // Bit k set when mask[k] is above 0, k < 64.
  static uint64_t NonZero64(const uint8_t* mask) {
    return NonZero16(mask) | uint64_t{NonZero16(mask + 16)} << 16 |
           uint64_t{NonZero16(mask + 32)} << 32 | uint64_t{NonZero16(mask + 48)} << 48;
  }

  // Bit k set when mask[k] is above 0, k < 16.
  static unsigned NonZero16(const uint8_t* mask) {
#if defined(__SSE2__)
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask));
    return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(values, _mm_setzero_si128()))) &
           0xFFFFu;
#else
    unsigned bits = 0;
    for (int k = 0; k < 16; ++k) bits |= static_cast<unsigned>(mask[k] != 0) << k;
    return bits;
#endif
  }

  // Visits the pixels of value 0 of one row, from the right. A pixel whose neighbours
  // know no set but the one its right neighbour was just added to joins that set as
  // well: the set's mean can only have fallen since, so it is within reach, and the
  // pixel adds only to the count and widens the box to the left. Such runs are found
  // eight pixels at a time and counted into the set at their end.
  void ScanZeroRow(const uint8_t* row, int y) {
    uint64_t* zeros = m_zeros.get();
    if (!FindZeros(row, zeros)) return;
    const int rowCell = (y + 1) * m_gridWidth + 1;
    Index* key = m_key.get() + kKeyPad;
    FindRowKeys(row, rowCell, key);
    for (int x = LastZero(zeros, m_w - 1); x >= 0; x = LastZero(zeros, x)) {
      const int start = rowCell + x;
      const int slot = StartZeroRun(start, key[x]);
      --x;
      if (slot < 0) continue;
      const int run = ExtendRun(key, rowCell, x, static_cast<Index>(slot));
      if (run == 0) continue;
      x -= run;
      Region<Widths>& region = m_regions[slot];
      region.count += run;
      region.first = static_cast<Cell>(start - run);
    }
  }

  // Bit x of the words at zeros set for each pixel of value 0 in the row; false when
  // there is none. Reads whole blocks of 64 values (the mask has zeros behind its end).
  bool FindZeros(const uint8_t* row, uint64_t* zeros) const {
    uint64_t any = 0;
    for (int x0 = 0, word = 0; x0 < m_w; x0 += 64, ++word) {
      uint64_t bits = ~NonZero64(row + x0);
      if (m_w - x0 < 64) bits &= (uint64_t{1} << (m_w - x0)) - 1;
      zeros[word] = bits;
      any |= bits;
    }
    return any != 0;
  }

  // The column of the last pixel of value 0 at or left of column x, -1 for none.
  static int LastZero(const uint64_t* zeros, int x) {
    if (x < 0) return -1;
    int word = x >> 6;
    uint64_t bits = zeros[word] & (~uint64_t{0} >> (63 - (x & 63)));
    while (bits == 0) {
      if (--word < 0) return -1;
      bits = zeros[word];
    }
    return 64 * word + 63 - std::countl_zero(bits);
  }

  // The key of each pixel of the row starting at rowCell (see RowKeys). The neighbours
  // but the right one keep their sets while the row is visited but for merges (see
  // Live): the rows above and below and the left neighbour are either visited already or
  // wait with no set.
  void FindRowKeys(const uint8_t* row, int rowCell, Index* out) {
    const Index* mid = m_grid.get() + rowCell;
    RowKeys(row, mid - m_gridWidth, mid, mid + m_gridWidth, m_w, out);
  }

  // The slot a set now lives in, for a slot read before merges moved it (-1 stays -1).
  int Live(int slot) const {
    while (slot >= 0 && m_regions[slot].count == 0) slot = m_regions[slot].movedTo;
    return slot;
  }

  // Visits the first pixel of value 0 of a run, whose key is `key`. Without several sets
  // around it, the set of its right neighbour or of its key is the candidate; with
  // several, the rules choose among the neighbours.
  int StartZeroRun(int cell, int key) {
    if (key == kMixed) return Place<true>(Choose(cell, 0), cell, 0);
    const int a = Live(key), b = m_grid[cell + 1];
    if (a >= 0 && b >= 0 && a != b) return Place<true>(Choose(cell, 0), cell, 0);
    return Place<true>(std::max(a, b), cell, 0);
  }

  // How many pixels from x leftwards continue the run of the set in `slot`: their keys
  // are `slot` or -1. Their grid cells are set to `slot` and linked into a list that
  // ends at the run's first pixel (x + 1).
  int ExtendRun(const Index* key, int rowCell, int x, Index slot) {
    Index* grid = m_grid.get() + rowCell;
    Cell* next = m_next.get() + rowCell;
#if defined(__SSE2__)
    if constexpr (sizeof(Index) == 2) {
      const __m128i wanted = _mm_set1_epi16(slot), none = _mm_set1_epi16(-1);
      const __m128i lanes = _mm_setr_epi16(1, 2, 3, 4, 5, 6, 7, 8);
      int run = 0;
      for (;;) {
        // Lanes x - run - 7 ... x - run; the padding left of the row is kBlocked.
        const int low = x - run - 7;
        const __m128i keys = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key + low));
        const unsigned ok = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi16(keys, wanted), _mm_cmpeq_epi16(keys, none))));
        if (ok == 0xFFFFu) {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(grid + low), wanted);
          _mm_storeu_si128(
              reinterpret_cast<__m128i*>(next + low),
              _mm_add_epi16(_mm_set1_epi16(static_cast<int16_t>(rowCell + low)), lanes));
          run += 8;
          continue;
        }
        const int more = __builtin_clz(~ok << 16) / 2;  // passing lanes from the top
        for (int i = 0; i < more; ++i) {
          grid[x - run - i] = slot;
          next[x - run - i] = static_cast<Cell>(rowCell + x - run - i + 1);
        }
        return run + more;
      }
    }
#endif
    int run = 0;
    for (; x - run >= 0 && (key[x - run] == slot || key[x - run] == -1); ++run) {
      grid[x - run] = slot;
      next[x - run] = static_cast<Cell>(rowCell + x - run + 1);
    }
    return run;
  }

  // Merges the set in slot `from` into the set in slot `into`: the result carries the
  // name of `into`. Returns the slot the merged set lives in.
  int Merge(int from, int into) {
    const int name = m_regions[into].name;
    int keep = into, move = from;
    if (m_regions[from].count > m_regions[into].count) std::swap(keep, move);
    Region<Widths>& a = m_regions[move];
    Region<Widths>& b = m_regions[keep];
    b.count += a.count;
    b.sum += a.sum;
    b.name = name;
    Cell last = a.first;
    for (Cell cell = a.first; cell != 0; cell = m_next[cell]) {
      m_grid[cell] = static_cast<Index>(keep);
      last = cell;
    }
    m_next[last] = b.first;
    b.first = a.first;
    a.count = 0;
    a.movedTo = keep;
    return keep;
  }

  // The candidate slot of a pixel whose neighbours lie in more than one set: the rules
  // applied to the neighbours in order. The grid is read afresh for each neighbour, as a
  // merge may have moved its set.
  int Choose(int cell, int v) {
    const int above = -m_gridWidth, below = m_gridWidth;
    const int offsets[8] = {above - 1, above, above + 1, -1, 1, below - 1, below, below + 1};
    // Only the candidate's mean is divided out; the neighbour's is compared with it by
    // multiplications (see Near).
    int r = -1, meanR = 0;
    for (int k = 0; k < 8; ++k) {
      const int s = m_grid[cell + offsets[k]];
      // A neighbour in the current candidate changes nothing.
      if (s < 0 || s == r) continue;
      const Region<Widths>& rs = m_regions[s];
      if (r < 0) {
        r = s;
        meanR = Mean(rs);
        continue;
      }
      if (Near(rs, meanR, m_joinMean)) {
        r = Merge(r, s);
        meanR = Mean(m_regions[r]);
        continue;
      }
      // s becomes the candidate when its mean is closer to the value (less than
      // |v - meanR| away), or else when its sum is larger.
      if (Near(rs, v, std::abs(v - meanR) - 1) || rs.sum > m_regions[r].sum) {
        r = s;
        meanR = Mean(rs);
      }
    }
    return r;
  }

  // Over the eight cells read one by one (not as a vector load, which would wait for the
  // scalar stores that just wrote them), as balanced trees.
  static int Largest(const int* n) {
    return std::max(std::max(std::max(n[0], n[1]), std::max(n[2], n[3])),
                    std::max(std::max(n[4], n[5]), std::max(n[6], n[7])));
  }
  static unsigned SmallestPresent(const int* n) {
    auto u = [n](int k) { return static_cast<unsigned>(n[k]); };
    return std::min(std::min(std::min(u(0), u(1)), std::min(u(2), u(3))),
                    std::min(std::min(u(4), u(5)), std::min(u(6), u(7))));
  }

  static int Mean(const Region<Widths>& g) {
    return static_cast<int>(g.sum / static_cast<Sum>(g.count));
  }

  // |v - sum / count| <= limit (never for a limit below 0), without waiting for a
  // division. v and limit are at most 255: the small set's products stay below
  // 511 * 64,009 < 2^31.
  static bool Near(const Region<Widths>& g, int v, int limit) {
    using Wide = std::conditional_t<sizeof(Sum) == 4, int32_t, int64_t>;
    const Wide count = g.count, sum = static_cast<Wide>(g.sum);
    return (v - limit) * count <= sum && sum < (v + limit + 1) * count;
  }

  // Visits one pixel above 0.
  void Add(int cell, int v) {
    const Index* g = m_grid.get() + cell;
    const int above = -m_gridWidth, below = m_gridWidth;
    const int sets[8] = {g[above - 1], g[above],     g[above + 1], g[-1],
                         g[1],         g[below - 1], g[below],     g[below + 1]};
    // The largest slot and the smallest present one (-1 turns into the largest unsigned
    // value) tell whether the neighbours belong to none, one or several sets.
    int r = Largest(sets);
    if (r >= 0 && static_cast<unsigned>(r) != SmallestPresent(sets)) [[unlikely]]
      r = Choose(cell, v);
    Place<false>(r, cell, v);
  }

  // Adds the pixel to the set in slot r (-1 for none) when its value is near enough,
  // else starts a region from it while there is room. Returns the slot the pixel was
  // added to, or -1 for none. kZero for the pixels of value 0, whose joins leave the sum
  // alone (a separate copy measured faster than adding 0).
  template <bool kZero>
  int Place(int r, int cell, int v) {
    if (r >= 0) [[likely]] {
      Region<Widths>& region = m_regions[r];
      if (Near(region, v, m_joinPixel)) [[likely]] {
        ++region.count;
        if constexpr (!kZero) region.sum += static_cast<Sum>(v);
        m_next[cell] = region.first;
        region.first = static_cast<Cell>(cell);
        m_grid[cell] = static_cast<Index>(r);
        return r;
      }
    }
    if (m_count < m_maxRegions) {
      const int id = m_count++;
      m_regions[id] = Region<Widths>{id, 1, static_cast<Sum>(v), static_cast<Cell>(cell), -1};
      m_next[cell] = 0;
      m_grid[cell] = static_cast<Index>(id);
      return id;
    }
    return -1;
  }

  // The best set: the highest score, and among equal scores the set with the largest
  // name (regions are scanned from the last created to the first and only a strictly
  // greater score replaces the best). A score of 0 never wins.
  int Best() {
    static constexpr int64_t kSmallFactor[5] = {0, 1, 2, 4, 6};
    FindTouches();
    int best = -1, bestName = -1;
    int64_t bestScore = 0;
    for (int slot = 0; slot < m_count; ++slot) {
      const Region<Widths>& g = m_regions[slot];
      if (g.count == 0) continue;
      int64_t score = Mean(g);
      if (g.count <= 4) score = (score * kSmallFactor[g.count]) >> 3;
      if (g.count > m_n / 2) {
        score >>= 5;
      } else if (g.count > m_n / 4) {
        score >>= 3;
      }
      score >>= std::popcount(m_touches[slot]);  // halved for each border touched
      if (score > bestScore || (score == bestScore && score > 0 && g.name > bestName)) {
        bestScore = score;
        bestName = g.name;
        best = slot;
      }
    }
    return best;
  }

  // Which borders each set touches: a bit each for the first row, the last row, the first
  // column and the last column. A one-pixel-wide picture touches both side borders.
  void FindTouches() {
    std::fill(m_touches.get(), m_touches.get() + m_count, uint8_t{0});
    const Index* top = m_grid.get() + m_gridWidth + 1;
    const Index* bottom = top + static_cast<ptrdiff_t>(m_h - 1) * m_gridWidth;
    for (int x = 0; x < m_w; ++x) {
      if (top[x] >= 0) m_touches[top[x]] |= 1;
      if (bottom[x] >= 0) m_touches[bottom[x]] |= 2;
    }
    for (int y = 0; y < m_h; ++y) {
      const Index* row = top + static_cast<ptrdiff_t>(y) * m_gridWidth;
      if (row[0] >= 0) m_touches[row[0]] |= 4;
      if (row[m_w - 1] >= 0) m_touches[row[m_w - 1]] |= 8;
    }
  }

  // The place and the bounding box of the set in `slot`, from the grid cells that hold it.
  void Describe(int slot, const uint8_t* mask, BestRegion* out) const {
    const Region<Widths>& g = m_regions[slot];
    BestRegion d;
    d.count = g.count;
    d.sum = static_cast<int64_t>(g.sum);
    d.c0 = m_w;
    d.r0 = m_h;
    d.c1 = d.r1 = -1;
    for (int y = 0; y < m_h; ++y) {
      const Index* row = m_grid.get() + (y + 1) * m_gridWidth + 1;
      const uint8_t* values = mask + static_cast<ptrdiff_t>(y) * m_w;
      int64_t rowSum = 0, rowSumX = 0;
      int first = m_w, last = -1;
      DescribeRow(row, values, static_cast<Index>(slot), &rowSum, &rowSumX, &first, &last);
      if (last < 0) continue;
      d.sumX += rowSumX;
      d.sumY += static_cast<int64_t>(y) * rowSum;
      d.c0 = std::min(d.c0, first);
      d.c1 = std::max(d.c1, last);
      d.r0 = std::min(d.r0, y);
      d.r1 = y;
    }
    *out = d;
  }

  // Over the cells of one row that hold `slot`: the sum of their mask values and of column
  // times value, and the first and last such column. The small set takes eight cells at a
  // time, reading up to seven values past the row (the mask has zeros behind its end).
  void DescribeRow(const Index* row, const uint8_t* values, Index slot, int64_t* sum, int64_t* sumX,
                   int* first, int* last) const {
    int x = 0;
#if defined(__SSE2__)
    if constexpr (sizeof(Index) == 2) {
      const __m128i wanted = _mm_set1_epi16(slot), zero = _mm_setzero_si128();
      const __m128i lanes = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7), ones = _mm_set1_epi16(1);
      __m128i sums = zero, sumsX = zero;  // 32-bit lanes: at most 253 * 255 * 253 a row
      for (; x < m_w; x += 8) {
        const __m128i cells = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        const __m128i inRow = _mm_cmpgt_epi16(_mm_set1_epi16(static_cast<int16_t>(m_w - x)), lanes);
        const __m128i hit = _mm_and_si128(_mm_cmpeq_epi16(cells, wanted), inRow);
        const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (bits == 0) continue;
        const __m128i v = _mm_and_si128(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(values + x)), zero),
            hit);
        sums = _mm_add_epi32(sums, _mm_madd_epi16(v, ones));
        sumsX = _mm_add_epi32(
            sumsX,
            _mm_madd_epi16(v, _mm_add_epi16(lanes, _mm_set1_epi16(static_cast<int16_t>(x)))));
        *first = std::min(*first, x + std::countr_zero(bits) / 2);
        *last = x + (31 - std::countl_zero(bits)) / 2;
      }
      alignas(16) int32_t parts[4], partsX[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(parts), sums);
      _mm_store_si128(reinterpret_cast<__m128i*>(partsX), sumsX);
      for (int k = 0; k < 4; ++k) {
        *sum += parts[k];
        *sumX += partsX[k];
      }
      return;
    }
#endif
    for (; x < m_w; ++x) {
      if (row[x] != slot) continue;
      *sum += values[x];
      *sumX += static_cast<int64_t>(x) * values[x];
      *first = std::min(*first, x);
      *last = x;
    }
  }

  static constexpr Cell kEnd = static_cast<Cell>(-1);  // above every grid cell
  static constexpr int kKeyPad = 8;                    // kBlocked keys left of the row
  // Cells behind the grid: DescribeRow reads eight cells at a time, past the last row's
  // end on pictures narrower than 6 pixels.
  static constexpr int kGridSlack = 8;

  const int m_w, m_h;
  const int64_t m_n;
  const int m_gridWidth;  // the grid has a border of -1 around the picture
  const int m_maxRegions;
  int m_joinMean = 0;   // Tm: regions whose means differ by at most this merge
  int m_joinPixel = 0;  // Tj: a pixel joins a region whose mean is at most this far
  const size_t m_gridSize;
  // The buffers are left unset when allocated: every entry is written before it is read.
  std::unique_ptr<Index[]> m_grid;              // slot of the set of each pixel, -1 for none
  std::unique_ptr<Cell[]> m_next;               // the next pixel of the same set, 0 for the last
  std::unique_ptr<Index[]> m_key;               // per column of the row being visited: FindRowKeys
  std::unique_ptr<uint64_t[]> m_zeros;          // pixels of value 0 of the row being visited
  std::unique_ptr<Cell[]> m_nextSameValue;      // by cell: LinkByValue
  std::unique_ptr<Region<Widths>[]> m_regions;  // by slot; slot = region number at creation
  std::unique_ptr<uint8_t[]> m_touches;         // by slot: FindTouches
  int m_count = 0;                              // region numbers given out so far
};

}  // namespace
}  // namespace gq::GQ_SIGNATURE_VARIANT
