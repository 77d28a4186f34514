// Test helpers for the search: generated pictures, records made from them the way the
// loader makes them (thumbnail, then signature), copies and variants of a picture, and
// a database with a search engine on top.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "db/ImageRecordDB.h"
#include "search/SearchEngine.h"
#include "signature/PackedImage.h"
#include "signature/Signature.h"
#include "signature/Thumbnail.h"
#include "support/RecordOfPicture.h"

namespace gq::test {

// A picture of a few coloured rectangles on a gradient, all following from seed.
inline PackedImage GeneratedPicture(uint32_t seed, int width = 120, int height = 90) {
  std::mt19937 random(seed);
  PackedImage picture;
  picture.Allocate(width, height);
  const int base[3] = {static_cast<int>(random() % 200), static_cast<int>(random() % 200),
                       static_cast<int>(random() % 200)};
  for (int y = 0; y < height; ++y) {
    uint8_t* p = picture.row(y);
    for (int x = 0; x < width; ++x, p += 3) {
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(base[c] + (x + y + 17 * c) % 56);
    }
  }
  const int shapes = 3 + static_cast<int>(random() % 4);
  for (int s = 0; s < shapes; ++s) {
    const int x0 = static_cast<int>(random() % width), y0 = static_cast<int>(random() % height);
    const int x1 = std::min(width, x0 + 10 + static_cast<int>(random() % (width / 2)));
    const int y1 = std::min(height, y0 + 10 + static_cast<int>(random() % (height / 2)));
    const uint8_t colour[3] = {static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                               static_cast<uint8_t>(random())};
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) std::memcpy(picture.row(y) + 3 * x, colour, 3);
    }
  }
  return picture;
}

// The picture mirrored left to right.
inline PackedImage Mirrored(const PackedImage& picture) {
  PackedImage mirror;
  mirror.Allocate(picture.width, picture.height);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      std::memcpy(mirror.row(y) + 3 * x, picture.row(y) + 3 * (picture.width - 1 - x), 3);
    }
  }
  return mirror;
}

// The picture with every byte moved by a small amount that follows from seed.
inline PackedImage Perturbed(const PackedImage& picture, uint32_t seed, int amount = 3) {
  std::mt19937 random(seed);
  PackedImage copy = picture;
  for (uint8_t& byte : copy.pixels) {
    const int value = byte + static_cast<int>(random() % (2 * amount + 1)) - amount;
    byte = static_cast<uint8_t>(std::clamp(value, 0, 255));
  }
  return copy;
}

// A database with its search engine; the thumbnail budget is lifted, so no file is
// needed for the thumbnails.
struct SearchFixture {
  SearchFixture() { db.m_ThumbBudget = 1 << 30; }
  ~SearchFixture() {
    engine.reset();
    db.ClearAll();
  }
  ImageRecord* Add(ImageRecord* record) {
    db.AddRecord(record, false);
    return record;
  }
  ImageRecord* AddPicture(const std::string& path, const PackedImage& picture) {
    return Add(RecordOf(path, picture));
  }
  ImageRecordDB db;
  std::unique_ptr<SearchEngine> engine = std::make_unique<SearchEngine>(db);
};

}  // namespace gq::test
