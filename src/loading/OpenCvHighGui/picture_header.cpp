#include "loading/OpenCvHighGui/picture_header.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "base/Text.h"

namespace gq {
namespace {

uint32_t Big32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint16_t Big16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t Little32(const uint8_t* p) {
  return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}
uint16_t Little16(const uint8_t* p) { return static_cast<uint16_t>((p[1] << 8) | p[0]); }

bool Plausible(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= INT32_MAX && height <= INT32_MAX;
}

bool ProbeBmp(const uint8_t* d, size_t size, PictureHeader* h) {
  if (size < 26) return false;
  const uint32_t infoSize = Little32(d + 14);
  int64_t width, height;
  int bits;
  size_t paletteAt, entrySize, entries;
  if (infoSize == 12) {  // OS/2 core header
    width = Little16(d + 18);
    height = Little16(d + 20);
    bits = Little16(d + 24);
    paletteAt = 26;
    entrySize = 3;
    entries = bits <= 8 ? size_t{1} << bits : 0;
  } else if (infoSize >= 40 && size >= 54) {
    width = static_cast<int32_t>(Little32(d + 18));
    height = static_cast<int32_t>(Little32(d + 22));
    if (height < 0) height = -height;  // rows stored top first
    bits = Little16(d + 28);
    paletteAt = 14 + static_cast<size_t>(infoSize);
    entrySize = 4;
    const uint32_t used = Little32(d + 46);
    entries = bits <= 8 ? (used != 0 && used <= 256u ? used : size_t{1} << bits) : 0;
  } else {
    return false;
  }
  if (!Plausible(width, height)) return false;
  h->width = static_cast<int>(width);
  h->height = static_cast<int>(height);
  h->colour = bits > 8;
  for (size_t i = 0; i < entries && paletteAt + (i + 1) * entrySize <= size; ++i) {
    const uint8_t* e = d + paletteAt + i * entrySize;
    if (e[0] != e[1] || e[1] != e[2]) h->colour = true;
  }
  return true;
}

bool IsStartOfFrame(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool IsProgressive(uint8_t frameMarker) {
  return frameMarker == 0xC2 || frameMarker == 0xC6 || frameMarker == 0xCA || frameMarker == 0xCE;
}

// Finds the next marker the way the JPEG library does: bytes before a marker are
// skipped, fill bytes 0xFF are skipped, and a stuffed 0xFF 0x00 is part of the garbage.
// Leaves pos behind the marker; false at the end of the data or at the end of the image.
bool NextJpegMarker(const uint8_t* d, size_t size, size_t* pos, uint8_t* marker) {
  for (;;) {
    while (*pos < size && d[*pos] != 0xFF) ++*pos;
    while (*pos < size && d[*pos] == 0xFF) ++*pos;
    if (*pos >= size) return false;
    *marker = d[(*pos)++];
    if (*marker == 0x00 || *marker == 0x01 || (*marker >= 0xD0 && *marker <= 0xD7)) continue;
    return *marker != 0xD8 && *marker != 0xD9 && *pos + 2 <= size && Big16(d + *pos) >= 2;
  }
}

// The coefficient buffers of a picture decoded in several scans: 64 16-bit values per
// 8 x 8 block of every component, the blocks padded to whole units of its sampling.
uint64_t JpegCoefficientBytes(const uint8_t* frame, size_t components, int width, int height) {
  int hMax = 1, vMax = 1;
  for (size_t c = 0; c < components; ++c) {
    hMax = std::max(hMax, frame[3 * c + 1] >> 4);
    vMax = std::max(vMax, frame[3 * c + 1] & 15);
  }
  uint64_t bytes = 0;
  for (size_t c = 0; c < components; ++c) {
    const uint64_t h = std::max(1, frame[3 * c + 1] >> 4);
    const uint64_t v = std::max(1, frame[3 * c + 1] & 15);
    const uint64_t blocksWide = (uint64_t(width) * h + 8 * hMax - 1) / (8 * hMax);
    const uint64_t blocksHigh = (uint64_t(height) * v + 8 * vMax - 1) / (8 * vMax);
    bytes += ((blocksWide + h - 1) / h * h) * ((blocksHigh + v - 1) / v * v) * 128;
  }
  return bytes;
}

bool ProbeJpeg(const uint8_t* d, size_t size, PictureHeader* h) {
  if (size < 2 || d[0] != 0xFF || d[1] != 0xD8) return false;
  size_t pos = 2;
  uint8_t marker = 0;
  while (NextJpegMarker(d, size, &pos, &marker)) {
    if (marker == 0xDA) return false;  // no frame first
    const size_t length = Big16(d + pos);
    if (!IsStartOfFrame(marker)) {
      pos += length;
      continue;
    }
    if (length < 8 || pos + 8 > size) return false;
    const int height = Big16(d + pos + 3);
    const int width = Big16(d + pos + 5);
    if (!Plausible(width, height)) return false;
    const size_t components = d[pos + 7];
    h->width = width;
    h->height = height;
    h->colour = components >= 3;
    if (pos + 8 + 3 * components > size) return true;
    const uint8_t* frame = d + pos + 8;  // id, sampling, table of each component
    // A baseline picture is decoded row by row, unless its first scan leaves
    // components for later scans.
    bool wholePicture = IsProgressive(marker);
    for (pos += length; !wholePicture && NextJpegMarker(d, size, &pos, &marker);
         pos += Big16(d + pos)) {
      if (marker != 0xDA) continue;
      wholePicture = pos + 3 <= size && d[pos + 2] < components;
      break;
    }
    if (wholePicture) h->workingBytes = JpegCoefficientBytes(frame, components, width, height);
    return true;
  }
  return false;
}

bool ProbeSunRaster(const uint8_t* d, size_t size, PictureHeader* h) {
  if (size < 32) return false;
  const int64_t width = static_cast<int32_t>(Big32(d + 4));
  const int64_t height = static_cast<int32_t>(Big32(d + 8));
  const uint32_t depth = Big32(d + 12);
  const uint32_t mapType = Big32(d + 24);
  const uint32_t mapLength = Big32(d + 28);
  if (!Plausible(width, height)) return false;
  if (depth != 1 && depth != 8 && depth != 24 && depth != 32) return false;
  h->width = static_cast<int>(width);
  h->height = static_cast<int>(height);
  h->colour = depth >= 24;
  if (depth == 8 && mapType == 1 && mapLength >= 3 && 32 + size_t{mapLength} <= size) {
    const size_t entries = mapLength / 3;
    const uint8_t* map = d + 32;
    for (size_t i = 0; i < entries; ++i)
      if (map[i] != map[entries + i] || map[i] != map[2 * entries + i]) h->colour = true;
  }
  return true;
}

// Reads a decimal number after white space and "#" comments.
bool PxmNumber(const uint8_t* d, size_t size, size_t* pos, int64_t* value) {
  for (;;) {
    while (*pos < size && std::isspace(d[*pos])) ++*pos;
    if (*pos < size && d[*pos] == '#') {
      while (*pos < size && d[*pos] != '\n' && d[*pos] != '\r') ++*pos;
      continue;
    }
    break;
  }
  if (*pos >= size || !std::isdigit(d[*pos])) return false;
  *value = 0;
  while (*pos < size && std::isdigit(d[*pos])) {
    *value = *value * 10 + (d[(*pos)++] - '0');
    if (*value > INT32_MAX) return false;
  }
  return true;
}

bool ProbePxm(const uint8_t* d, size_t size, PictureHeader* h) {
  size_t pos = 2;
  int64_t width, height;
  if (!PxmNumber(d, size, &pos, &width) || !PxmNumber(d, size, &pos, &height)) return false;
  if (!Plausible(width, height)) return false;
  h->width = static_cast<int>(width);
  h->height = static_cast<int>(height);
  h->colour = d[1] == '3' || d[1] == '6';
  return true;
}

bool ProbePng(const uint8_t* d, size_t size, PictureHeader* h) {
  if (size < 26 || std::memcmp(d + 12, "IHDR", 4) != 0) return false;
  const int64_t width = Big32(d + 16);
  const int64_t height = Big32(d + 20);
  if (!Plausible(width, height)) return false;
  h->width = static_cast<int>(width);
  h->height = static_cast<int>(height);
  const uint8_t colourType = d[25];
  h->colour = colourType == 2 || colourType == 3 || colourType == 6;
  return true;
}

// The first image directory of a classic TIFF file. The codec decodes one strip (or
// tile) at a time, and converts it through a 32-bit copy.
bool ProbeTiff(const uint8_t* d, size_t size, PictureHeader* h) {
  if (size < 8) return false;
  const bool little = d[0] == 'I';
  auto u16 = [&](size_t at) { return little ? Little16(d + at) : Big16(d + at); };
  auto u32 = [&](size_t at) { return little ? Little32(d + at) : Big32(d + at); };
  const size_t directory = u32(4);
  if (directory > size || size - directory < 2) return false;
  const size_t count = u16(directory);
  int64_t width = 0, height = 0;
  uint32_t photometric = 2, samples = 1, bits = 8, rowsPerStrip = 0, tileWidth = 0, tileLength = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = directory + 2 + 12 * i;
    if (entry + 12 > size) return false;
    const uint16_t tag = u16(entry);
    const uint16_t type = u16(entry + 2);
    if (type != 3 && type != 4) continue;  // SHORT or LONG
    // The first value: in the entry when all values fit into its four bytes.
    size_t at = entry + 8;
    if (uint64_t{u32(entry + 4)} * (type == 3 ? 2 : 4) > 4) at = u32(entry + 8);
    if (at > size || size - at < (type == 3 ? 2u : 4u)) continue;
    const uint32_t value = type == 3 ? u16(at) : u32(at);
    if (tag == 256) width = value;
    if (tag == 257) height = value;
    if (tag == 258) bits = value;
    if (tag == 262) photometric = value;
    if (tag == 277) samples = value;
    if (tag == 278) rowsPerStrip = value;
    if (tag == 322) tileWidth = value;
    if (tag == 323) tileLength = value;
  }
  if (!Plausible(width, height)) return false;
  h->width = static_cast<int>(width);
  h->height = static_cast<int>(height);
  h->colour = !(photometric <= 1 && samples <= 2);
  const bool tiled = tileWidth > 0 && tileLength > 0;
  const uint64_t pieceWidth = tiled ? tileWidth : static_cast<uint64_t>(width);
  uint64_t pieceHeight = tiled ? tileLength : rowsPerStrip;
  if (!tiled && (pieceHeight == 0 || pieceHeight > static_cast<uint64_t>(height))) {
    pieceHeight = static_cast<uint64_t>(height);
  }
  const uint64_t rowBytes = (pieceWidth * std::max<uint32_t>(samples, 1) * bits + 7) / 8;
  h->workingBytes = (pieceWidth * 4 + rowBytes) * pieceHeight;
  return true;
}

}  // namespace

PictureFormat FormatBySignature(const uint8_t* d, size_t size) {
  if (size >= 2 && d[0] == 'B' && d[1] == 'M') return PictureFormat::kBmp;
  if (size >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return PictureFormat::kJpeg;
  if (size >= 4 && Big32(d) == 0x59A66A95u) return PictureFormat::kSunRaster;
  if (size >= 3 && d[0] == 'P' && d[1] >= '1' && d[1] <= '6' && std::isspace(d[2]))
    return PictureFormat::kPxm;
  if (size >= 4 && (std::memcmp(d, "II\x2A\x00", 4) == 0 || std::memcmp(d, "MM\x00\x2A", 4) == 0))
    return PictureFormat::kTiff;
  if (size >= 8 && std::memcmp(d, "\x89PNG\r\n\x1A\n", 8) == 0) return PictureFormat::kPng;
  return PictureFormat::kNone;
}

PictureFormat FormatByExtension(const char* path) {
  if (path == nullptr) return PictureFormat::kNone;
  const char* dot = std::strrchr(path, '.');
  if (dot == nullptr) return PictureFormat::kNone;
  const std::string_view extension(dot + 1);
  struct Entry {
    const char* extension;
    PictureFormat format;
  };
  static constexpr Entry kWriters[] = {
      {"bmp", PictureFormat::kBmp},       {"dib", PictureFormat::kBmp},
      {"jpeg", PictureFormat::kJpeg},     {"jpg", PictureFormat::kJpeg},
      {"jpe", PictureFormat::kJpeg},      {"sr", PictureFormat::kSunRaster},
      {"ras", PictureFormat::kSunRaster}, {"pbm", PictureFormat::kPxm},
      {"pgm", PictureFormat::kPxm},       {"ppm", PictureFormat::kPxm},
      {"tiff", PictureFormat::kTiff},     {"tif", PictureFormat::kTiff},
      {"png", PictureFormat::kPng}};
  for (const Entry& e : kWriters)
    if (EqualsNoCase(extension, e.extension)) return e.format;
  return PictureFormat::kNone;
}

bool ProbeHeader(PictureFormat format, const uint8_t* data, size_t size, PictureHeader* header) {
  *header = PictureHeader{};
  switch (format) {
    case PictureFormat::kBmp:
      return ProbeBmp(data, size, header);
    case PictureFormat::kJpeg:
      return ProbeJpeg(data, size, header);
    case PictureFormat::kSunRaster:
      return ProbeSunRaster(data, size, header);
    case PictureFormat::kPxm:
      return ProbePxm(data, size, header);
    case PictureFormat::kTiff:
      return ProbeTiff(data, size, header);
    case PictureFormat::kPng:
      return ProbePng(data, size, header);
    case PictureFormat::kNone:
      return false;
  }
  return false;
}

}  // namespace gq
