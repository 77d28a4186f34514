#include "search/IdentityDifference.h"

#include <cstring>

#include "search/SplitImage.h"

namespace gq {

double IdentityDifference(const PackedImage& a, const PackedImage& b, bool perPixel) {
  if (a.empty() || b.empty()) return kRejectedDifference;
  SplitImage first, second;
  SplitChannels(a, &first);
  if (!SplitResized(b, a.width, a.height, &second)) return kRejectedDifference;
  double difference = SplitDifference(first, second, b.width, b.height);
  if (perPixel) difference /= static_cast<double>(a.width) * a.height;
  return difference;
}

bool CopyThumbnail(ImageRecordDB& db, ImageRecord* record, PackedImage* thumbnail) {
  thumbnail->Clear();
  if (record == nullptr) return false;
  if (record->m_ThumbPixels == nullptr && !db.LoadThumbnail(record)) return false;
  if (record->m_ThumbPixels == nullptr || record->m_ThumbWidth <= 0 || record->m_ThumbHeight <= 0) {
    return false;
  }
  thumbnail->Allocate(record->m_ThumbWidth, record->m_ThumbHeight);
  std::memcpy(thumbnail->pixels.data(), record->m_ThumbPixels, thumbnail->pixels.size());
  return true;
}

double IdentityDifference(ImageRecordDB& db, ImageRecord* a, ImageRecord* b) {
  PackedImage first, second;
  if (!CopyThumbnail(db, a, &first) || !CopyThumbnail(db, b, &second)) {
    return kRejectedDifference;
  }
  return IdentityDifference(first, second);
}

}  // namespace gq
