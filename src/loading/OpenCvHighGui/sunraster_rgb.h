// A reader for the Sun raster files the installed OpenCV claims but cannot decode:
// uncompressed type 3 (RT_FORMAT_RGB, samples in red-green-blue order) with 24 or 32
// bits per pixel, as ImageMagick writes them. Pure function; callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gq {

// True when the data is a Sun raster of this kind with a picture of at least 1 x 1
// pixels; *width and *height receive its size.
bool IsSunRasterRgb(const uint8_t* data, size_t size, int* width, int* height);

// Decodes into an 8-bit BGR buffer of width x height (step bytes per row) that the
// caller sized from the header. False for a header that is not of this kind or pixel
// data that is cut short.
bool DecodeSunRasterRgb(const uint8_t* data, size_t size, int width, int height, uint8_t* bgr,
                        size_t step);

}  // namespace gq
