// Reading text files: opening one without blocking, a whole file with a size limit, and
// one line from a C file. Pure helpers; callable from any thread.
#pragma once

#include <cstdio>
#include <string>

namespace gq {

// Opens a regular file for reading in binary mode. Never blocks in open (a named pipe
// or a device is refused, errno EINVAL); nullptr on failure.
FILE* OpenRegularFile(const std::string& path);

// Reads the file in 4096-byte blocks into text. Fails when it cannot be opened (as
// OpenRegularFile) or when more than maxSize bytes were read (a negative maxSize means
// no limit).
bool ReadWholeTextFile(const std::string& path, long long maxSize, std::string* text);

// Reads up to a line feed (not kept). True when a line feed was found or any
// character was read.
bool ReadLine(FILE* file, std::string* line);

}  // namespace gq
