// Test helper shared by the search and edited-copy tests: a record made from a picture the
// way the loader makes it (thumbnail, sizes, then signature).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "db/ImageRecord.h"
#include "signature/PackedImage.h"
#include "signature/Signature.h"

namespace gq::test {

// A record for the picture as the loader makes it: thumbnail and signature.
inline ImageRecord* RecordOf(const std::string& path, const PackedImage& picture) {
  ImageRecord* record = MakeRecord(path, 1000);
  EXPECT_TRUE(MakeRecordThumbnail(record, picture.width, picture.height, picture.stride(),
                                  picture.pixels.data()));
  record->m_PictureWidth = picture.width;
  record->m_PictureHeight = picture.height;
  EXPECT_TRUE(ComputeSignature(record->m_ThumbWidth, record->m_ThumbHeight, record->m_ThumbPixels,
                               picture.width, picture.height, record->m_Signature));
  return record;
}

}  // namespace gq::test
