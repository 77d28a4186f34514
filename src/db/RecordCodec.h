// Encoding of one picture record and of one thumbnail block, the same bytes in the
// database file and in the remote "add" request. A record (version 6): path as a text
// block (length with the zero byte), thumbnail offset (int64), a reserved text block of
// one zero byte, picture width and height, file time (int32 each), and the signature
// as a 206-byte text block (values 0-102). Versions 4 and 5 lack the reserved block and
// the picture size, and their signature block is skipped. Any thread, one stream at a
// time.
#pragma once

#include <cstdint>

#include "db/ByteStream.h"
#include "db/ImageRecord.h"

namespace gq {

enum class CodecStatus {
  kOk,
  kShort,    // the stream ended or failed
  kDamaged,  // a length or size outside what the format allows
};

// Writes the record in version 6. An update-marked time is written as its positive value.
bool WriteRecord(ByteStream& out, const ImageRecord& record);

// Reads a record of the given version into record (path, offset, sizes, time, values
// 0-102). remaining bounds the lengths it may read (-1: only the fixed bounds).
CodecStatus ReadRecord(ByteStream& in, int32_t version, int64_t remaining, ImageRecord* record);

// The head of a thumbnail block: the sides and the byte count of the pixels that follow
// (int32 each, little-endian; kThumbBlockHeaderSize bytes in all).
struct ThumbnailBlockHead {
  int32_t width = 0;
  int32_t height = 0;
  int32_t count = 0;
};

// Decodes the head from its kThumbBlockHeaderSize bytes; false when a side is negative or
// above maxSide.
bool DecodeThumbnailBlockHead(const unsigned char* bytes, int32_t maxSide,
                              ThumbnailBlockHead* head);

// Writes the record's thumbnail block; the pixels must be in memory.
bool WriteThumbnailBlock(ByteStream& out, const ImageRecord& record);

// Reads a thumbnail block into fresh pixels of the record (counted as loaded). Sides
// above maxSide, a byte count other than the computed one, or fewer bytes left than it
// needs, are damage, found before any pixel is read; then the record keeps sizes 0 and
// no pixels.
CodecStatus ReadThumbnailBlock(ByteStream& in, int64_t remaining, ImageRecord* record,
                               int32_t maxSide = kMaxStoredThumbnailSide);

}  // namespace gq
