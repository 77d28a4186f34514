#include "db/FileLayer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/FullTransfer.h"

namespace gq {
namespace {

class PosixFileSystem : public FileSystem {
 public:
  // Never blocks in open; only regular files (and folders when asked for) are opened.
  int Open(const std::string& path, int flags, unsigned mode) override {
    int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    struct stat info;
    bool wanted = fstat(fd, &info) == 0 &&
                  ((flags & O_DIRECTORY) ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode));
    if (!wanted) {
      ::close(fd);
      errno = EINVAL;
      return -1;
    }
    return fd;
  }
  ssize_t Read(int fd, void* buffer, size_t size) override { return ::read(fd, buffer, size); }
  ssize_t Write(int fd, const void* buffer, size_t size) override {
    return ::write(fd, buffer, size);
  }
  int64_t Seek(int fd, int64_t offset, int whence) override { return ::lseek(fd, offset, whence); }
  int Sync(int fd) override { return ::fsync(fd); }
  int Close(int fd) override { return ::close(fd); }
  int Unlink(const std::string& path) override { return ::unlink(path.c_str()); }
  int Rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str());
  }
  int Truncate(int fd, int64_t size) override { return ::ftruncate(fd, size); }
  int LockExclusive(int fd) override { return ::flock(fd, LOCK_EX | LOCK_NB); }
  int LockShared(int fd) override { return ::flock(fd, LOCK_SH | LOCK_NB); }
};

PosixFileSystem g_posix;
std::atomic<FileSystem*> g_current{&g_posix};

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

FileSystem& Files() { return *g_current.load(); }

FileSystem* SetFileSystem(FileSystem* fs) { return g_current.exchange(fs ? fs : &g_posix); }

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

bool ReadFully(int fd, void* buffer, size_t size) {
  auto* bytes = static_cast<char*>(buffer);
  return TransferUpTo(size, [&](size_t done, size_t left) {
           return Files().Read(fd, bytes + done, left);
         }) == size;
}

bool WriteFully(int fd, const void* buffer, size_t size) {
  const auto* bytes = static_cast<const char*>(buffer);
  return TransferUpTo(size, [&](size_t done, size_t left) {
           return Files().Write(fd, bytes + done, left);
         }) == size;
}

int64_t FileSize(int fd) {
  struct stat info;
  return ::fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

bool SyncFolderOf(const std::string& path) {
  int fd = Files().Open(FolderOf(path), O_RDONLY | O_DIRECTORY, 0);
  if (fd < 0) return false;
  bool ok = Files().Sync(fd) == 0;
  Files().Close(fd);
  return ok;
}

}  // namespace gq
