// Values 36-51 of one build: neighbour contrast on four halving levels.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "signature/Signature.h"
#include "signature/compute/Features.h"

namespace gq::GQ_SIGNATURE_VARIANT {
namespace {

// Adds the absolute differences of the 2 x 2 neighbourhoods with top-left corners
// a[0 .. n-1] (b is the row below), in pieces whose sums fit 32-bit lanes.
void RowContrast(const uint8_t* __restrict a, const uint8_t* __restrict b, int n,
                 uint64_t* horizontal, uint64_t* vertical, uint64_t* anti, uint64_t* diagonal) {
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

}  // namespace

// The image is halved in place; a side below 2 pixels stops the content from changing,
// but the level size still halves.
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

}  // namespace gq::GQ_SIGNATURE_VARIANT
