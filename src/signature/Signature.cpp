#include "signature/Signature.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "signature/PackedImage.h"

namespace gq {
namespace {

constexpr double kScale = 32767.0;

int16_t Scaled(double fraction) { return static_cast<int16_t>(fraction * kScale); }

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
      const PixelColour c = ConvertColour(p[0], p[1], p[2]);
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

// What every neighbour lookup reads of a region; link >= 0 once merged into another.
template <typename Sum>
struct RegionHot {
  int32_t link;
  int32_t mean;  // sum / count, kept current
  Sum sum;
};

// The rest of a region, read when a pixel joins or regions merge.
template <typename Sum>
struct RegionCold {
  int32_t count;
  int32_t c0, c1, r0, r1;  // bounding box
  Sum sumX;                // sum of column * mask value
  Sum sumY;                // sum of row * mask value
};

// A pixel in visiting order: its place in the bordered region grid, its coordinates and
// its mask value.
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
template <typename Widths>
class RegionFinder {
 public:
  using Index = typename Widths::Index;
  using Sum = typename Widths::Sum;

  RegionFinder(int w, int h)
      : m_w(w),
        m_h(h),
        m_n(static_cast<int64_t>(w) * h),
        m_gridWidth(w + 2),
        m_maxRegions(static_cast<int>((static_cast<int64_t>(w) + 1) * (h + 1) / 4)),
        m_grid(static_cast<size_t>(w + 2) * (h + 2)),
        m_order(static_cast<size_t>(w) * h) {
    m_hot.reserve(m_maxRegions);
    m_cold.reserve(m_maxRegions);
  }

  // Returns the index of the best region, or -1 when no region scores above 0.
  int Find(const std::vector<uint8_t>& mask) {
    int largest = 0;
    for (uint8_t v : mask) largest = std::max<int>(largest, v);
    // Without any mask value every region has sum 0, and a score of 0 never wins.
    if (largest == 0) return -1;
    m_joinMean = 16 * largest / 100;
    m_joinPixel = 22 * largest / 100;
    SortDescending(mask);
    std::fill(m_grid.begin(), m_grid.end(), Index{-1});
    m_hot.clear();
    m_cold.clear();
    for (const Visit<typename Widths::Coord>& visit : m_order) Add(visit);
    return Best();
  }

  const RegionHot<Sum>& hot(int i) const { return m_hot[i]; }
  const RegionCold<Sum>& cold(int i) const { return m_cold[i]; }

 private:
  // Counting sort: values 255 down to 0, larger index first within a value.
  void SortDescending(const std::vector<uint8_t>& mask) {
    int start[257] = {};
    for (uint8_t v : mask) ++start[255 - v + 1];
    for (int i = 1; i <= 256; ++i) start[i] += start[i - 1];
    using Coord = typename Widths::Coord;
    for (int y = m_h - 1; y >= 0; --y) {
      const uint8_t* row = mask.data() + static_cast<size_t>(y) * m_w;
      for (int x = m_w - 1; x >= 0; --x)
        m_order[start[255 - row[x]]++] = Visit<Coord>{
            (y + 1) * m_gridWidth + x + 1, static_cast<Coord>(x), static_cast<Coord>(y), row[x]};
    }
  }

  // The region a region was merged into, following the links to the end; the links on
  // the way are pointed straight at the end, so later lookups take one step.
  int Root(int r) {
    int root = r;
    while (m_hot[root].link >= 0) root = m_hot[root].link;
    while (m_hot[r].link >= 0 && m_hot[r].link != root) {
      const int next = m_hot[r].link;
      m_hot[r].link = root;
      r = next;
    }
    return root;
  }

  void Merge(int from, int into) {
    RegionCold<Sum>& a = m_cold[from];
    RegionCold<Sum>& b = m_cold[into];
    b.count += a.count;
    b.sumX += a.sumX;
    b.sumY += a.sumY;
    b.c0 = std::min(b.c0, a.c0);
    b.c1 = std::max(b.c1, a.c1);
    b.r0 = std::min(b.r0, a.r0);
    b.r1 = std::max(b.r1, a.r1);
    m_hot[into].sum += m_hot[from].sum;
    m_hot[into].mean = static_cast<int32_t>(m_hot[into].sum / static_cast<Sum>(b.count));
    m_hot[from].link = into;
  }

