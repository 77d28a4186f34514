#include "ui/ThumbsBrushes.h"

#include <algorithm>
#include <cstdlib>

namespace gq {

namespace {

int Component(uint32_t colour, int shift) { return static_cast<int>((colour >> shift) & 0xFF); }

uint32_t Transform(uint32_t colour, bool darker) {
  uint32_t result = 0;
  for (int shift : {16, 8, 0}) {
    const int c = Component(colour, shift);
    const int t = darker ? c / 2 : 255 - (255 - c) / 2;
    result |= static_cast<uint32_t>(t) << shift;
  }
  return result;
}

int Difference(uint32_t a, uint32_t b) {
  int sum = 0;
  for (int shift : {16, 8, 0}) sum += std::abs(Component(a, shift) - Component(b, shift));
  return sum;
}

}  // namespace

ThumbsColours ColoursFor(uint32_t background, uint32_t highlight) {
  const int largest =
      std::max({Component(background, 16), Component(background, 8), Component(background, 0)});
  const bool darker = largest > 128;
  ThumbsColours colours;
  colours.background = background & 0xFFFFFF;
  colours.contrast = Transform(background, darker);
  if (Difference(colours.contrast, highlight) < 160) {
    colours.contrast = Transform(background, !darker);
  }
  return colours;
}

uint32_t FromWindowsRgb(uint32_t colorref) {
  return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

}  // namespace gq
