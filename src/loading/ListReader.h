// Reading a text list line by line, as the loader and the counter both do. A list is
// 8-bit text; one that starts with the byte pair 0xFF 0xFE skips it, and when zero bytes
// follow within its first block it is read as UTF-16 (little-endian), as lists written
// on Windows are, and its lines come out as UTF-8. One reader per thread.
#pragma once

#include <cstdio>
#include <string>

namespace gq {

class ListReader {
 public:
  ListReader() = default;
  ~ListReader();
  ListReader(const ListReader&) = delete;
  ListReader& operator=(const ListReader&) = delete;

  // False when the list cannot be opened or is not a regular file (a named pipe is
  // refused without blocking).
  bool Open(const std::string& path);
  // The next line without its line feed; false at the end.
  bool ReadLine(std::string* line);

 private:
  bool ReadUtf16Line(std::string* line);
  // The next UTF-16 code unit; false at the end.
  bool NextUnit(unsigned* unit);

  FILE* m_File = nullptr;
  bool m_Utf16 = false;
};

}  // namespace gq
