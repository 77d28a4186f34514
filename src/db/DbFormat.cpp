#include "db/DbFormat.h"

namespace gq {
namespace {

void Put(unsigned char* at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint64_t Get(const unsigned char* at, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

}  // namespace

void EncodeHeader(const DbHeader& header, unsigned char bytes[kDbHeaderSize]) {
  Put(bytes + kDbMagicOffset, static_cast<uint32_t>(header.magic), 4);
  Put(bytes + kDbVersionOffset, static_cast<uint32_t>(header.version), 4);
  Put(bytes + kDbConstantOffset, static_cast<uint32_t>(header.constant), 4);
  Put(bytes + kDbCountOffset, static_cast<uint32_t>(header.recordCount), 4);
  Put(bytes + kDbUnusedOffset, static_cast<uint64_t>(header.unusedBytes), 8);
  Put(bytes + kDbListOffsetOffset, static_cast<uint64_t>(header.listOffset), 8);
}

DbHeader DecodeHeader(const unsigned char bytes[kDbHeaderSize]) {
  DbHeader header;
  header.magic = static_cast<int32_t>(Get(bytes + kDbMagicOffset, 4));
  header.version = static_cast<int32_t>(Get(bytes + kDbVersionOffset, 4));
  header.constant = static_cast<int32_t>(Get(bytes + kDbConstantOffset, 4));
  header.recordCount = static_cast<int32_t>(Get(bytes + kDbCountOffset, 4));
  header.unusedBytes = static_cast<int64_t>(Get(bytes + kDbUnusedOffset, 8));
  header.listOffset = static_cast<int64_t>(Get(bytes + kDbListOffsetOffset, 8));
  return header;
}

}  // namespace gq
