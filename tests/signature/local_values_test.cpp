// The local values (52-81) against a plain transcription of the region finder: every
// neighbour of every pixel handled in full, regions in one table, means divided afresh.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "signature/PictureMaker.h"
#include "signature/Signature.h"
#include "signature/Thumbnail.h"

namespace gq {
namespace {

struct PlainRegion {
  int64_t count = 0, sum = 0, sumX = 0, sumY = 0;
  int c0 = 0, c1 = 0, r0 = 0, r1 = 0;
  int link = -1;
  int64_t Mean() const { return sum / count; }
};

void PlainLocalValues(const PackedImage& thumb, int16_t* out) {
  const int w = thumb.width, h = thumb.height, n = w * h;
  std::vector<int> hue(n), chroma(n);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = thumb.row(y) + 3 * x;
      const PixelColour c = ConvertColour(p[0], p[1], p[2]);
      hue[y * w + x] = c.hue;
      chroma[y * w + x] = c.chroma;
    }
  const int centres[6] = {92, 118, 160, 0, 24, 64}, widths[6] = {28, 20, 40, 16, 28, 28};
  for (int colour = 0; colour < 6; ++colour) {
    std::vector<int> mask(n);
    for (int i = 0; i < n; ++i) {
      int d = std::abs(hue[i] - centres[colour]);
      if (d > 95) d = 191 - d;
      mask[i] = d < widths[colour] ? (widths[colour] - d) * chroma[i] / widths[colour] : 0;
    }
    const int a = *std::max_element(mask.begin(), mask.end());
    const int64_t tm = 16 * a / 100, tj = 22 * a / 100;
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](int i, int j) { return mask[i] != mask[j] ? mask[i] > mask[j] : i > j; });
    std::vector<PlainRegion> regions;
    std::vector<int> regionOf(n, -1);
    const size_t maxRegions = static_cast<size_t>((w + 1) * (h + 1) / 4);
    auto root = [&](int r) {
      while (regions[r].link >= 0) r = regions[r].link;
      return r;
    };
    for (int index : order) {
      const int x = index % w, y = index / w;
      const int64_t v = mask[index];
      int r = -1;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          if ((dx == 0 && dy == 0) || x + dx < 0 || x + dx >= w || y + dy < 0 || y + dy >= h)
            continue;
          const int neighbour = regionOf[(y + dy) * w + x + dx];
          if (neighbour < 0) continue;
          const int s = root(neighbour);
          if (r >= 0 && r != s && std::abs(regions[r].Mean() - regions[s].Mean()) <= tm) {
            PlainRegion& into = regions[s];
            const PlainRegion& from = regions[r];
            into.count += from.count;
            into.sum += from.sum;
            into.sumX += from.sumX;
            into.sumY += from.sumY;
            into.c0 = std::min(into.c0, from.c0);
            into.c1 = std::max(into.c1, from.c1);
            into.r0 = std::min(into.r0, from.r0);
            into.r1 = std::max(into.r1, from.r1);
            regions[r].link = s;
            r = s;
          }
          if (r >= 0) {
            if (std::abs(v - regions[s].Mean()) < std::abs(v - regions[r].Mean())) r = s;
          } else {
            r = s;
          }
          if (regions[s].sum > regions[r].sum) r = s;
        }
      if (r >= 0 && std::abs(v - regions[r].Mean()) <= tj) {
        PlainRegion& g = regions[r];
        ++g.count;
        g.sum += v;
        g.sumX += x * v;
        g.sumY += y * v;
        g.c0 = std::min(g.c0, x);
        g.c1 = std::max(g.c1, x);
        g.r0 = std::min(g.r0, y);
        g.r1 = std::max(g.r1, y);
        regionOf[index] = r;
      } else if (regions.size() < maxRegions) {
        regions.push_back(PlainRegion{1, v, x * v, y * v, x, x, y, y, -1});
        regionOf[index] = static_cast<int>(regions.size()) - 1;
      }
    }
    int best = -1;
    int64_t bestScore = 0;
    for (int i = static_cast<int>(regions.size()) - 1; i >= 0; --i) {
      const PlainRegion& g = regions[i];
      if (g.link >= 0) continue;
      int64_t score = g.sum / g.count;
      const int64_t small[5] = {0, 1, 2, 4, 6};
      if (g.count <= 4) score = score * small[g.count] >> 3;
      if (g.count > n / 2) {
        score >>= 5;
      } else if (g.count > n / 4) {
        score >>= 3;
      }
      score >>= (g.c0 == 0) + (g.r0 == 0) + (g.c1 == w - 1) + (g.r1 == h - 1);
      if (score > bestScore) {
        bestScore = score;
        best = i;
      }
    }
    int16_t* values = out + 5 * colour;
    if (best < 0) {
      std::fill(values, values + 5, int16_t{0});
      continue;
    }
    const PlainRegion& g = regions[best];
    const double sum = static_cast<double>(g.sum);
    const double wa = static_cast<double>(g.c1 - g.c0 + 1) / w;
    const double hb = static_cast<double>(g.r1 - g.r0 + 1) / h;
    values[0] = static_cast<int16_t>(g.sumX / (sum * w) * 32767);
    values[1] = static_cast<int16_t>(g.sumY / (sum * h) * 32767);
    values[2] = static_cast<int16_t>((wa + hb) / 2 * 32767);
    values[3] = static_cast<int16_t>(sum / (static_cast<double>(g.count) * 255) * 32767);
    values[4] = static_cast<int16_t>((wa > hb ? 1 - hb / wa : wa / hb - 1) * 32767);
  }
}

