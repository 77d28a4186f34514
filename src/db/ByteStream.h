// The stream that records and thumbnails are encoded over: the database file (through
// the file layer, buffered) or, for the remote "add" request, a socket. One thread at
// a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gq {

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Reads exactly size bytes; false on an error or when the stream ends first.
  virtual bool ReadExact(void* buffer, size_t size) = 0;
  // Writes all size bytes; false on an error.
  virtual bool WriteAll(const void* buffer, size_t size) = 0;
};

// A buffered stream over an open file descriptor of the file layer, with a known
// position. Writes are collected and go out on Flush (and before any seek or read).
class FileByteStream : public ByteStream {
 public:
  // position: the descriptor's current offset.
  FileByteStream(int fd, int64_t position);
  ~FileByteStream() override;

  bool ReadExact(void* buffer, size_t size) override;
  bool WriteAll(const void* buffer, size_t size) override;
  // Writes out what is buffered; false (and the position unknown) on failure.
  bool Flush();
  // Moves to an absolute offset (writing out pending bytes first).
  bool SeekTo(int64_t position);
  int64_t Position() const { return m_Position; }
  // Bytes from the position to the end of the file as it was on disk at the first call
  // (-1 when unknown); used while reading, to bound what a damaged length may claim.
  int64_t Remaining();

 private:
  int m_Fd;
  int64_t m_Position;  // logical position of the next byte read or written
  std::vector<unsigned char> m_ReadBuffer;
  size_t m_ReadStart = 0;  // next unread byte in m_ReadBuffer
  size_t m_ReadEnd = 0;
  std::vector<unsigned char> m_WriteBuffer;
  bool m_Failed = false;    // a write failed; Flush reports it
  int64_t m_FileSize = -2;  // measured by the first Remaining(); -2 = not yet
};

}  // namespace gq