  void Add(const Visit<typename Widths::Coord>& p) {
    const int v = p.value;
    const int offsets[8] = {-m_gridWidth - 1, -m_gridWidth, -m_gridWidth + 1, -1, 1,
                            m_gridWidth - 1,  m_gridWidth,  m_gridWidth + 1};
    // The regions of the neighbours, in neighbour order, without neighbours outside any
    // region and without repeats of the neighbour before (a repeat changes nothing, as
    // nothing changed since). Gathered without branches: which neighbours are taken is
    // as good as random while the pixels are visited in value order.
    int ids[8];
    int count = 0;
    int previous = -1;
    for (int k = 0; k < 8; ++k) {
      const int neighbour = m_grid[p.cell + offsets[k]];
      ids[count] = neighbour;
      count += (neighbour >= 0) & (neighbour != previous);
      previous = neighbour >= 0 ? neighbour : previous;
    }
    int r = -1;
    for (int k = 0; k < count; ++k) {
      const int s = Root(ids[k]);
      // A neighbour of the current candidate changes nothing.
      if (s == r) continue;
      if (r < 0) {
        r = s;
        continue;
      }
      if (std::abs(m_hot[r].mean - m_hot[s].mean) <= m_joinMean) {
        Merge(r, s);
        r = s;
        continue;
      }
      const bool closer = std::abs(v - m_hot[s].mean) < std::abs(v - m_hot[r].mean);
      r = closer ? s : r;
      r = m_hot[s].sum > m_hot[r].sum ? s : r;
    }
    const int x = p.x, y = p.y;
    if (r >= 0 && std::abs(v - m_hot[r].mean) <= m_joinPixel) {
      RegionHot<Sum>& hot = m_hot[r];
      RegionCold<Sum>& cold = m_cold[r];
      ++cold.count;
      hot.sum += static_cast<Sum>(v);
      hot.mean = static_cast<int32_t>(hot.sum / static_cast<Sum>(cold.count));
      cold.sumX += static_cast<Sum>(x) * static_cast<Sum>(v);
      cold.sumY += static_cast<Sum>(y) * static_cast<Sum>(v);
      cold.c0 = std::min(cold.c0, x);
      cold.c1 = std::max(cold.c1, x);
      cold.r0 = std::min(cold.r0, y);
      cold.r1 = std::max(cold.r1, y);
      m_grid[p.cell] = static_cast<Index>(r);
    } else if (static_cast<int>(m_hot.size()) < m_maxRegions) {
      m_hot.push_back(RegionHot<Sum>{-1, v, static_cast<Sum>(v)});
      m_cold.push_back(RegionCold<Sum>{1, x, x, y, y, static_cast<Sum>(x) * static_cast<Sum>(v),
                                       static_cast<Sum>(y) * static_cast<Sum>(v)});
      m_grid[p.cell] = static_cast<Index>(m_hot.size() - 1);
    }
  }

  int Best() const {
    static constexpr int64_t kSmallFactor[5] = {0, 1, 2, 4, 6};
    int best = -1;
    int64_t bestScore = 0;
    for (int i = static_cast<int>(m_hot.size()) - 1; i >= 0; --i) {
      if (m_hot[i].link >= 0) continue;
      const RegionCold<Sum>& g = m_cold[i];
      int64_t score = m_hot[i].mean;
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
        best = i;
      }
    }
    return best;
  }

  const int m_w, m_h;
  const int64_t m_n;
  const int m_gridWidth;  // the region grid has a border of -1 around the picture
  const int m_maxRegions;
  int m_joinMean = 0;         // Tm: regions whose means differ by at most this merge
  int m_joinPixel = 0;        // Tj: a pixel joins a region whose mean is at most this far
  std::vector<Index> m_grid;  // region a pixel was added to, -1 for none
  std::vector<Visit<typename Widths::Coord>> m_order;  // pixels in visiting order
  std::vector<RegionHot<Sum>> m_hot;
  std::vector<RegionCold<Sum>> m_cold;
};

// The mask of one colour: (width - d) * chroma / width within width of the colour's hue
// centre, d measured around the hue circle. The width is a constant of each colour, so
// the division compiles to a multiplication.
template <int kWidth>
void ColourMask(const Channels& c, int centre, std::vector<uint8_t>* mask) {
  const size_t n = c.hue.size();
  for (size_t i = 0; i < n; ++i) {
    int d = std::abs(c.hue[i] - centre);
    if (d > 95) d = 191 - d;
    (*mask)[i] = d < kWidth ? static_cast<uint8_t>((kWidth - d) * c.chroma[i] / kWidth) : 0;
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
    const auto& g = finder.cold(best);
    const double sum = static_cast<double>(finder.hot(best).sum);
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
  const int b = blue, g = green, r = red;
  const int which = 4 * (r < g) + 2 * (g < b) + (b < r);
  int largest, middle, smallest, base;
  bool reversed;
  switch (which) {
    case 1:
      largest = r, middle = g, smallest = b, base = 3, reversed = false;
      break;
    case 2:
      largest = b, middle = r, smallest = g, base = 1, reversed = false;
      break;
    case 3:
      largest = r, middle = b, smallest = g, base = 2, reversed = true;
      break;
    case 4:
      largest = g, middle = b, smallest = r, base = 5, reversed = false;
      break;
    case 5:
      largest = g, middle = r, smallest = b, base = 4, reversed = true;
      break;
    case 6:
      largest = b, middle = g, smallest = r, base = 0, reversed = true;
      break;
    default:
      return PixelColour{255, 0, blue};  // all three equal
  }
  const int f = (middle - smallest) * 255 / (largest - smallest);
  const int hue = (base * 256 + (reversed ? 255 - f : f)) / 8;
  const int chroma = std::min(255, (largest - smallest) + (middle - smallest));
  return PixelColour{static_cast<uint8_t>(hue), static_cast<uint8_t>(chroma),
                     static_cast<uint8_t>(smallest)};
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
