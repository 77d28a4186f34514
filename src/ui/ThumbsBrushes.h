// The colours the thumbnail view paints with, derived from the background colour:
// the background itself and the contrast colour that marks the search picture and the
// first picture of each duplicate group. Pure; colours are 0xRRGGBB.
#pragma once

#include <cstdint>

namespace gq {

struct ThumbsColours {
  uint32_t background = 0xFFFFFF;
  uint32_t contrast = 0x7F7F7F;
};

// Halves the components of a light background (largest component above 128) towards
// black, of a dark one towards white; when that lands within 160 (summed component
// differences) of the highlight colour, the other direction is used.
ThumbsColours ColoursFor(uint32_t background, uint32_t highlight);

// The setting stores a Windows RGB value (0x00BBGGRR).
uint32_t FromWindowsRgb(uint32_t colorref);

}  // namespace gq
