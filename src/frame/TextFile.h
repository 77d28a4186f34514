// Reading text files: a whole file with a size limit, and one line from a C file.
// Pure helpers; callable from any thread.
#pragma once

#include <cstdio>
#include <string>

namespace gq {

// Reads the file in 4096-byte blocks into text. Fails when it cannot be opened or when
// more than maxSize bytes were read (a negative maxSize means no limit).
bool ReadWholeTextFile(const std::string& path, long long maxSize, std::string* text);

// Reads up to a line feed (not kept). True when a line feed was found or any
// character was read.
bool ReadLine(FILE* file, std::string* line);

}  // namespace gq
