#include "signature/Signature.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <type_traits>
#include <vector>

#include "signature/PackedImage.h"

namespace gq {
namespace {

constexpr double kScale = 32767.0;

int16_t Scaled(double fraction) { return static_cast<int16_t>(fraction * kScale); }

// The colour conversion without branches. The case 4 [R < G] + 2 [G < B] + [B < R]
// names which channel is largest, middle and smallest; ties fall into the case the strict
// comparisons select, and there the channels' values agree with the sorted values. The
// case gives the hue base (256 times the sextant, plus 255 where f runs backwards).
// f = (middle - smallest) * 255 / (largest - smallest) is computed in single precision:
// the quotient of two exact integers below 2^16 lies at least 1/255 below the next
// integer, far more than the rounding error, so truncation gives the integer quotient.
inline PixelColour ColourOf(int b, int g, int r) {
  static constexpr int kBase[8] = {0,       3 * 256,       1 * 256,       2 * 256 + 255,
                                   5 * 256, 4 * 256 + 255, 0 * 256 + 255, 0};
  static constexpr int kDirection[8] = {0, 1, 1, -1, 1, -1, -1, 0};
  const int which = 4 * (r < g) + 2 * (g < b) + (b < r);
  const int largest = std::max(b, std::max(g, r));
  const int smallest = std::min(b, std::min(g, r));
  const int middle = b + g + r - largest - smallest;
  const int range = largest - smallest;
  const int f = static_cast<int>(static_cast<float>((middle - smallest) * 255) /
                                 static_cast<float>(std::max(range, 1)));
  const int hue = which == 0 ? 255 : (kBase[which] + kDirection[which] * f) / 8;
  const int chroma = std::min(255, range + (middle - smallest));
  return PixelColour{static_cast<uint8_t>(hue), static_cast<uint8_t>(chroma),
                     static_cast<uint8_t>(smallest)};
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
  size_t i = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = pixels + static_cast<ptrdiff_t>(y) * stride;
    for (int x = 0; x < w; ++x, p += 3, ++i) {
      out->grey[i] = static_cast<uint8_t>((p[0] + 2 * p[1] + p[2]) >> 2);
      const PixelColour c = ColourOf(p[0], p[1], p[2]);
      out->hue[i] = c.hue;
      out->chroma[i] = c.chroma;
      out->white[i] = c.white;
    }
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
      int64_t sB = 0, sG = 0, sR = 0;
      uint64_t sY = 0;
      for (int y = rows[cy]; y < rows[cy + 1]; ++y) {
        const uint8_t* p = pixels + static_cast<ptrdiff_t>(y) * stride;
        for (int x = columns[cx]; x < columns[cx + 1]; ++x) {
          const int b = p[3 * x], g = p[3 * x + 1], r = p[3 * x + 2];
          const int m = std::min(b, std::min(g, r));
          sB += b - m;
          sG += g - m;
          sR += r - m;
          sY += static_cast<uint64_t>(r + 2 * g + b);
        }
      }
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
        const uint8_t* b = a + cw;
        for (int x = 0; x + 1 < cw; ++x) {
          horizontal += std::abs(a[x + 1] - a[x]);
          vertical += std::abs(b[x] - a[x]);
          anti += std::abs(a[x + 1] - b[x]);
          diagonal += std::abs(a[x] - b[x + 1]);
        }
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

// Widths of the region finder's numbers. Thumbnails (sides up to 256) use the small set:
// 16-bit region numbers in the grid and 32-bit unsigned sums (the largest, column * value
// summed over all pixels, stays below 255 * 255 * 65536 < 2^32), so the working set stays
// in the first-level cache. Anything larger uses the wide set.
struct SmallWidths {
  using Index = int16_t;
  using Sum = uint32_t;
  using Coord = uint16_t;
  static bool Fits(int w, int h) { return w <= 256 && h <= 256; }
};
struct WideWidths {
  using Index = int32_t;
  using Sum = int64_t;
  using Coord = int32_t;
};

// The numbers of one set of merged colour regions. The set lives in a slot; `name` is
// the region number the set goes by under the rules (the region the others were merged
// into), `members` how many region numbers point to the slot.
template <typename Widths>
struct Region {
  using Sum = typename Widths::Sum;
  using Coord = typename Widths::Coord;
  int32_t name;
  int32_t count;
  int32_t mean;  // sum / count, kept current
  int32_t members;
  Sum sum;
  Sum sumX;              // sum of column * mask value
  Sum sumY;              // sum of row * mask value
  Coord c0, c1, r0, r1;  // bounding box
};

// A pixel with a mask value above 0 in visiting order: its place in the bordered region
// grid, its coordinates and its mask value.
template <typename Coord>
struct Visit {
  int32_t cell;
  Coord x;
  Coord y;
  uint8_t value;
};

// Region growing on one colour mask, in descending mask value (larger pixel index first
// among equal values), and the choice of the best region. Buffers are reused between
// the six colours of one signature.
//
// The pixels of value 0 come last and in descending index order, that is row by row
// from the bottom, each row from the right: they are visited by a scan of the mask, and
// only the others are sorted. The grid keeps the region number each pixel was added to;
// every region number points straight at the slot of its merged set, and a merge moves
// the numbers of the set with fewer numbers, so finding a region's set is one lookup.
// Most pixels see neighbours of one merged set only and take a short path; pixels
// between several sets follow the rules neighbour by neighbour.
template <typename Widths>
class RegionFinder {
 public:
  using Index = typename Widths::Index;
  using Sum = typename Widths::Sum;
  using Coord = typename Widths::Coord;

  RegionFinder(int w, int h)
      : m_w(w),
        m_h(h),
        m_n(static_cast<int64_t>(w) * h),
        m_gridWidth(w + 2),
        m_maxRegions(static_cast<int>((static_cast<int64_t>(w) + 1) * (h + 1) / 4)),
        m_gridSize(static_cast<size_t>(w + 2) * (h + 2)),
        m_grid(new Index[m_gridSize]),
        m_alone(new Index[static_cast<size_t>(w)]),
        m_gathered(new Visit<Coord>[static_cast<size_t>(w) * h]),
        m_order(new Visit<Coord>[static_cast<size_t>(w) * h]),
        m_slot(new Index[static_cast<size_t>(m_maxRegions) + 1]),
        m_nextMember(new Index[static_cast<size_t>(m_maxRegions)]),
        m_regions(new Region<Widths>[static_cast<size_t>(m_maxRegions)]) {}

  // Returns the slot of the best region, or -1 when no region scores above 0.
  int Find(const std::vector<uint8_t>& mask) {
    int largest = 0;
    for (uint8_t v : mask) largest = std::max<int>(largest, v);
    // Without any mask value every region has sum 0, and a score of 0 never wins.
    if (largest == 0) return -1;
    m_joinMean = 16 * largest / 100;
    m_joinPixel = 22 * largest / 100;
    const size_t valued = SortValued(mask);
    std::fill(m_grid.get(), m_grid.get() + m_gridSize, Index{-1});
    m_count = 0;
    m_slot[0] = -1;
    for (size_t i = 0; i < valued; ++i) {
      const Visit<Coord>& p = m_order[i];
      Add<false>(p.cell, p.x, p.y, p.value);
    }
    for (int y = m_h - 1; y >= 0; --y) ScanZeroRow(mask.data() + static_cast<size_t>(y) * m_w, y);
    return Best();
  }

  const Region<Widths>& region(int slot) const { return m_regions[slot]; }

 private:
  // Visits the pixels of value 0 of one row, from the right. A pixel whose neighbours
  // know no region but the one its right neighbour was just added to joins that region
  // as well: the region's mean can only have fallen since, so it is within reach, and
  // the pixel adds only to the count and widens the box to the left. Such runs are
  // counted in registers and written to the region before any other pixel is visited.
  void ScanZeroRow(const uint8_t* row, int y) {
    const int rowCell = (y + 1) * m_gridWidth + 1;
    // The neighbours but the right one do not change while the row is visited: the rows
    // above and below and the left neighbour are either visited already or wait with no
    // region. So which region they know is found for the whole row first.
    FindSoleRegions(rowCell);
    int name = -1;    // the region the pixel to the right was added to, -1 for none
    int pending = 0;  // pixels added to it in this run and not yet counted there
    int left = 0;     // the leftmost of them
    for (int x = m_w - 1; x >= 0; --x) {
      if (row[x] != 0) {
        FlushRun(name, &pending, left);
        name = -1;
        continue;
      }
      const int cell = rowCell + x;
      if (name >= 0 && (m_alone[x] == name || m_alone[x] == -1)) {
        m_grid[cell] = static_cast<Index>(name);
        ++pending;
        left = x;
        continue;
      }
      FlushRun(name, &pending, left);
      name = Add<true>(cell, x, y, 0);
    }
    FlushRun(name, &pending, left);
  }

  // For each pixel of the row starting at rowCell: the one region number that its
  // neighbours but the right one know, -1 when they know none, kMixed when they know
  // several. Written as plain arithmetic over the three rows so that it vectorises.
  void FindSoleRegions(int rowCell) {
    using Unsigned = std::make_unsigned_t<Index>;  // -1 becomes the largest value
    const Index* up = m_grid.get() + rowCell - m_gridWidth;
    const Index* mid = m_grid.get() + rowCell;
    const Index* down = m_grid.get() + rowCell + m_gridWidth;
    Index* out = m_alone.get();
    for (int x = 0; x < m_w; ++x) {
      const Index largest =
          std::max(std::max(std::max(up[x - 1], up[x]), std::max(up[x + 1], mid[x - 1])),
                   std::max(std::max(down[x - 1], down[x]), down[x + 1]));
      auto u = [](Index n) { return static_cast<Unsigned>(n); };
      const Unsigned smallest = std::min(
          std::min(std::min(u(up[x - 1]), u(up[x])), std::min(u(up[x + 1]), u(mid[x - 1]))),
          std::min(std::min(u(down[x - 1]), u(down[x])), u(down[x + 1])));
      out[x] = largest < 0 || u(largest) == smallest ? largest : static_cast<Index>(kMixed);
    }
  }

  void FlushRun(int name, int* pending, int left) {
    if (*pending == 0) return;
    Region<Widths>& region = m_regions[SlotOf(name)];
    region.count += *pending;
    region.c0 = std::min<Coord>(region.c0, static_cast<Coord>(left));
    if (region.mean != 0)
      region.mean = static_cast<int32_t>(region.sum / static_cast<Sum>(region.count));
    *pending = 0;
  }

  // Counting sort of the pixels above 0: values 255 down to 1, larger index first within
  // a value. Returns how many there are. The pixels of value 0 are left out before
  // counting: the long runs of them would make every step wait for the one before.
  size_t SortValued(const std::vector<uint8_t>& mask) {
    // The pixels above 0 in descending index order, gathered without branches.
    size_t valued = 0;
    for (int y = m_h - 1; y >= 0; --y) {
      const uint8_t* row = mask.data() + static_cast<size_t>(y) * m_w;
      for (int x = m_w - 1; x >= 0; --x) {
        m_gathered[valued] = Visit<Coord>{(y + 1) * m_gridWidth + x + 1, static_cast<Coord>(x),
                                          static_cast<Coord>(y), row[x]};
        valued += row[x] != 0;
      }
    }
    int start[256] = {};
    for (size_t i = 0; i < valued; ++i) ++start[m_gathered[i].value];
    int total = 0;
    for (int v = 255; v > 0; --v) {
      const int count = start[v];
      start[v] = total;
      total += count;
    }
    for (size_t i = 0; i < valued; ++i) m_order[start[m_gathered[i].value]++] = m_gathered[i];
    return valued;
  }

  // Merges the set in slot `from` into the set in slot `into`: the result carries the
  // name of `into`. Returns the slot the merged set lives in.
  int Merge(int from, int into) {
    const int name = m_regions[into].name;
    int keep = into, move = from;
    if (m_regions[from].members > m_regions[into].members) std::swap(keep, move);
    Region<Widths>& a = m_regions[move];
    Region<Widths>& b = m_regions[keep];
    b.count += a.count;
    b.sum += a.sum;
    b.sumX += a.sumX;
    b.sumY += a.sumY;
    b.mean = static_cast<int32_t>(b.sum / static_cast<Sum>(b.count));
    b.c0 = std::min(b.c0, a.c0);
    b.c1 = std::max(b.c1, a.c1);
    b.r0 = std::min(b.r0, a.r0);
    b.r1 = std::max(b.r1, a.r1);
    b.name = name;
    // The moved slot's region numbers form a list starting at its own number.
    int id = move, last = move;
    for (; id >= 0; id = m_nextMember[id]) {
      m_slot[id + 1] = static_cast<Index>(keep);
      last = id;
    }
    m_nextMember[last] = m_nextMember[keep];
    m_nextMember[keep] = static_cast<Index>(move);
    b.members += a.members;
    a.members = 0;
    return keep;
  }

  // The candidate slot of a pixel whose neighbours lie in more than one merged set: the
  // rules applied to the neighbours in order.
  int Choose(const int* neighbours, int v) {
    int r = -1;
    for (int k = 0; k < 8; ++k) {
      if (neighbours[k] < 0) continue;
      const int s = SlotOf(neighbours[k]);
      // A neighbour of the current candidate changes nothing.
      if (s == r) continue;
      if (r < 0) {
        r = s;
        continue;
      }
      const Region<Widths>& rs = m_regions[s];
      const Region<Widths>& rr = m_regions[r];
      if (std::abs(rr.mean - rs.mean) <= m_joinMean) {
        r = Merge(r, s);
        continue;
      }
      // s becomes the candidate when its mean is closer to the value, or else when its
      // sum is larger.
      const bool closer = std::abs(v - rs.mean) < std::abs(v - rr.mean);
      r = closer || rs.sum > rr.sum ? s : r;
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

  int SlotOf(int id) const { return m_slot[id + 1]; }

  // |v - sum / count| <= limit, without waiting for a division.
  static bool Near(const Region<Widths>& g, int v, int limit) {
    const int64_t count = g.count, sum = static_cast<int64_t>(g.sum);
    return (v - limit) * count <= sum && sum < (v + limit + 1) * count;
  }

  // Visits one pixel; kZero for the pixels of value 0, whose joins change only the
  // count and the bounding box, and after which a mean of 0 stays 0. Returns the region
  // number the pixel was added to, or -1 for none.
  template <bool kZero>
  int Add(int cell, int x, int y, int v) {
    const Index* g = m_grid.get() + cell;
    const int above = -m_gridWidth, below = m_gridWidth;
    const int neighbours[8] = {g[above - 1], g[above],     g[above + 1], g[-1],
                               g[1],         g[below - 1], g[below],     g[below + 1]};
    int sets[8];
    for (int k = 0; k < 8; ++k) sets[k] = SlotOf(neighbours[k]);
    // The largest slot and the smallest present one (-1 turns into the largest unsigned
    // value) tell whether the neighbours know none, one or several merged sets.
    const int largest = Largest(sets);
    if (largest >= 0) {
      const int r =
          static_cast<unsigned>(largest) == SmallestPresent(sets) ? largest : Choose(neighbours, v);
      Region<Widths>& region = m_regions[r];
      if (Near(region, v, m_joinPixel)) {
        ++region.count;
        if constexpr (!kZero) {
          region.sum += static_cast<Sum>(v);
          region.sumX += static_cast<Sum>(x) * static_cast<Sum>(v);
          region.sumY += static_cast<Sum>(y) * static_cast<Sum>(v);
        }
        if (!kZero || region.mean != 0)
          region.mean = static_cast<int32_t>(region.sum / static_cast<Sum>(region.count));
        region.c0 = std::min<Coord>(region.c0, static_cast<Coord>(x));
        region.c1 = std::max<Coord>(region.c1, static_cast<Coord>(x));
        region.r0 = std::min<Coord>(region.r0, static_cast<Coord>(y));
        region.r1 = std::max<Coord>(region.r1, static_cast<Coord>(y));
        m_grid[cell] = static_cast<Index>(region.name);
        return region.name;
      }
    }
    if (m_count < m_maxRegions) {
      const int id = m_count++;
      const Sum value = static_cast<Sum>(v);
      m_regions[id] = Region<Widths>{id,
                                     1,
                                     v,
                                     1,
                                     value,
                                     static_cast<Sum>(x) * value,
                                     static_cast<Sum>(y) * value,
                                     static_cast<Coord>(x),
                                     static_cast<Coord>(x),
                                     static_cast<Coord>(y),
                                     static_cast<Coord>(y)};
      m_slot[id + 1] = static_cast<Index>(id);
      m_nextMember[id] = -1;
      m_grid[cell] = static_cast<Index>(id);
      return id;
    }
    return -1;
  }

  // Scans the regions from the last created to the first; a region that was merged
  // away no longer names its slot.
  int Best() const {
    static constexpr int64_t kSmallFactor[5] = {0, 1, 2, 4, 6};
    int best = -1;
    int64_t bestScore = 0;
    for (int id = m_count - 1; id >= 0; --id) {
      const int slot = SlotOf(id);
      const Region<Widths>& g = m_regions[slot];
      if (g.name != id) continue;
      int64_t score = g.mean;
      if (g.count <= 4) score = (score * kSmallFactor[g.count]) >> 3;
      if (g.count > m_n / 2) {
        score >>= 5;
      } else if (g.count > m_n / 4) {
        score >>= 3;
      }
      if (g.c0 == 0) score >>= 1;
      if (g.r0 == 0) score >>= 1;
      if (g.c1 == m_w - 1) score >>= 1;
      if (g.r1 == m_h - 1) score >>= 1;
      if (score > bestScore) {
        bestScore = score;
        best = slot;
      }
    }
    return best;
  }

  static constexpr int kMixed = -2;

  const int m_w, m_h;
  const int64_t m_n;
  const int m_gridWidth;  // the region grid has a border of -1 around the picture
  const int m_maxRegions;
  int m_joinMean = 0;   // Tm: regions whose means differ by at most this merge
  int m_joinPixel = 0;  // Tj: a pixel joins a region whose mean is at most this far
  // The buffers are left unset when allocated: every entry is written before it is read.
  const size_t m_gridSize;
  std::unique_ptr<Index[]> m_grid;             // region number a pixel was added to, -1 for none
  std::unique_ptr<Index[]> m_alone;            // per column of the row: SoleRegion of its pixel
  std::unique_ptr<Visit<Coord>[]> m_gathered;  // pixels above 0 in index order, descending
  std::unique_ptr<Visit<Coord>[]> m_order;     // pixels above 0 in visiting order
  // By region number + 1: the slot of the number's merged set; -1 for number -1 (none).
  std::unique_ptr<Index[]> m_slot;
  std::unique_ptr<Index[]> m_nextMember;        // the next region number in the same slot, or -1
  std::unique_ptr<Region<Widths>[]> m_regions;  // by slot
  int m_count = 0;                              // region numbers given out so far
};

// The mask of one colour: (width - d) * chroma / width within width of the colour's hue
// centre, d measured around the hue circle. The width is a constant of each colour, so
// the division compiles to a multiplication.
template <int kWidth>
void ColourMask(const Channels& c, int centre, std::vector<uint8_t>* mask) {
  const size_t n = c.hue.size();
  const uint8_t* __restrict hue = c.hue.data();
  const uint8_t* __restrict chroma = c.chroma.data();
  uint8_t* __restrict out = mask->data();
  for (size_t i = 0; i < n; ++i) {
    int d = std::abs(hue[i] - centre);
    d = d > 95 ? 191 - d : d;
    // The product stays below 2^16 (a grey pixel's distance can go negative, but its
    // chroma is 0), so the division by the constant runs on 16-bit lanes.
    const int weight = d < kWidth ? kWidth - d : 0;
    out[i] = static_cast<uint8_t>(static_cast<uint16_t>(weight * chroma[i]) / kWidth);
  }
}

// The best region of each colour gives its five local values.
template <typename Widths>
void LocalValuesWith(const Channels& c, int16_t* sig) {
  const int w = c.width, h = c.height;
  const size_t n = c.hue.size();
  std::vector<uint8_t> mask(n);
  RegionFinder<Widths> finder(w, h);
  for (int colour = 0; colour < kLocalColours; ++colour) {
    const LocalColour& lc = kLocalColourTable[colour];
    switch (lc.width) {
      case 16:
        ColourMask<16>(c, lc.centre, &mask);
        break;
      case 20:
        ColourMask<20>(c, lc.centre, &mask);
        break;
      case 28:
        ColourMask<28>(c, lc.centre, &mask);
        break;
      default:
        ColourMask<40>(c, lc.centre, &mask);
        break;
    }
    int16_t* out = sig + kSigLocal + kLocalValuesPerColour * colour;
    const int best = finder.Find(mask);
    if (best < 0) {
      std::fill(out, out + kLocalValuesPerColour, int16_t{0});
      continue;
    }
    const Region<Widths>& g = finder.region(best);
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
  uint64_t hue[256] = {}, chroma[256] = {}, white[256] = {};
  for (size_t i = 0; i < n; ++i) {
    hue[c.hue[i]] += c.chroma[i];
    ++chroma[c.chroma[i]];
    ++white[c.white[i]];
  }
  for (int i = 0; i < 256; ++i) {
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

PixelColour ConvertColour(uint8_t blue, uint8_t green, uint8_t red) {
  return ColourOf(blue, green, red);
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
