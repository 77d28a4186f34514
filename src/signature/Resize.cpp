#include "signature/Resize.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace gq {
namespace {

// Adds the bytes of count rows (each rowBytes long, stride apart) column-wise into sums.
// Kept as a plain loop over bytes so the compiler turns it into wide vector additions:
// the vertical pass touches every byte of the picture and dominates the shrink.
template <typename Sum>
void AddRows(const uint8_t* first, int stride, int count, int rowBytes, Sum* sums) {
  std::fill(sums, sums + rowBytes, Sum{0});
  for (int r = 0; r < count; ++r) {
    const uint8_t* row = first + static_cast<ptrdiff_t>(r) * stride;
    for (int i = 0; i < rowBytes; ++i) sums[i] = static_cast<Sum>(sums[i] + row[i]);
  }
}

template <typename Sum>
void BlockAverageRows(int stride, const uint8_t* pixels, int sx, int sy, int x0, int y0,
                      PackedImage* out) {
  const int rowBytes = out->width * sx * 3;
  const uint64_t area = static_cast<uint64_t>(sx) * sy;
  std::vector<Sum> sums(rowBytes);
  for (int oy = 0; oy < out->height; ++oy) {
    const uint8_t* first =
        pixels + static_cast<ptrdiff_t>(y0 + oy * sy) * stride + static_cast<ptrdiff_t>(x0) * 3;
    AddRows(first, stride, sy, rowBytes, sums.data());
    uint8_t* dst = out->row(oy);
    const Sum* block = sums.data();
    for (int ox = 0; ox < out->width; ++ox, block += 3 * sx) {
      uint64_t b = 0, g = 0, r = 0;
      for (int k = 0; k < sx; ++k) {
        b += block[3 * k];
        g += block[3 * k + 1];
        r += block[3 * k + 2];
      }
      dst[3 * ox] = static_cast<uint8_t>(b / area);
      dst[3 * ox + 1] = static_cast<uint8_t>(g / area);
      dst[3 * ox + 2] = static_cast<uint8_t>(r / area);
    }
  }
}

// Fixed-point sample position of output index j: integer part and 8-bit fraction.
struct Sample {
  int index;
  int next;
  int fraction;
};

std::vector<Sample> SamplePositions(int in, int out) {
  std::vector<Sample> samples(out);
  for (int j = 0; j < out; ++j) {
    int64_t e = static_cast<int64_t>(in) * 128 * (2 * static_cast<int64_t>(j) + 1) / out - 128;
    Sample& s = samples[j];
    s.index = e < 0 ? 0 : static_cast<int>(e >> 8);
    s.fraction = static_cast<int>(e & 0xFF);
    s.next = s.index + 1 < in ? s.index + 1 : s.index;
  }
  return samples;
}

}  // namespace

bool BlockAverage(int width, int height, int stride, const uint8_t* pixels, int blockWidth,
                  int blockHeight, PackedImage* out) {
  const int sx = std::max(blockWidth, 1);
  const int sy = std::max(blockHeight, 1);
  if (width <= 0 || height <= 0 || pixels == nullptr || width / sx <= 0 || height / sy <= 0) {
    out->Clear();
    return false;
  }
  out->Allocate(width / sx, height / sy);
  if (sx == 1 && sy == 1) {
    for (int y = 0; y < height; ++y)
      std::memcpy(out->row(y), pixels + static_cast<ptrdiff_t>(y) * stride, 3 * width);
    return true;
  }
  const int x0 = (width % sx) / 2;
  const int y0 = (height % sy) / 2;
  // 16-bit column sums hold up to 257 rows of 255.
  if (sy <= 257) {
    BlockAverageRows<uint16_t>(stride, pixels, sx, sy, x0, y0, out);
  } else {
    BlockAverageRows<uint32_t>(stride, pixels, sx, sy, x0, y0, out);
  }
  return true;
}

bool ResizeBilinear(int width, int height, const uint8_t* pixels, int outWidth, int outHeight,
                    PackedImage* out) {
  if (width <= 0 || height <= 0 || pixels == nullptr || outWidth <= 0 || outHeight <= 0) {
    out->Clear();
    return false;
  }
  out->Allocate(outWidth, outHeight);
  const std::vector<Sample> columns = SamplePositions(width, outWidth);
  const std::vector<Sample> rows = SamplePositions(height, outHeight);
  const int stride = PackedStride(width);
  for (int i = 0; i < outHeight; ++i) {
    const Sample& ry = rows[i];
    const uint8_t* top = pixels + static_cast<ptrdiff_t>(ry.index) * stride;
    const uint8_t* bottom = pixels + static_cast<ptrdiff_t>(ry.next) * stride;
    const int fy = ry.fraction;
    uint8_t* dst = out->row(i);
    for (int j = 0; j < outWidth; ++j) {
      const Sample& cx = columns[j];
      const int fx = cx.fraction;
      const int xi = 3 * cx.index;
      const int x1 = 3 * cx.next;
      for (int c = 0; c < 3; ++c) {
        const int lower = bottom[xi + c] * (256 - fx) + bottom[x1 + c] * fx;
        const int upper = top[x1 + c] * fx + top[xi + c] * (256 - fx);
        dst[3 * j + c] = static_cast<uint8_t>((lower * fy + upper * (256 - fy)) >> 16);
      }
    }
  }
  return true;
}

bool FitResize(int width, int height, const uint8_t* pixels, int outWidth, int outHeight,
               PackedImage* out) {
  if (width <= 0 || height <= 0 || outWidth <= 0 || outHeight <= 0) {
    out->Clear();
    return false;
  }
  if (2 * outWidth < width || 2 * outHeight < height) {
    const int nx = outWidth < width ? width / outWidth : 1;
    const int ny = outHeight < height ? height / outHeight : 1;
    PackedImage shrunk;
    if (!BlockAverage(width, height, PackedStride(width), pixels, nx, ny, &shrunk)) {
      out->Clear();
      return false;
    }
    return ResizeBilinear(shrunk.width, shrunk.height, shrunk.pixels.data(), outWidth, outHeight,
                          out);
  }
  return ResizeBilinear(width, height, pixels, outWidth, outHeight, out);
}

}  // namespace gq
