// The packed BGR image: the one pixel layout of thumbnails and of all image work
// buffers. Pixel (x, y) starts at byte y * stride + 3 * x, channels blue, green, red,
// and the row stride is 3 * width rounded up to a multiple of 4. An image owns its
// buffer; whoever receives one from an operation owns it. A value type without shared
// state: any thread may use its own images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gq {

// Bytes per row of a packed BGR image of the given width.
constexpr int PackedStride(int width) { return (3 * width + 3) & ~3; }

struct PackedImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;  // PackedStride(width) * height bytes

  int stride() const { return PackedStride(width); }
  bool empty() const { return width <= 0 || height <= 0; }
  const uint8_t* row(int y) const { return pixels.data() + static_cast<size_t>(y) * stride(); }
  uint8_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * stride(); }

  // Sets the size and allocates a zeroed buffer for it.
  void Allocate(int newWidth, int newHeight) {
    width = newWidth;
    height = newHeight;
    pixels.assign(static_cast<size_t>(PackedStride(newWidth)) * newHeight, 0);
  }
  void Clear() {
    width = 0;
    height = 0;
    pixels.clear();
  }
};

}  // namespace gq
