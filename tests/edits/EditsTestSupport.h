// Test helpers for the edited-copy search: a generated photo-like picture, the edits
// the search must see through (made at full size, as a photo editor makes them), and
// descriptors made the way the search makes them, from the loader's thumbnail.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "db/ImageRecord.h"
#include "edits/EditDescriptor.h"
#include "signature/PackedImage.h"

namespace gq::test {

// A landscape of soft blobs, edges and fine texture, all following from seed.
inline PackedImage PhotoLike(uint32_t seed, int width = 400, int height = 300) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> unit(0, 1);
  struct Blob {
    float x, y, radius, colour[3];
  };
  std::vector<Blob> blobs(12);
  for (Blob& b : blobs) {
    b = {unit(random) * width,
         unit(random) * height,
         (0.05f + 0.25f * unit(random)) * width,
         {unit(random) * 255, unit(random) * 255, unit(random) * 255}};
  }
  const float sky[3] = {unit(random) * 255, unit(random) * 255, unit(random) * 255};
  PackedImage picture;
  picture.Allocate(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      float value[3];
      for (int c = 0; c < 3; ++c) value[c] = sky[c] * (1 - 0.6f * y / height);
      for (const Blob& b : blobs) {
        const float d = std::hypot(x - b.x, y - b.y) / b.radius;
        if (d < 1) {
          for (int c = 0; c < 3; ++c) value[c] = value[c] * d + b.colour[c] * (1 - d);
        }
      }
      const float texture = 12 * std::sin(x * 0.7f + seed) * std::sin(y * 0.9f);
      for (int c = 0; c < 3; ++c) {
        picture.row(y)[3 * x + c] =
            static_cast<uint8_t>(std::clamp(value[c] + texture, 0.f, 255.f));
      }
    }
  }
  return picture;
}

// A width x height picture whose pixel (x, y) is copied from pick(x, y).
inline PackedImage Remapped(int width, int height,
                            const std::function<const uint8_t*(int x, int y)>& pick) {
  PackedImage out;
  out.Allocate(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) std::memcpy(out.row(y) + 3 * x, pick(x, y), 3);
  }
  return out;
}

inline PackedImage Rotated90(const PackedImage& p) {  // clockwise
  return Remapped(p.height, p.width, [&](int x, int y) { return p.row(p.height - 1 - x) + 3 * y; });
}

inline PackedImage MirroredLeftRight(const PackedImage& p) {
  return Remapped(p.width, p.height,
                  [&](int x, int y) { return p.row(y) + 3 * (p.width - 1 - x); });
}

// The region of the picture between the given shares of its width and height.
inline PackedImage Region(const PackedImage& p, float left, float top, float right, float bottom) {
  const int x0 = static_cast<int>(left * p.width), y0 = static_cast<int>(top * p.height);
  const int w = static_cast<int>(right * p.width) - x0,
            h = static_cast<int>(bottom * p.height) - y0;
  return Remapped(w, h, [&](int x, int y) { return p.row(y0 + y) + 3 * (x0 + x); });
}

// Every byte b replaced by tone(b, channel).
inline PackedImage Toned(const PackedImage& p, const std::function<float(float, int)>& tone) {
  PackedImage out = p;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const uint8_t* in = p.row(y) + 3 * x;
      for (int c = 0; c < 3; ++c) {
        out.row(y)[3 * x + c] = static_cast<uint8_t>(std::clamp(tone(in[c], c), 0.f, 255.f));
      }
    }
  }
  return out;
}

inline PackedImage Grey(const PackedImage& p) {
  PackedImage out = p;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      uint8_t* pixel = out.row(y) + 3 * x;
      std::fill(pixel, pixel + 3,
                static_cast<uint8_t>((pixel[0] + 6 * pixel[1] + 3 * pixel[2]) / 10));
    }
  }
  return out;
}

// The descriptor of the picture's thumbnail as the loader makes it.
inline EditDescriptor DescriptorOf(const PackedImage& picture) {
  ImageRecord* record = MakeRecord("/d/p.jpg");
  EXPECT_TRUE(MakeRecordThumbnail(record, picture.width, picture.height, picture.stride(),
                                  picture.pixels.data()));
  EditDescriptor descriptor;
  EXPECT_TRUE(ComputeEditDescriptor(record->m_ThumbWidth, record->m_ThumbHeight,
                                    record->m_ThumbPixels, &descriptor));
  DestroyRecord(record);
  return descriptor;
}

}  // namespace gq::test
