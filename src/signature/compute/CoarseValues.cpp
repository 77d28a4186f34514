// Values 0-35 of one build: colour, saturation and brightness of a 3 x 3 grid.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "signature/PackedImage.h"
#include "signature/Signature.h"
#include "signature/compute/Features.h"

namespace gq::GQ_SIGNATURE_VARIANT {
namespace {

// Sums over the pixels of one cell of the coarse grid: each channel above the pixel's
// smallest channel, and R + 2G + B.
struct CellSums {
  int64_t b = 0, g = 0, r = 0, y = 0;
};

// Adds n packed pixels to the sums, in pieces whose sums fit 32-bit lanes.
void AddToCell(const uint8_t* __restrict p, int n, CellSums* sums) {
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

}  // namespace

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

}  // namespace gq::GQ_SIGNATURE_VARIANT
