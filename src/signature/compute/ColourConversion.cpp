// The colour conversion of one build: ConvertColours, and the thumbnail split into the
// channels the features read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "signature/PackedImage.h"
#include "signature/compute/Features.h"

namespace gq::GQ_SIGNATURE_VARIANT {
namespace {

// The colour conversion of a run of pixels in three passes that each run on vector
// lanes: the order of the channels, the quotient f, the hue code. f = (middle - smallest)
// * 255 / (largest - smallest) is computed in single precision: the quotient of two exact
// integers below 2^16 lies at least 1/255 below the next integer, far more than the
// rounding error, so truncation gives the integer quotient.
constexpr int kColourChunk = 256;

// The case 4 [R < G] + 2 [G < B] + [B < R] names which channel is largest, middle and
// smallest; ties fall into the case the strict comparisons select. Case 0 is grey. Byte
// arithmetic throughout (the middle channel is the larger of min(B, G) and
// min(max(B, G), R); the chroma sum saturates at 255), so the loop runs on byte lanes.
void OrderChannels(const uint8_t* __restrict p, int n, uint16_t* __restrict num,
                   uint8_t* __restrict den, uint8_t* __restrict which, uint8_t* __restrict chroma,
                   uint8_t* __restrict white) {
  for (int x = 0; x < n; ++x) {
    const uint8_t b = p[3 * x], g = p[3 * x + 1], r = p[3 * x + 2];
    const uint8_t largest = std::max(b, std::max(g, r));
    const uint8_t smallest = std::min(b, std::min(g, r));
    const uint8_t middle = std::max(std::min(b, g), std::min(std::max(b, g), r));
    const uint8_t range = static_cast<uint8_t>(largest - smallest);
    const uint8_t rise = static_cast<uint8_t>(middle - smallest);
    num[x] = static_cast<uint16_t>(rise * 255);
    den[x] = std::max(range, uint8_t{1});
    which[x] = static_cast<uint8_t>(4 * (r < g) + 2 * (g < b) + (b < r));
    const uint8_t sum = static_cast<uint8_t>(range + rise);
    chroma[x] = sum < range ? uint8_t{255} : sum;
    white[x] = smallest;
  }
}

void Quotients(const uint16_t* __restrict num, const uint8_t* __restrict den, int n,
               int16_t* __restrict f) {
  for (int x = 0; x < n; ++x)
    f[x] = static_cast<int16_t>(
        static_cast<int>(static_cast<float>(num[x]) / static_cast<float>(den[x])));
}

// The case gives the hue base (256 times the sextant, plus 255 where f runs backwards).
// 16-bit lanes: the base is picked by masks, and f is negated where it runs backwards.
void HueCodes(const uint8_t* __restrict which, const int16_t* __restrict f, int n,
              uint8_t* __restrict hue) {
  for (int x = 0; x < n; ++x) {
    const int16_t c = which[x];
    auto is = [c](int16_t k) { return static_cast<int16_t>(-static_cast<int16_t>(c == k)); };
    const int16_t base = static_cast<int16_t>((is(1) & 768) | (is(2) & 256) | (is(3) & 767) |
                                              (is(4) & 1280) | (is(5) & 1279) | (is(6) & 255));
    const int16_t back = static_cast<int16_t>(is(3) | is(5) | is(6));
    const int16_t code = static_cast<int16_t>((base + ((f[x] ^ back) - back)) >> 3);
    hue[x] = static_cast<uint8_t>(code | is(0));
  }
}

void GreyValues(const uint8_t* __restrict p, int n, uint8_t* __restrict grey) {
  for (int x = 0; x < n; ++x)
    grey[x] = static_cast<uint8_t>((p[3 * x] + 2 * p[3 * x + 1] + p[3 * x + 2]) >> 2);
}

}  // namespace

void ConvertColours(const uint8_t* bgr, int count, uint8_t* hue, uint8_t* chroma, uint8_t* white) {
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

Channels SplitChannels(int w, int h, const uint8_t* pixels) {
  // Each buffer is made at its size rather than grown: growing would put an out-of-line
  // copy of the library's growth code into this build.
  const size_t n = static_cast<size_t>(w) * h;
  Channels out;
  out.width = w;
  out.height = h;
  for (std::vector<uint8_t>* buffer : {&out.grey, &out.hue, &out.chroma, &out.white})
    *buffer = std::vector<uint8_t>(n);
  const int stride = PackedStride(w);
  for (int y = 0; y < h; ++y) {
    const size_t i = static_cast<size_t>(y) * w;
    const uint8_t* row = pixels + static_cast<ptrdiff_t>(y) * stride;
    GreyValues(row, w, out.grey.data() + i);
    ConvertColours(row, w, out.hue.data() + i, out.chroma.data() + i, out.white.data() + i);
  }
  return out;
}

}  // namespace gq::GQ_SIGNATURE_VARIANT
