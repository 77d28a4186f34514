#include "search/SplitImage.h"

#include <algorithm>

#include "search/SquaredDifferences.h"
#include "signature/Resize.h"

namespace gq {

void SplitChannels(const PackedImage& image, SplitImage* split) {
  const int32_t width = std::max(image.width, 0), height = std::max(image.height, 0);
  const size_t pixels = static_cast<size_t>(width) * height;
  split->width = width;
  split->height = height;
  split->smallest.resize(pixels);
  split->above.resize(3 * pixels);
  uint8_t* smallest = split->smallest.data();
  uint8_t* above = split->above.data();
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* p = image.row(y);
    for (int32_t x = 0; x < width; ++x, p += 3, above += 3) {
      const uint8_t low = std::min({p[0], p[1], p[2]});
      *smallest++ = low;
      above[0] = static_cast<uint8_t>(p[0] - low);
      above[1] = static_cast<uint8_t>(p[1] - low);
      above[2] = static_cast<uint8_t>(p[2] - low);
    }
  }
}

bool SplitResized(const PackedImage& image, int32_t width, int32_t height, SplitImage* split) {
  if (image.empty() || width <= 0 || height <= 0) {
    SplitChannels(PackedImage(), split);
    return false;
  }
  if (image.width == width && image.height == height) {
    SplitChannels(image, split);
    return true;
  }
  PackedImage resized;
  const bool made =
      FitResize(image.width, image.height, image.pixels.data(), width, height, &resized);
  SplitChannels(resized, split);
  return made;
}

double SplitDifference(const SplitImage& a, const SplitImage& b, int32_t originalWidth,
                       int32_t originalHeight) {
  const double s = static_cast<double>(
      SquaredDifferenceSum(a.smallest.data(), b.smallest.data(), a.smallest.size()));
  const double l =
      static_cast<double>(SquaredDifferenceSum(a.above.data(), b.above.data(), a.above.size()));
  const double g = static_cast<double>(a.height) * originalWidth / originalHeight;
  const double h = a.width;
  const double q = std::max(g, h) / std::min(g, h);
  return (s + 2 * l) * q;
}

}  // namespace gq
