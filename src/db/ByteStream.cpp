#include "db/ByteStream.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "db/FileLayer.h"
#include "platform/FullTransfer.h"

namespace gq {
namespace {

constexpr size_t kBufferSize = 1 << 16;

}  // namespace

FileByteStream::FileByteStream(int fd, int64_t position) : m_Fd(fd), m_Position(position) {}

FileByteStream::~FileByteStream() { Flush(); }

bool FileByteStream::ReadExact(void* buffer, size_t size) {
  if (!m_WriteBuffer.empty() && !Flush()) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    if (m_ReadStart == m_ReadEnd) {
      if (size >= kBufferSize) {  // large reads bypass the buffer
        if (!ReadFully(m_Fd, out, size)) return false;
        m_Position += static_cast<int64_t>(size);
        return true;
      }
      m_ReadBuffer.resize(kBufferSize);
      ssize_t n =
          RetryOnInterrupt([&] { return Files().Read(m_Fd, m_ReadBuffer.data(), kBufferSize); });
      if (n <= 0) return false;
      m_ReadStart = 0;
      m_ReadEnd = static_cast<size_t>(n);
    }
    size_t take = std::min(size, m_ReadEnd - m_ReadStart);
    std::memcpy(out, m_ReadBuffer.data() + m_ReadStart, take);
    m_ReadStart += take;
    out += take;
    size -= take;
    m_Position += static_cast<int64_t>(take);
  }
  return true;
}

bool FileByteStream::WriteAll(const void* buffer, size_t size) {
  if (m_Failed) return false;
  if (m_ReadStart != m_ReadEnd) {  // the descriptor is ahead of the logical position
    if (!SeekTo(m_Position)) return false;
  }
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  m_WriteBuffer.insert(m_WriteBuffer.end(), bytes, bytes + size);
  m_Position += static_cast<int64_t>(size);
  return m_WriteBuffer.size() < kBufferSize || Flush();
}

bool FileByteStream::Flush() {
  if (m_WriteBuffer.empty()) return !m_Failed;
  bool ok = !m_Failed && WriteFully(m_Fd, m_WriteBuffer.data(), m_WriteBuffer.size());
  m_WriteBuffer.clear();
  if (!ok) m_Failed = true;
  return ok;
}

bool FileByteStream::SeekTo(int64_t position) {
  if (!Flush()) return false;
  m_ReadStart = m_ReadEnd = 0;
  if (Files().Seek(m_Fd, position, SEEK_SET) != position) return false;
  m_Position = position;
  return true;
}

int64_t FileByteStream::Remaining() {
  if (m_FileSize == -2) m_FileSize = FileSize(m_Fd);
  return m_FileSize < 0 ? -1 : std::max<int64_t>(0, m_FileSize - m_Position);
}

}  // namespace gq
