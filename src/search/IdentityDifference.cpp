#include "search/IdentityDifference.h"

#include <algorithm>
#include <cstring>

#include "signature/Resize.h"

namespace gq {

double IdentityDifference(const PackedImage& a, const PackedImage& b, bool perPixel) {
  if (a.empty() || b.empty()) return kRejectedDifference;
  PackedImage resized;
  const PackedImage* other = &b;
  if (b.width != a.width || b.height != a.height) {
    if (!FitResize(b.width, b.height, b.pixels.data(), a.width, a.height, &resized)) {
      return kRejectedDifference;
    }
    other = &resized;
  }
  double s = 0, l = 0;
  for (int y = 0; y < a.height; ++y) {
    const uint8_t* pa = a.row(y);
    const uint8_t* pb = other->row(y);
    int64_t rowS = 0, rowL = 0;
    for (int x = 0; x < a.width; ++x, pa += 3, pb += 3) {
      const int ma = std::min({pa[0], pa[1], pa[2]});
      const int mb = std::min({pb[0], pb[1], pb[2]});
      rowS += (mb - ma) * (mb - ma);
      for (int c = 0; c < 3; ++c) {
        const int diff = (pb[c] - mb) - (pa[c] - ma);
        rowL += diff * diff;
      }
    }
    s += static_cast<double>(rowS);
    l += static_cast<double>(rowL);
  }
  const double g = static_cast<double>(a.height) * b.width / b.height;
  const double h = a.width;
  const double q = std::max(g, h) / std::min(g, h);
  double difference = (s + 2 * l) * q;
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
