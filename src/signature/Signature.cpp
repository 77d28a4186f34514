#include "signature/Signature.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "signature/PackedImage.h"

namespace gq {
namespace {

constexpr double kScale = 32767.0;

int16_t Scaled(double fraction) { return static_cast<int16_t>(fraction * kScale); }

// The colour conversion of a run of pixels in three passes that each run on vector
// lanes: the order of the channels, the quotient f, the hue code. f = (middle - smallest)
// * 255 / (largest - smallest) is computed in single precision: the quotient of two exact
// integers below 2^16 lies at least 1/255 below the next integer, far more than the
// rounding error, so truncation gives the integer quotient.
constexpr int kColourChunk = 256;

#define GQ_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))

// The case 4 [R < G] + 2 [G < B] + [B < R] names which channel is largest, middle and
// smallest; ties fall into the case the strict comparisons select. Case 0 is grey.
GQ_VECTOR_CLONES void OrderChannels(const uint8_t* __restrict p, int n, uint16_t* __restrict num,
                                    uint8_t* __restrict den, uint8_t* __restrict which,
                                    uint8_t* __restrict chroma, uint8_t* __restrict white) {
  for (int x = 0; x < n; ++x) {
    const int b = p[3 * x], g = p[3 * x + 1], r = p[3 * x + 2];
    const int largest = std::max(b, std::max(g, r));
    const int smallest = std::min(b, std::min(g, r));
    const int middle = b + g + r - largest - smallest;
    const int range = largest - smallest;
    num[x] = static_cast<uint16_t>((middle - smallest) * 255);
    den[x] = static_cast<uint8_t>(std::max(range, 1));
    which[x] = static_cast<uint8_t>(4 * (r < g) + 2 * (g < b) + (b < r));
    chroma[x] = static_cast<uint8_t>(std::min(255, range + (middle - smallest)));
    white[x] = static_cast<uint8_t>(smallest);
  }
}

GQ_VECTOR_CLONES void Quotients(const uint16_t* __restrict num, const uint8_t* __restrict den,
                                int n, int16_t* __restrict f) {
  for (int x = 0; x < n; ++x)
    f[x] = static_cast<int16_t>(static_cast<int>(static_cast<float>(num[x]) / static_cast<float>(den[x])));
}

// The case gives the hue base (256 times the sextant, plus 255 where f runs backwards).
GQ_VECTOR_CLONES void HueCodes(const uint8_t* __restrict which, const int16_t* __restrict f,
                               int n, uint8_t* __restrict hue) {
  for (int x = 0; x < n; ++x) {
    const int c = which[x];
    const int base = (c == 1) * (3 * 256) + (c == 2) * (1 * 256) + (c == 3) * (2 * 256 + 255) +
                     (c == 4) * (5 * 256) + (c == 5) * (4 * 256 + 255) +
                     (c == 6) * (0 * 256 + 255);
    const int backwards = (c == 3) | (c == 5) | (c == 6);
    const int code = (base + f[x] - 2 * backwards * f[x]) >> 3;
    hue[x] = static_cast<uint8_t>(code | ((c == 0) * 255));
  }
}

GQ_VECTOR_CLONES void GreyValues(const uint8_t* __restrict p, int n, uint8_t* __restrict grey) {
  for (int x = 0; x < n; ++x)
    grey[x] = static_cast<uint8_t>((p[3 * x] + 2 * p[3 * x + 1] + p[3 * x + 2]) >> 2);
}

// The thumbnail split into the three per-pixel channels the features use.
struct Channels {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> grey;    // (B + 2G + R) >> 2
  std::vector<uint8_t> hue;     // hue code or 255
  std::vector<uint8_t> chroma;  // 0-255
  std::vector<uint8_t> white;   // smallest channel
};

void SplitChannels(int w, int h, const uint8_t* pixels, Channels* out) {
  const size_t n = static_cast<size_t>(w) * h;
  out->width = w;
  out->height = h;
  out->grey.resize(n);
  out->hue.resize(n);
  out->chroma.resize(n);
  out->white.resize(n);
  const int stride = PackedStride(w);
  for (int y = 0; y < h; ++y) {
    const size_t i = static_cast<size_t>(y) * w;
    const uint8_t* row = pixels + static_cast<ptrdiff_t>(y) * stride;
    GreyValues(row, w, out->grey.data() + i);
    ConvertColours(row, w, out->hue.data() + i, out->chroma.data() + i, out->white.data() + i);
  }
}

// Sums over the pixels of one cell of the coarse grid: each channel above the pixel's
// smallest channel, and R + 2G + B.
struct CellSums {
  int64_t b = 0, g = 0, r = 0, y = 0;
};

// Adds n packed pixels to the sums, in pieces whose sums fit 32-bit lanes.
GQ_VECTOR_CLONES void AddToCell(const uint8_t* __restrict p, int n, CellSums* sums) {
  constexpr int kPiece = 1 << 20;  // 1020 * 2^20 < 2^31
  for (int done = 0; done < n; done += kPiece) {
    const int end = std::min(n, done + kPiece);
    int32_t b = 0, g = 0, r = 0, y = 0;
    for (int x = done; x < end; ++x) {
      const int pb = p[3 * x], pg = p[3 * x + 1], pr = p[3 * x + 2];
      const int m = std::min(pb, std::min(pg, pr));
      b += pb - m;
      g += pg - m;
      r += pr - m;
      y += pr + 2 * pg + pb;
    }
    sums->b += b;
    sums->g += g;
    sums->r += r;
    sums->y += y;
  }
}

// Values 0-35: colour, saturation and brightness of the nine cells of a 3 x 3 grid.
void CoarseValues(int w, int h, const uint8_t* pixels, int16_t* sig) {
  const int columns[4] = {0, w / 3, 2 * w / 3, w};
  const int rows[4] = {0, h / 3, 2 * h / 3, h};
  const int stride = PackedStride(w);
  for (int cy = 0; cy < 3; ++cy) {
    for (int cx = 0; cx < 3; ++cx) {
      int16_t* cell = sig + kSigCoarse + 4 * (3 * cy + cx);
      const int64_t n =
          static_cast<int64_t>(columns[cx + 1] - columns[cx]) * (rows[cy + 1] - rows[cy]);
      if (n <= 0) {
        std::fill(cell, cell + 4, int16_t{0});
        continue;
      }
      CellSums sums;
      for (int y = rows[cy]; y < rows[cy + 1]; ++y) {
        const uint8_t* p = pixels + static_cast<ptrdiff_t>(y) * stride + 3 * columns[cx];
        AddToCell(p, columns[cx + 1] - columns[cx], &sums);
      }
      const int64_t sB = sums.b, sG = sums.g, sR = sums.r;
      const uint64_t sY = static_cast<uint64_t>(sums.y);
      const double v = static_cast<double>(sB - sR) * std::sqrt(1.0 / 2.0);
      const double u = static_cast<double>(sB - 2 * sG + sR) * std::sqrt(1.0 / 6.0);
      const double s = static_cast<double>(sB + sG + sR) * std::sqrt(1.0 / 3.0) /
                       (765.0 * static_cast<double>(n));
      if (u == 0.0 && v == 0.0) {
        cell[0] = 0;
        cell[1] = 0;
      } else {
        const double length = std::sqrt(u * u + v * v);
        cell[0] = Scaled(v * s / length);
        cell[1] = Scaled(u * s / length);
      }
      cell[2] = Scaled(s);
      cell[3] = static_cast<int16_t>(sY * 32 / static_cast<uint64_t>(n));
    }
  }
}

// Adds the absolute differences of the 2 x 2 neighbourhoods with top-left corners
// a[0 .. n-1] (b is the row below), in pieces whose sums fit 32-bit lanes.
GQ_VECTOR_CLONES void RowContrast(const uint8_t* __restrict a, const uint8_t* __restrict b,
                                  int n, uint64_t* horizontal, uint64_t* vertical,
                                  uint64_t* anti, uint64_t* diagonal) {
  constexpr int kPiece = 1 << 20;  // 255 * 2^20 < 2^31
  for (int done = 0; done < n; done += kPiece) {
    const int end = std::min(n, done + kPiece);
    int32_t h = 0, v = 0, an = 0, d = 0;
    for (int x = done; x < end; ++x) {
      h += std::abs(a[x + 1] - a[x]);
      v += std::abs(b[x] - a[x]);
      an += std::abs(a[x + 1] - b[x]);
      d += std::abs(a[x] - b[x + 1]);
    }
    *horizontal += static_cast<uint64_t>(h);
    *vertical += static_cast<uint64_t>(v);
    *anti += static_cast<uint64_t>(an);
    *diagonal += static_cast<uint64_t>(d);
  }
}

// Values 36-51: mean absolute neighbour differences on four halving levels of the
// grey image. The image is halved in place; a side below 2 pixels stops the content
// from changing, but the level size still halves.
void TextureValues(std::vector<uint8_t> grey, int w, int h, int16_t* sig) {
  int cw = w, ch = h;
  for (int level = 0; level < 4; ++level) {
    int16_t* out = sig + kSigTexture + 4 * level;
    if (cw < 2 || ch < 2) {
      std::fill(out, out + 4, int16_t{0});
    } else {
      uint64_t horizontal = 0, vertical = 0, anti = 0, diagonal = 0;
      for (int y = 0; y + 1 < ch; ++y) {
        const uint8_t* a = grey.data() + static_cast<size_t>(y) * cw;
        RowContrast(a, a + cw, cw - 1, &horizontal, &vertical, &anti, &diagonal);
      }
      // The sums times 32768 pass 32 bits on textured pictures: 64-bit unsigned.
      const uint64_t divisor = 255ull * static_cast<uint64_t>(cw - 1) * (ch - 1) + 1;
      out[0] = static_cast<int16_t>(horizontal * 32768 / divisor);
      out[1] = static_cast<int16_t>(vertical * 32768 / divisor);
      out[2] = static_cast<int16_t>(anti * 32768 / divisor);
      out[3] = static_cast<int16_t>(diagonal * 32768 / divisor);
    }
    if (level == 3) break;
    const int nw = cw / 2, nh = ch / 2;
    if (cw >= 2 && ch >= 2) {
      for (int y = 0; y < nh; ++y) {
        for (int x = 0; x < nw; ++x) {
          const uint8_t* a = grey.data() + static_cast<size_t>(2 * y) * cw + 2 * x;
          grey[static_cast<size_t>(y) * nw + x] =
              static_cast<uint8_t>((a[0] + a[1] + a[cw] + a[cw + 1]) >> 2);
        }
      }
    }
    cw = nw;
    ch = nh;
  }
}

struct LocalColour {
  int centre;
  int width;
};
constexpr LocalColour kLocalColourTable[kLocalColours] = {{92, 28}, {118, 20}, {160, 40},
                                                          {0, 16},  {24, 28},  {64, 28}};

// Widths of the region finder's numbers. Thumbnails (sides up to 253) use the small set:
// 16-bit slots and cells (the grid with its border has at most 65,025 cells) and 32-bit
// unsigned sums of mask values (at most 255 * 64,009), so the working set stays in the
// first-level cache. Anything larger uses the wide set.
struct SmallWidths {
  using Index = int16_t;   // slot of a set of regions, -1 for none
  using Cell = uint16_t;   // place in the bordered grid
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
  int64_t sumX = 0;  // sum of column * mask value
  int64_t sumY = 0;  // sum of row * mask value
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
[[gnu::always_inline]] inline void RowKeys(const uint8_t* __restrict row,
                                           const Index* __restrict up, const Index* mid,
                                           const Index* __restrict down, int w,
                                           Index* __restrict out) {
  using Unsigned = std::make_unsigned_t<Index>;  // -1 becomes the largest value
  auto u = [](Index n) { return static_cast<Unsigned>(n); };
  for (int x = 0; x < w; ++x) {
    const Index largest =
        std::max(std::max(std::max(up[x - 1], up[x]), std::max(up[x + 1], mid[x - 1])),
                 std::max(std::max(down[x - 1], down[x]), down[x + 1]));
    const Unsigned smallest = std::min(
        std::min(std::min(u(up[x - 1]), u(up[x])), std::min(u(up[x + 1]), u(mid[x - 1]))),
        std::min(std::min(u(down[x - 1]), u(down[x])), u(down[x + 1])));
    const Index sole = largest < 0 || u(largest) == smallest ? largest : Index{kMixed};
    out[x] = row[x] != 0 ? Index{kBlocked} : sole;
  }
}

GQ_VECTOR_CLONES void RowKeys16(const uint8_t* row, const int16_t* up, const int16_t* mid,
                                const int16_t* down, int w, int16_t* out) {
  RowKeys(row, up, mid, down, w, out);
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
      for (Cell cell = lower[v]; cell != kEnd; cell = m_nextSameValue[cell]) Add<false>(cell, v);
      for (Cell cell = upper[v]; cell != kEnd; cell = m_nextSameValue[cell]) Add<false>(cell, v);
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
        uint64_t bits = NonZero16(row + x0) | uint64_t{NonZero16(row + x0 + 16)} << 16 |
                        uint64_t{NonZero16(row + x0 + 32)} << 32 |
                        uint64_t{NonZero16(row + x0 + 48)} << 48;
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
    if (std::memchr(row, 0, static_cast<size_t>(m_w)) == nullptr) return;
    const int rowCell = (y + 1) * m_gridWidth + 1;
    Index* key = m_key.get() + kKeyPad;
    FindRowKeys(row, rowCell, key);
    int x = m_w - 1;
    while (x >= 0) {
      if (key[x] == kBlocked) {
        --x;
        continue;
      }
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

  // The key of each pixel of the row starting at rowCell (see RowKeys). The neighbours
  // but the right one keep their sets while the row is visited but for merges (see
  // Live): the rows above and below and the left neighbour are either visited already or
  // wait with no set.
  void FindRowKeys(const uint8_t* row, int rowCell, Index* out) {
    const Index* mid = m_grid.get() + rowCell;
    if constexpr (sizeof(Index) == 2) {
      RowKeys16(row, mid - m_gridWidth, mid, mid + m_gridWidth, m_w, out);
    } else {
      RowKeys(row, mid - m_gridWidth, mid, mid + m_gridWidth, m_w, out);
    }
  }

  // The slot a set now lives in, for a slot read before merges moved it (-1 stays -1).
  int Live(int slot) const {
    while (slot >= 0 && m_regions[slot].count == 0) slot = m_regions[slot].movedTo;
    return slot;
  }

  // Visits the first pixel of value 0 of a run, whose key is `key`. Without several sets
  // around it, the set of its right neighbour or of its key is the candidate.
  int StartZeroRun(int cell, int key) {
    if (key == kMixed) return Add<true>(cell, 0);
    const int a = Live(key), b = m_grid[cell + 1];
    if (a >= 0 && b >= 0 && a != b) return Add<true>(cell, 0);
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
          _mm_storeu_si128(reinterpret_cast<__m128i*>(next + low),
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

  // Written out as balanced trees of scalar operations: kept out of vector registers,
  // since the grid cells were just written by scalar stores.
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

  // Visits one pixel; kZero for the pixels of value 0, whose joins leave the sum alone (a
  // separate copy measured faster than adding 0). Returns the slot of the set the
  // pixel was added to, or -1 for none.
  template <bool kZero>
  int Add(int cell, int v) {
    const Index* g = m_grid.get() + cell;
    const int above = -m_gridWidth, below = m_gridWidth;
    const int sets[8] = {g[above - 1], g[above],     g[above + 1], g[-1],
                         g[1],         g[below - 1], g[below],     g[below + 1]};
    // The largest slot and the smallest present one (-1 turns into the largest unsigned
    // value) tell whether the neighbours belong to none, one or several sets.
    int r = Largest(sets);
    if (r >= 0 && static_cast<unsigned>(r) != SmallestPresent(sets)) [[unlikely]] r = Choose(cell, v);
    return Place<kZero>(r, cell, v);
  }

  // Adds the pixel to the set in slot r (-1 for none) when its value is near enough,
  // else starts a region from it while there is room. Returns the slot the pixel was
  // added to, or -1 for none.
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
  void DescribeRow(const Index* row, const uint8_t* values, Index slot, int64_t* sum,
                   int64_t* sumX, int* first, int* last) const {
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
            sumsX, _mm_madd_epi16(v, _mm_add_epi16(lanes, _mm_set1_epi16(static_cast<int16_t>(x)))));
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
  static constexpr int kKeyPad = 8;    // kBlocked keys left of the row
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
  std::unique_ptr<Index[]> m_grid;      // slot of the set of each pixel, -1 for none
  std::unique_ptr<Cell[]> m_next;       // the next pixel of the same set, 0 for the last
  std::unique_ptr<Index[]> m_key;       // per column of the row being visited: FindRowKeys
  std::unique_ptr<Cell[]> m_nextSameValue;  // by cell: LinkByValue
  std::unique_ptr<Region<Widths>[]> m_regions;  // by slot; slot = region number at creation
  std::unique_ptr<uint8_t[]> m_touches;         // by slot: FindTouches
  int m_count = 0;                              // region numbers given out so far
};

// The mask of one colour: (width - d) * chroma / width within width of the colour's hue
// centre, d measured around the hue circle. The width is a constant of each colour, so
// the division compiles to a multiplication.
template <int kWidth>
[[gnu::always_inline]] inline void MaskOf(const uint8_t* __restrict hue,
                                          const uint8_t* __restrict chroma, size_t n, int centre,
                                          uint8_t* __restrict out) {
  for (size_t i = 0; i < n; ++i) {
    int d = std::abs(hue[i] - centre);
    d = d > 95 ? 191 - d : d;
    // The product stays below 2^16 (a grey pixel's distance can go negative, but its
    // chroma is 0), so the division by the constant runs on 16-bit lanes.
    const int weight = d < kWidth ? kWidth - d : 0;
    out[i] = static_cast<uint8_t>(static_cast<uint16_t>(weight * chroma[i]) / kWidth);
  }
}

GQ_VECTOR_CLONES void ColourMask(const Channels& c, const LocalColour& colour, uint8_t* out) {
  const size_t n = c.hue.size();
  switch (colour.width) {
    case 16:
      MaskOf<16>(c.hue.data(), c.chroma.data(), n, colour.centre, out);
      break;
    case 20:
      MaskOf<20>(c.hue.data(), c.chroma.data(), n, colour.centre, out);
      break;
    case 28:
      MaskOf<28>(c.hue.data(), c.chroma.data(), n, colour.centre, out);
      break;
    default:
      MaskOf<40>(c.hue.data(), c.chroma.data(), n, colour.centre, out);
      break;
  }
}

// The best region of each colour gives its five local values.
template <typename Widths>
void LocalValuesWith(const Channels& c, int16_t* sig) {
  const int w = c.width, h = c.height;
  const size_t n = c.hue.size();
  // At least 64 zeros behind the values, up to a multiple of 16: the finder reads whole
  // blocks.
  std::vector<uint8_t> mask((n + 79) / 16 * 16);
  RegionFinder<Widths> finder(w, h);
  for (int colour = 0; colour < kLocalColours; ++colour) {
    ColourMask(c, kLocalColourTable[colour], mask.data());
    int16_t* out = sig + kSigLocal + kLocalValuesPerColour * colour;
    BestRegion g;
    if (!finder.Find(mask.data(), &g)) {
      std::fill(out, out + kLocalValuesPerColour, int16_t{0});
      continue;
    }
    const double sum = static_cast<double>(g.sum);
    const double a = static_cast<double>(g.c1 - g.c0 + 1) / w;
    const double b = static_cast<double>(g.r1 - g.r0 + 1) / h;
    out[0] = Scaled(static_cast<double>(g.sumX) / (sum * w));
    out[1] = Scaled(static_cast<double>(g.sumY) / (sum * h));
    out[2] = Scaled((a + b) / 2);
    out[3] = Scaled(sum / (static_cast<double>(g.count) * 255));
    out[4] = Scaled(a > b ? 1 - b / a : a / b - 1);
  }
}

// Values 52-81: place, extent, intensity and shape of the best region of each colour.
void LocalValues(const Channels& c, int16_t* sig) {
  if (SmallWidths::Fits(c.width, c.height)) {
    LocalValuesWith<SmallWidths>(c, sig);
  } else {
    LocalValuesWith<WideWidths>(c, sig);
  }
}

// Values 82-99: window sums over the hue, chroma and white-level histograms.
void GlobalValues(const Channels& c, int16_t* sig) {
  const uint64_t n = c.hue.size();
  // Counted into two copies of each histogram, even and odd pixels apart, so that runs
  // of one bin do not make every step wait for the one before.
  uint64_t hue[256] = {}, chroma[256] = {}, white[256] = {};
  uint64_t hue2[256] = {}, chroma2[256] = {}, white2[256] = {};
  size_t i = 0;
  for (; i + 1 < n; i += 2) {
    hue[c.hue[i]] += c.chroma[i];
    ++chroma[c.chroma[i]];
    ++white[c.white[i]];
    hue2[c.hue[i + 1]] += c.chroma[i + 1];
    ++chroma2[c.chroma[i + 1]];
    ++white2[c.white[i + 1]];
  }
  if (i < n) {
    hue[c.hue[i]] += c.chroma[i];
    ++chroma[c.chroma[i]];
    ++white[c.white[i]];
  }
  for (int i = 0; i < 256; ++i) {
    hue[i] += hue2[i];
    chroma[i] += chroma2[i];
    white[i] += white2[i];
    hue[i] = hue[i] * 512 / n;
    chroma[i] = chroma[i] * 32768 / (n + 1);
    white[i] = white[i] * 32768 / (n + 1);
  }
  for (int k = 0; k < 6; ++k) {
    const int centre = 31 * k;
    uint64_t sum = 0;
    for (int d = -31; d <= 31; ++d) sum += hue[(centre + d + 192) % 192];
    sig[kSigHue + k] = static_cast<int16_t>(std::min<uint64_t>(sum >> 1, 32767));
  }
  for (int k = 0; k < 6; ++k) {
    const int centre = 21 + 42 * k;
    uint64_t chromaSum = 0, whiteSum = 0;
    for (int bin = std::max(centre - 42, 0); bin <= std::min(centre + 42, 255); ++bin) {
      chromaSum += chroma[bin];
      whiteSum += white[bin];
    }
    sig[kSigChroma + k] = static_cast<int16_t>(std::min<uint64_t>(chromaSum, 32767));
    sig[kSigWhite + k] = static_cast<int16_t>(std::min<uint64_t>(whiteSum, 32767));
  }
}

int16_t FormatValue(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  const double w = width, h = height;
  return Scaled(width > height ? 1 - h / w : w / h - 1);
}

int16_t SizeValue(int side) {
  if (side <= 0) return 0;
  return static_cast<int16_t>(
      std::min(std::trunc(std::log(static_cast<double>(side)) * 3376.6277), 32767.0));
}

}  // namespace

void ConvertColours(const uint8_t* bgr, int count, uint8_t* hue, uint8_t* chroma,
                    uint8_t* white) {
  uint16_t num[kColourChunk];
  int16_t f[kColourChunk];
  uint8_t den[kColourChunk], which[kColourChunk];
  for (int done = 0; done < count; done += kColourChunk) {
    const int n = std::min(kColourChunk, count - done);
    OrderChannels(bgr + 3 * done, n, num, den, which, chroma + done, white + done);
    Quotients(num, den, n, f);
    HueCodes(which, f, n, hue + done);
  }
}

PixelColour ConvertColour(uint8_t blue, uint8_t green, uint8_t red) {
  const uint8_t bgr[3] = {blue, green, red};
  PixelColour c;
  ConvertColours(bgr, 1, &c.hue, &c.chroma, &c.white);
  return c;
}

bool ComputeSignature(int thumbWidth, int thumbHeight, const uint8_t* pixels, int pictureWidth,
                      int pictureHeight, int16_t* signature) {
  if (thumbWidth <= 0 || thumbHeight <= 0 || pixels == nullptr || signature == nullptr)
    return false;
  CoarseValues(thumbWidth, thumbHeight, pixels, signature);
  Channels channels;
  SplitChannels(thumbWidth, thumbHeight, pixels, &channels);
  TextureValues(std::move(channels.grey), thumbWidth, thumbHeight, signature);
  LocalValues(channels, signature);
  GlobalValues(channels, signature);
  signature[kSigFormat] = FormatValue(pictureWidth, pictureHeight);
  signature[kSigWidth] = SizeValue(pictureWidth);
  signature[kSigHeight] = SizeValue(pictureHeight);
  return true;
}

}  // namespace gq
