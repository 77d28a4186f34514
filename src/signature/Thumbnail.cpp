#include "signature/Thumbnail.h"

#include <algorithm>
#include <cstring>

#include "signature/Resize.h"

namespace gq {

bool MakeThumbnail(int width, int height, int stride, const uint8_t* pixels, int maxSide,
                   PackedImage* thumbnail) {
  thumbnail->Clear();
  if (width <= 0 || height <= 0 || pixels == nullptr || maxSide <= 0) return false;
  if (width <= maxSide && height <= maxSide) {
    thumbnail->Allocate(width, height);
    for (int y = 0; y < height; ++y)
      std::memcpy(thumbnail->row(y), pixels + static_cast<ptrdiff_t>(y) * stride, 3 * width);
    return true;
  }
  const int n = std::max(std::max(width, height) / maxSide, 1);
  if (width / n <= 0 || height / n <= 0) return false;
  PackedImage shrunk;
  if (!BlockAverage(width, height, stride, pixels, n, n, &shrunk)) return false;

  int outWidth, outHeight;
  if (height < width) {
    outWidth = maxSide;
    outHeight = static_cast<int>(static_cast<int64_t>(height) * maxSide / width);
  } else {
    outHeight = maxSide;
    outWidth = static_cast<int>(static_cast<int64_t>(width) * maxSide / height);
  }
  if (outWidth <= 0 || outHeight <= 0) {
    // A side of 0 pixels: the thumbnail exists but is empty, so the caller rejects it.
    thumbnail->width = outWidth;
    thumbnail->height = outHeight;
    return true;
  }
  return ResizeBilinear(shrunk.width, shrunk.height, shrunk.pixels.data(), outWidth, outHeight,
                        thumbnail);
}

}  // namespace gq
