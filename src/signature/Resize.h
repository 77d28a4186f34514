// The shared resize primitives on packed BGR images: the block-average shrink, the
// 8.8 fixed-point bilinear resize and their combination used by the mosaic and the
// identity check. Integer arithmetic only, so every platform gives the same bytes.
// Pure functions without shared state; callable from any thread.
#pragma once

#include <cstdint>

#include "signature/PackedImage.h"

namespace gq {

// Shrinks by averaging blocks of blockWidth x blockHeight pixels: the output has
// width / blockWidth columns and height / blockHeight rows, the blocks start at column
// (width % blockWidth) / 2 and row (height % blockHeight) / 2, and each channel is the
// truncated mean of its block. Block sides below 1 count as 1; when both are 1 the
// result is a plain copy. stride is the input's bytes per row (at least 3 * width).
// Returns false, with *out cleared, when the input or the output would be empty.
bool BlockAverage(int width, int height, int stride, const uint8_t* pixels, int blockWidth,
                  int blockHeight, PackedImage* out);

// Bilinear resize of a packed image to outWidth x outHeight with 8.8 fixed-point
// sample positions: output column j samples at (width * 128 * (2j + 1)) / outWidth - 128
// (1/256 pixel units), rows likewise. Returns false, with *out cleared, when the input
// or the output is empty.
bool ResizeBilinear(int width, int height, const uint8_t* pixels, int outWidth, int outHeight,
                    PackedImage* out);

// Resize to outWidth x outHeight that first block-averages when the output is less
// than half the input on a side, so that every input pixel takes part.
bool FitResize(int width, int height, const uint8_t* pixels, int outWidth, int outHeight,
               PackedImage* out);

}  // namespace gq
