#include "db/RecordCodec.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "db/DbFormat.h"

namespace gq {
namespace {

void Put32(std::vector<unsigned char>& out, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void Put64(std::vector<unsigned char>& out, int64_t value) {
  uint64_t v = static_cast<uint64_t>(value);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

int32_t Get32(const unsigned char* bytes) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | bytes[i];
  return static_cast<int32_t>(v);
}

int64_t Get64(const unsigned char* bytes) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | bytes[i];
  return static_cast<int64_t>(v);
}

bool Read32(ByteStream& in, int32_t* value) {
  unsigned char bytes[4];
  if (!in.ReadExact(bytes, 4)) return false;
  *value = Get32(bytes);
  return true;
}

bool Read64(ByteStream& in, int64_t* value) {
  unsigned char bytes[8];
  if (!in.ReadExact(bytes, 8)) return false;
  *value = Get64(bytes);
  return true;
}

// Reads and drops size bytes without allocating them.
bool Skip(ByteStream& in, int64_t size) {
  unsigned char scratch[4096];
  while (size > 0) {
    size_t take = static_cast<size_t>(std::min<int64_t>(size, sizeof scratch));
    if (!in.ReadExact(scratch, take)) return false;
    size -= static_cast<int64_t>(take);
  }
  return true;
}

bool Fits(int64_t length, int64_t bound, int64_t remaining) {
  return length >= 0 && length <= bound && (remaining < 0 || length <= remaining);
}

}  // namespace

bool WriteRecord(ByteStream& out, const ImageRecord& record) {
  std::vector<unsigned char> bytes;
  bytes.reserve(record.m_Path.size() + 260);
  Put32(bytes, static_cast<int32_t>(record.m_Path.size() + 1));
  bytes.insert(bytes.end(), record.m_Path.begin(), record.m_Path.end());
  bytes.push_back(0);
  Put64(bytes, record.m_ThumbOffset);
  Put32(bytes, 1);
  bytes.push_back(0);
  Put32(bytes, record.m_PictureWidth);
  Put32(bytes, record.m_PictureHeight);
  Put32(bytes, record.m_FileTime < -1 ? -record.m_FileTime : record.m_FileTime);
  Put32(bytes, kStoredSignatureBytes);
  for (int i = 0; i < kComputedSignatureLength; ++i) {
    uint16_t v = static_cast<uint16_t>(record.m_Signature[i]);
    bytes.push_back(static_cast<unsigned char>(v));
    bytes.push_back(static_cast<unsigned char>(v >> 8));
  }
  return out.WriteAll(bytes.data(), bytes.size());
}

CodecStatus ReadRecord(ByteStream& in, int32_t version, int64_t remaining, ImageRecord* record) {
  int32_t pathLength = 0;
  if (!Read32(in, &pathLength)) return CodecStatus::kShort;
  if (!Fits(pathLength, kMaxStoredPathBytes, remaining)) return CodecStatus::kDamaged;
  std::string path(static_cast<size_t>(pathLength), '\0');
  if (pathLength > 0 && !in.ReadExact(path.data(), path.size())) return CodecStatus::kShort;
  path.resize(std::strlen(path.c_str()));
  record->m_Path = std::move(path);
  if (!Read64(in, &record->m_ThumbOffset)) return CodecStatus::kShort;

  if (version >= 6) {
    int32_t reserved = 0;
    if (!Read32(in, &reserved)) return CodecStatus::kShort;
    if (!Fits(reserved, kMaxSkippedBlockBytes, remaining)) return CodecStatus::kDamaged;
    if (!Skip(in, reserved)) return CodecStatus::kShort;
    if (!Read32(in, &record->m_PictureWidth) || !Read32(in, &record->m_PictureHeight)) {
      return CodecStatus::kShort;
    }
  }
  int32_t fileTime = 0;
  if (!Read32(in, &fileTime)) return CodecStatus::kShort;
  record->m_FileTime = fileTime < -1 ? -1 : fileTime;

  int32_t signatureLength = 0;
  if (!Read32(in, &signatureLength)) return CodecStatus::kShort;
  if (version < 6) {
    if (!Fits(signatureLength, kMaxSkippedBlockBytes, remaining)) return CodecStatus::kDamaged;
    return Skip(in, signatureLength) ? CodecStatus::kOk : CodecStatus::kShort;
  }
  if (signatureLength != kStoredSignatureBytes) return CodecStatus::kDamaged;
  unsigned char values[kStoredSignatureBytes];
  if (!in.ReadExact(values, sizeof values)) return CodecStatus::kShort;
  for (int i = 0; i < kComputedSignatureLength; ++i) {
    record->m_Signature[i] = static_cast<int16_t>(values[2 * i] | (values[2 * i + 1] << 8));
  }
  return CodecStatus::kOk;
}

bool WriteThumbnailBlock(ByteStream& out, const ImageRecord& record) {
  if (!record.m_ThumbPixels) return false;
  int64_t bytes = ThumbnailBytes(record.m_ThumbWidth, record.m_ThumbHeight);
  std::vector<unsigned char> head;
  Put32(head, record.m_ThumbWidth);
  Put32(head, record.m_ThumbHeight);
  Put32(head, static_cast<int32_t>(bytes));
  return out.WriteAll(head.data(), head.size()) &&
         out.WriteAll(record.m_ThumbPixels, static_cast<size_t>(bytes));
}

bool DecodeThumbnailBlockHead(const unsigned char* bytes, int32_t maxSide,
                              ThumbnailBlockHead* head) {
  head->width = Get32(bytes);
  head->height = Get32(bytes + 4);
  head->count = Get32(bytes + 8);
  return static_cast<uint32_t>(head->width) <= static_cast<uint32_t>(maxSide) &&
         static_cast<uint32_t>(head->height) <= static_cast<uint32_t>(maxSide);
}

CodecStatus ReadThumbnailBlock(ByteStream& in, int64_t remaining, ImageRecord* record,
                               int32_t maxSide) {
  SetRecordThumbnail(record, nullptr, 0, 0);
  unsigned char bytes[kThumbBlockHeaderSize];
  if (!in.ReadExact(bytes, sizeof bytes)) return CodecStatus::kShort;
  ThumbnailBlockHead head;
  if (!DecodeThumbnailBlockHead(bytes, maxSide, &head)) return CodecStatus::kDamaged;
  const int32_t count = head.count;
  if (count != ThumbnailBytes(head.width, head.height) || count == 0) {
    return CodecStatus::kDamaged;
  }
  if (remaining >= 0 && remaining < kThumbBlockHeaderSize + count) return CodecStatus::kDamaged;
  auto* pixels = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(count)));
  if (!pixels) return CodecStatus::kShort;
  if (!in.ReadExact(pixels, static_cast<size_t>(count))) {
    std::free(pixels);
    return CodecStatus::kShort;
  }
  SetRecordThumbnail(record, pixels, head.width, head.height);
  return CodecStatus::kOk;
}

}  // namespace gq
