// The layout of the database file (".gqdb"), shared by its reader and writer; written up
// in docs/file-format.md. All integers are little-endian.
//   header (32 bytes): magic "GQDB", version, constant 1, record count (int32),
//                      unused bytes (int64), record list offset (int64, 0 = no list)
//   thumbnail blocks:  width, height, byte count (int32 each), then the pixels
//   record list:       records one after another in running-number order
// The recovery journal holds the 32 header bytes of the last save followed by the
// record list of that save.
#pragma once

#include <cstdint>

namespace gq {

inline constexpr int32_t kDbMagic = 0x42445147;  // the bytes "GQDB"
inline constexpr int32_t kDbVersion = 6;
inline constexpr int32_t kDbOldestVersion = 4;  // 4 and 5 are read with conversion
inline constexpr int32_t kDbConstant = 1;
inline constexpr int64_t kDbHeaderSize = 32;
inline constexpr int64_t kDbIdentitySize = 12;  // magic, version, constant

// Header field offsets.
inline constexpr int64_t kDbMagicOffset = 0;
inline constexpr int64_t kDbVersionOffset = 4;
inline constexpr int64_t kDbConstantOffset = 8;
inline constexpr int64_t kDbCountOffset = 12;
inline constexpr int64_t kDbUnusedOffset = 16;
inline constexpr int64_t kDbListOffsetOffset = 24;

// A thumbnail block's fixed part: width, height, byte count.
inline constexpr int64_t kThumbBlockHeaderSize = 12;

// The stored signature: values 0 to 102 as int16.
inline constexpr int32_t kStoredSignatureBytes = 206;

// Bounds that keep a damaged file from making the reader allocate without limit.
inline constexpr int32_t kMaxStoredPathBytes = 65536;      // path text block, zero included
inline constexpr int32_t kMaxSkippedBlockBytes = 1 << 20;  // blocks that are read and ignored

// The fields of the header.
struct DbHeader {
  int32_t magic = kDbMagic;
  int32_t version = kDbVersion;
  int32_t constant = kDbConstant;
  int32_t recordCount = 0;
  int64_t unusedBytes = 0;
  int64_t listOffset = 0;
};

// Encodes or decodes the 32 header bytes.
void EncodeHeader(const DbHeader& header, unsigned char bytes[kDbHeaderSize]);
DbHeader DecodeHeader(const unsigned char bytes[kDbHeaderSize]);

}  // namespace gq
