// Builds packed BGR test pictures: uniform, random, with rectangles. Test helper.
#pragma once

#include <cstdint>
#include <random>

#include "signature/PackedImage.h"

namespace gq::testing {

inline PackedImage Uniform(int width, int height, uint8_t b, uint8_t g, uint8_t r) {
  PackedImage image;
  image.Allocate(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      image.row(y)[3 * x] = b;
      image.row(y)[3 * x + 1] = g;
      image.row(y)[3 * x + 2] = r;
    }
  return image;
}

inline void FillRect(PackedImage* image, int x0, int y0, int width, int height, uint8_t b,
                     uint8_t g, uint8_t r) {
  for (int y = y0; y < y0 + height; ++y)
    for (int x = x0; x < x0 + width; ++x) {
      image->row(y)[3 * x] = b;
      image->row(y)[3 * x + 1] = g;
      image->row(y)[3 * x + 2] = r;
    }
}

inline PackedImage Noise(int width, int height, std::mt19937* random) {
  PackedImage image;
  image.Allocate(width, height);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < 3 * width; ++x) image.row(y)[x] = static_cast<uint8_t>(byte(*random));
  return image;
}

// Noise plus a few solid rectangles of random colours, so colour regions form.
inline PackedImage Blocks(int width, int height, std::mt19937* random) {
  PackedImage image = Noise(width, height, random);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int k = 0; k < 4; ++k) {
    std::uniform_int_distribution<int> xs(0, width - 1), ys(0, height - 1);
    const int x0 = xs(*random), y0 = ys(*random);
    std::uniform_int_distribution<int> ws(1, width - x0), hs(1, height - y0);
    FillRect(&image, x0, y0, ws(*random), hs(*random), static_cast<uint8_t>(byte(*random)),
             static_cast<uint8_t>(byte(*random)), static_cast<uint8_t>(byte(*random)));
  }
  return image;
}

}  // namespace gq::testing
