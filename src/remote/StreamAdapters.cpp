#include "remote/StreamAdapters.h"

namespace gq {

bool CommandByteStream::ReadExact(void* buffer, size_t size) {
  return gq::ReadExact(m_Stream, buffer, size) == static_cast<int64_t>(size);
}

bool CommandByteStream::WriteAll(const void*, size_t) { return false; }

bool BufferByteStream::ReadExact(void*, size_t) { return false; }

bool BufferByteStream::WriteAll(const void* buffer, size_t size) {
  m_Buffer->append(static_cast<const char*>(buffer), size);
  return true;
}

}  // namespace gq