// Smooth colour fields with grain: many colour regions that grow, meet and merge.
PackedImage Field(int w, int h, std::mt19937* random) {
  std::uniform_int_distribution<int> base(0, 255), grain(-12, 12);
  const int b0 = base(*random), g0 = base(*random), r0 = base(*random);
  const int db = base(*random) - 128, dg = base(*random) - 128, dr = base(*random) - 128;
  PackedImage image;
  image.Allocate(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = image.row(y) + 3 * x;
      p[0] = static_cast<uint8_t>(std::clamp(b0 + db * x / w + grain(*random), 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp(g0 + dg * y / h + grain(*random), 0, 255));
      p[2] = static_cast<uint8_t>(std::clamp(r0 + dr * (x + y) / (w + h) + grain(*random), 0, 255));
    }
  return image;
}

// Grey with sparse, faint colour grain of a random strength: low mask values next to
// zeros, so regions of low mean take in pixels of value 0 and merge with regions of them.
PackedImage Faint(int w, int h, std::mt19937* random) {
  std::uniform_int_distribution<int> base(40, 215), strength(1, 12);
  const int grey = base(*random), amount = strength(*random);
  std::uniform_int_distribution<int> grain(-amount, amount);
  std::bernoulli_distribution grained(0.3);
  PackedImage image;
  image.Allocate(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x)
      image.row(y)[x] = static_cast<uint8_t>(grey + (grained(*random) ? grain(*random) : 0));
  return image;
}

// A thumbnail as the loader makes it: a picture five times larger, shrunk.
PackedImage ShrunkBlocks(int w, int h, std::mt19937* random) {
  const PackedImage picture = testing::Blocks(5 * w, 5 * h, random);
  PackedImage thumb;
  MakeThumbnail(picture.width, picture.height, picture.stride(), picture.pixels.data(),
                std::max(w, h), &thumb);
  return thumb;
}

enum class Kind { kField, kBlocks, kNoise, kFaint, kUniform, kShrunkBlocks };

// A test picture of the given kind; a shrunk one may come out smaller than w x h.
PackedImage PictureOf(Kind kind, int w, int h, std::mt19937* random) {
  switch (kind) {
    case Kind::kField:
      return Field(w, h, random);
    case Kind::kBlocks:
      return testing::Blocks(w, h, random);
    case Kind::kNoise:
      return testing::Noise(w, h, random);
    case Kind::kFaint:
      return Faint(w, h, random);
    case Kind::kUniform:
      return testing::Uniform(w, h, 20, 200, 90);
    case Kind::kShrunkBlocks:
      return ShrunkBlocks(w, h, random);
  }
  return {};
}

// Compares the local values of one picture with the plain region finder.
// The plain values go to `plain` when given (30 values).
::testing::AssertionResult MatchesPlain(const PackedImage& thumb, int16_t* plain = nullptr) {
  Signature fast{};
  if (!ComputeSignature(thumb.width, thumb.height, thumb.pixels.data(), thumb.width, thumb.height,
                        fast.data()))
    return ::testing::AssertionFailure() << "no signature";
  int16_t own[30];
  if (plain == nullptr) plain = own;
  PlainLocalValues(thumb, plain);
  for (int i = 0; i < 30; ++i)
    if (fast[kSigLocal + i] != plain[i])
      return ::testing::AssertionFailure()
             << "value " << kSigLocal + i << " is " << fast[kSigLocal + i]
             << ", the plain rules give " << plain[i];
  return ::testing::AssertionSuccess();
}

TEST(LocalValues, MatchThePlainRegionFinder) {
  const unsigned seed = 31337;
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> side(1, 96);
  int coloursFound = 0;
  for (int round = 0; round < 160; ++round) {
    constexpr Kind kKinds[] = {Kind::kField, Kind::kBlocks, Kind::kNoise, Kind::kShrunkBlocks};
    const int w = side(random), h = side(random);
    const PackedImage thumb = PictureOf(kKinds[round % 4], w, h, &random);
    int16_t plain[30];
    ASSERT_TRUE(MatchesPlain(thumb, plain))
        << thumb.width << "x" << thumb.height << " picture, seed " << seed << " round " << round;
    for (int colour = 0; colour < kLocalColours; ++colour)
      coloursFound += plain[5 * colour + 3] > 0;
  }
  // The pictures must give the finder work: most colours find a region somewhere.
  EXPECT_GT(coloursFound, 350);
}

TEST(LocalValues, MatchThePlainRegionFinderOnLinesAndFullThumbnails) {
  const unsigned seed = 4242;
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> side(1, 96);
  for (int round = 0; round < 100; ++round) {
    // Single rows and columns, then full-size thumbnails.
    const int length = side(random);
    int w = round % 3 == 0 ? 1 : length, h = round % 3 == 1 ? 1 : length;
    if (round % 3 == 2) w = h = 96;
    const PackedImage thumb = PictureOf(Kind(round % 5), w, h, &random);
    EXPECT_TRUE(MatchesPlain(thumb)) << w << "x" << h << ", seed " << seed << " round " << round;
  }
}

TEST(LocalValues, WidePicturesUseWideSums) {
  // Sides beyond 253 take the finder's wide number set.
  std::mt19937 random(99);
  for (auto [w, h] : {std::pair{300, 12}, {9, 400}, {254, 40}, {253, 41}}) {
    EXPECT_TRUE(MatchesPlain(Field(w, h, &random))) << w << "x" << h;
  }
}

}  // namespace
}  // namespace gq
