// The thumbnail of a picture: a packed BGR image whose longer side is kThumbnailSide
// pixels when the picture is larger on either side, else the picture itself. It is
// what the thumbnail view shows and what the signature is computed from. Pure
// function without shared state; callable from any thread.
#pragma once

#include <cstdint>

#include "signature/PackedImage.h"

namespace gq {

inline constexpr int kThumbnailSide = 96;

// Makes the thumbnail of a 3-channel BGR picture (stride bytes per row). A picture of at
// most maxSide x maxSide pixels is copied unchanged; a larger one is block-averaged by
// n = max(width, height) / maxSide and then resized bilinearly so that its longer side is
// maxSide. On failure (the shrunk picture would be empty) returns false with *thumbnail
// cleared (both sides 0). A picture of extreme aspect can give a side of 0 or 1; the
// caller rejects thumbnails with a side of 2 or less.
bool MakeThumbnail(int width, int height, int stride, const uint8_t* pixels, int maxSide,
                   PackedImage* thumbnail);

}  // namespace gq
