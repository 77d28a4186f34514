// A packed image in the form the identity difference measures it: per pixel the smallest
// of its three channels, and the three channels less that smallest, each as one array
// without row padding. Splitting once lets a piece be compared with many thumbnails (and
// a thumbnail with many pieces) by sums of squared byte differences only. A value type;
// any thread may use its own.
#pragma once

#include <cstdint>
#include <vector>

#include "signature/PackedImage.h"

namespace gq {

struct SplitImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> smallest;  // width * height
  std::vector<uint8_t> above;     // 3 * width * height, in the image's channel order

  bool empty() const { return width <= 0 || height <= 0; }
};

// Splits image into *split (which keeps its buffers when they are large enough).
void SplitChannels(const PackedImage& image, SplitImage* split);

// Splits image resized to width x height (FitResize; unchanged when it has that size), as
// the identity difference compares it with a picture of that size. False, with *split
// empty, when the image or the size is empty.
bool SplitResized(const PackedImage& image, int32_t width, int32_t height, SplitImage* split);

// The identity difference of b from a (both split at a's size), not per pixel: with s the
// sum of the squared differences of the smallest channels and l that of the channels
// above them, (s + 2 l) * q, where q = max(g, h) / min(g, h) for g = a.height *
// originalWidth / originalHeight and h = a.width compares a's aspect with that of b
// before it was resized to a.
double SplitDifference(const SplitImage& a, const SplitImage& b, int32_t originalWidth,
                       int32_t originalHeight);

}  // namespace gq
