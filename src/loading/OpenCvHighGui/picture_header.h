// The built-in picture formats: which one a file's first bytes name (the extension plays
// no part in reading), which writer a path's extension names, and the size and colour a
// file's header declares, read before any pixel buffer exists (so a file that declares
// a gigantic picture is refused without allocating it). Pure functions; callable from
// any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gq {

// In registration order; the first whose signature matches makes the reader.
enum class PictureFormat { kNone, kBmp, kJpeg, kSunRaster, kPxm, kTiff, kPng };

// Enough leading bytes for the longest signature (PNG's eight).
inline constexpr size_t kLongestSignature = 8;

// The format whose signature the data starts with, or kNone.
PictureFormat FormatBySignature(const uint8_t* data, size_t size);

// The writer for a path's extension (case-insensitive): bmp dib, jpeg jpg jpe, sr ras,
// pbm pgm ppm, tiff tif, png. kNone for any other extension or none.
PictureFormat FormatByExtension(const char* path);

struct PictureHeader {
  int width = 0;
  int height = 0;
  bool colour = false;  // the file holds a colour picture
  // Bytes the codec allocates beside the picture's buffer while decoding: the
  // coefficients of the whole picture for a progressive or multi-scan JPEG, the decoded
  // strip or tile and its 32-bit copy for a TIFF; 0 for codecs that work row by row.
  uint64_t workingBytes = 0;
};

// Reads the declared size and colour from the header of a file of the given format, and
// estimates the codec's working memory. False when the header is damaged, cut short or
// declares an empty picture.
bool ProbeHeader(PictureFormat format, const uint8_t* data, size_t size, PictureHeader* header);

}  // namespace gq
