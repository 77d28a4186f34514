// The steps of one build of the signature computation (see EntryPoints.h): the thumbnail
// split into channels, and one function per group of signature values. Each writes its
// values of `sig` (the kSig* places of Signature.h) and nothing else. Pure functions;
// callable from any thread. Declared inside the build's namespace, so that every step
// calls its own build's helpers, ConvertColours included.
#pragma once

#include <cstdint>
#include <vector>

#include "signature/compute/EntryPoints.h"

#if !defined(GQ_SIGNATURE_VARIANT)
#error "GQ_SIGNATURE_VARIANT names the namespace of the build (portable or avx2)"
#endif

namespace gq::GQ_SIGNATURE_VARIANT {

// A fraction as a signature value: times 32767, truncated toward zero.
inline int16_t Scaled(double fraction) { return static_cast<int16_t>(fraction * 32767.0); }

// The thumbnail split into the four per-pixel channels the features use.
struct Channels {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> grey;    // (B + 2G + R) >> 2
  std::vector<uint8_t> hue;     // hue code or 255
  std::vector<uint8_t> chroma;  // 0-255
  std::vector<uint8_t> white;   // smallest channel
};

// Splits a packed BGR picture of w x h pixels (rows PackedStride(w) bytes apart).
Channels SplitChannels(int w, int h, const uint8_t* pixels);

// Values 0-35: colour, saturation and brightness of the nine cells of a 3 x 3 grid of
// the packed BGR picture.
void CoarseValues(int w, int h, const uint8_t* pixels, int16_t* sig);

// Values 36-51: mean neighbour contrast on four halving levels of the grey image
// (w x h values, consumed as working space).
void TextureValues(std::vector<uint8_t> grey, int w, int h, int16_t* sig);

// Values 52-81: place, extent, intensity and shape of the best region of each colour.
void LocalValues(const Channels& c, int16_t* sig);

// Values 82-99: window sums over the hue, chroma and white-level histograms.
void GlobalValues(const Channels& c, int16_t* sig);

// Values 100-102: the full picture's format and the logarithms of its sides.
void SizeValues(int pictureWidth, int pictureHeight, int16_t* sig);

}  // namespace gq::GQ_SIGNATURE_VARIANT
