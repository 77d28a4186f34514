#include "loading/OpenCvHighGui/sunraster_rgb.h"

namespace gq {
namespace {

uint32_t Big32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

bool IsSunRasterRgb(const uint8_t* data, size_t size, int* width, int* height) {
  if (size < 32 || Big32(data) != 0x59A66A95u) return false;
  const uint32_t depth = Big32(data + 12);
  const int32_t w = static_cast<int32_t>(Big32(data + 4));
  const int32_t h = static_cast<int32_t>(Big32(data + 8));
  if (Big32(data + 20) != 3 || (depth != 24 && depth != 32) || w <= 0 || h <= 0) return false;
  *width = w;
  *height = h;
  return true;
}

bool DecodeSunRasterRgb(const uint8_t* data, size_t size, int width, int height, uint8_t* bgr,
                        size_t step) {
  int declaredWidth, declaredHeight;
  if (!IsSunRasterRgb(data, size, &declaredWidth, &declaredHeight) || declaredWidth != width ||
      declaredHeight != height)
    return false;
  const uint32_t depth = Big32(data + 12);
  const uint64_t mapLength = Big32(data + 28);
  const uint64_t bytesPerPixel = depth / 8;
  // Rows are padded to a multiple of 16 bits.
  const uint64_t rowBytes = (static_cast<uint64_t>(width) * bytesPerPixel + 1) & ~uint64_t{1};
  const uint64_t start = 32 + mapLength;
  if (start > size || (size - start) / rowBytes < static_cast<uint64_t>(height)) return false;
  // 32-bit pixels carry a pad byte first: X R G B.
  const int skip = depth == 32 ? 1 : 0;
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = data + start + y * rowBytes;
    uint8_t* out = bgr + y * step;
    for (int x = 0; x < width; ++x, in += bytesPerPixel, out += 3) {
      out[0] = in[skip + 2];
      out[1] = in[skip + 1];
      out[2] = in[skip];
    }
  }
  return true;
}

}  // namespace gq
