// The identity check of the duplicate search and the mosaic: a pixel comparison of two
// thumbnails that separates real copies from pictures that only have close signatures
// (a mirror image, for example). Pure functions on images; the record form reads
// thumbnails back from the database file, so it runs on the user-interface thread.
#pragma once

#include "db/ImageRecordDB.h"
#include "signature/PackedImage.h"

namespace gq {

// Two pictures count as the same when their difference is at most this.
inline constexpr double kIdentityLimit = 324;

// The difference of b from a: b is resized to a's size when the sizes differ; per pixel
// the squared difference of the smallest channels (s) and of the channels above their
// smallest (l) are summed, and the result is (s + 2 l) * q, where q >= 1 grows with the
// mismatch of the two aspect ratios. perPixel divides by a's pixel count. An empty
// thumbnail on either side gives kRejectedDifference.
double IdentityDifference(const PackedImage& a, const PackedImage& b, bool perPixel = true);

inline constexpr double kRejectedDifference = 1e99;

// Copies a record's thumbnail, reading it from the database file when it is paged out.
// False when the record has none.
bool CopyThumbnail(ImageRecordDB& db, ImageRecord* record, PackedImage* thumbnail);

// The identity difference of two records' thumbnails (per pixel).
double IdentityDifference(ImageRecordDB& db, ImageRecord* a, ImageRecord* b);

}  // namespace gq
