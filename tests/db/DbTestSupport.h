// Test helpers for the picture database: records with deterministic thumbnails and
// signatures, a fresh folder per test, and a comparable picture of a whole collection
// (paths, signatures and thumbnails byte for byte).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "db/DatabaseOps.h"
#include "db/ImageRecordDB.h"
#include "platform/Process.h"

namespace gq::test {

// A record whose thumbnail (w x h) and signature follow from seed.
inline ImageRecord* MakeTestRecord(const std::string& path, uint32_t seed, int w = 12, int h = 9) {
  ImageRecord* record = MakeRecord(path, 1000 + static_cast<int32_t>(seed % 1000));
  std::mt19937 random(seed);
  auto bytes = static_cast<size_t>(ThumbnailBytes(w, h));
  auto* pixels = static_cast<uint8_t*>(std::malloc(bytes));
  for (size_t i = 0; i < bytes; ++i) pixels[i] = static_cast<uint8_t>(random());
  SetRecordThumbnail(record, pixels, w, h);
  record->m_PictureWidth = w * 10;
  record->m_PictureHeight = h * 10;
  for (int i = 0; i < kComputedSignatureLength; ++i) {
    record->m_Signature[i] = static_cast<int16_t>(random());
  }
  return record;
}

struct RecordPicture {
  std::vector<int16_t> signature;
  std::vector<uint8_t> thumbnail;
  int32_t width = 0;
  int32_t height = 0;
  int32_t fileTime = 0;
  bool operator==(const RecordPicture&) const = default;
};

// Everything a saved collection must give back, by path (thumbnails read as needed).
inline std::map<std::string, RecordPicture> PictureOf(ImageRecordDB& db) {
  std::map<std::string, RecordPicture> picture;
  for (ImageRecord* record : db.Records()) {
    RecordPicture& entry = picture[record->m_Path];
    entry.signature.assign(record->m_Signature, record->m_Signature + kComputedSignatureLength);
    bool loaded = record->m_ThumbPixels != nullptr;
    if (loaded || db.LoadThumbnail(record)) {
      entry.width = record->m_ThumbWidth;
      entry.height = record->m_ThumbHeight;
      entry.thumbnail.assign(record->m_ThumbPixels,
                             record->m_ThumbPixels + ThumbnailBytes(entry.width, entry.height));
    }
    entry.fileTime = record->m_FileTime;
  }
  return picture;
}

// The picture of what the database file at `path` holds; a failed load is a test failure
// and gives an empty picture.
inline std::map<std::string, RecordPicture> PictureOfFile(const std::string& path) {
  ImageRecordDB db;
  EXPECT_TRUE(LoadDatabase(db, path, 0, 1)) << path;
  return PictureOf(db);
}

// A new empty folder for this test.
inline std::string FreshFolder(const std::string& name) {
  std::string base = ::testing::TempDir();
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  std::string folder = base + "/" + name;
  RunProcess({"/bin/rm", "-rf", folder}, 10000);
  RunProcess({"/bin/mkdir", "-p", folder}, 10000);
  return folder;
}

// A new empty folder named prefix + the current test's name.
inline std::string FolderForThisTest(const std::string& prefix) {
  return FreshFolder(prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name());
}

}  // namespace gq::test
