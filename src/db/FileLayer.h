// The one file layer under the database file and its recovery journal: every open,
// read, write, seek, fsync, rename and delete of those files goes through the current
// FileSystem, so that tests can make the N-th write, read or fsync fail (and keep
// failing) without touching the code above. The default is plain POSIX I/O.
// The current file system is set before the database is used; the calls themselves
// may come from any thread that owns the descriptor.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace gq {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // POSIX semantics: -1 with errno set on failure. Opens regular files only (folders
  // with O_DIRECTORY), without blocking: anything else fails with EINVAL.
  virtual int Open(const std::string& path, int flags, unsigned mode) = 0;
  virtual ssize_t Read(int fd, void* buffer, size_t size) = 0;
  virtual ssize_t Write(int fd, const void* buffer, size_t size) = 0;
  virtual int64_t Seek(int fd, int64_t offset, int whence) = 0;
  virtual int Sync(int fd) = 0;
  virtual int Close(int fd) = 0;
  virtual int Unlink(const std::string& path) = 0;
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  virtual int Truncate(int fd, int64_t size) = 0;
  // An exclusive, non-blocking lock on the whole file ("no sharing"); -1 when another
  // open file holds it.
  virtual int LockExclusive(int fd) = 0;
  virtual int LockShared(int fd) = 0;
};

// The file system in use (plain POSIX unless a test installed another).
FileSystem& Files();
// Installs fs (none = plain POSIX); returns the one installed before.
FileSystem* SetFileSystem(FileSystem* fs);

// Helpers over Files().
bool FileExists(const std::string& path);
// Reads or writes exactly size bytes (retrying partial transfers and EINTR); false on
// an error or a short transfer at the end of the file.
bool ReadFully(int fd, void* buffer, size_t size);
bool WriteFully(int fd, const void* buffer, size_t size);
// The size of the open file, or -1.
int64_t FileSize(int fd);
// fsync of the folder that holds path (through the file layer).
bool SyncFolderOf(const std::string& path);

}  // namespace gq
