// Values 52-81 of one build: the best region of each of six colours.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "signature/Signature.h"
#include "signature/compute/Features.h"
#include "signature/compute/RegionFinder.h"

namespace gq::GQ_SIGNATURE_VARIANT {
namespace {

struct LocalColour {
  int centre;
  int width;
};
constexpr LocalColour kLocalColourTable[kLocalColours] = {{92, 28}, {118, 20}, {160, 40},
                                                          {0, 16},  {24, 28},  {64, 28}};

// The mask of one colour: (width - d) * chroma / width within width of the colour's hue
// centre, d measured around the hue circle. The width is a constant of each colour, so
// the division compiles to a multiplication.
template <int kWidth>
void MaskOf(const uint8_t* __restrict hue, const uint8_t* __restrict chroma, size_t n, int centre,
            uint8_t* __restrict out) {
  const uint8_t c = static_cast<uint8_t>(centre);
  for (size_t i = 0; i < n; ++i) {
    // Byte lanes: a grey pixel's distance (hue 255) means nothing, but its chroma is 0.
    const uint8_t h = hue[i];
    uint8_t d = h > c ? static_cast<uint8_t>(h - c) : static_cast<uint8_t>(c - h);
    d = d > 95 ? static_cast<uint8_t>(191 - d) : d;
    const uint8_t weight = d < kWidth ? static_cast<uint8_t>(kWidth - d) : uint8_t{0};
    // The product stays below 2^16, so the division by the constant runs on 16-bit lanes.
    out[i] = static_cast<uint8_t>(static_cast<uint16_t>(weight * chroma[i]) / kWidth);
  }
}

void ColourMask(const Channels& c, const LocalColour& colour, uint8_t* out) {
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

}  // namespace

void LocalValues(const Channels& c, int16_t* sig) {
  if (SmallWidths::Fits(c.width, c.height)) {
    LocalValuesWith<SmallWidths>(c, sig);
  } else {
    LocalValuesWith<WideWidths>(c, sig);
  }
}

}  // namespace gq::GQ_SIGNATURE_VARIANT
