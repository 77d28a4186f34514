// ByteStream adapters for the remote "add" request, so that a record crosses the
// network in the database file's own encoding: one reads from a command stream (the
// server), one collects the encoded bytes in memory so a request leaves in one write
// (the client). One thread at a time.
#pragma once

#include <string>

#include "db/ByteStream.h"
#include "base/CommandStream.h"

namespace gq {

// Reads from a command stream; writing is not offered (false).
class CommandByteStream : public ByteStream {
 public:
  explicit CommandByteStream(CommandStream stream) : m_Stream(stream) {}
  bool ReadExact(void* buffer, size_t size) override;
  bool WriteAll(const void* buffer, size_t size) override;

 private:
  CommandStream m_Stream;
};

// Appends everything written to a text the caller owns; reading is not offered (false).
class BufferByteStream : public ByteStream {
 public:
  explicit BufferByteStream(std::string* buffer) : m_Buffer(buffer) {}
  bool ReadExact(void* buffer, size_t size) override;
  bool WriteAll(const void* buffer, size_t size) override;

 private:
  std::string* m_Buffer;
};

}  // namespace gq
