// Test helper: a file layer that passes everything to the plain POSIX one but can make
// the N-th write, read or fsync (counted from when it was armed) fail once or from then
// on, with a chosen errno; or call a hook before every operation (the crash test kills
// the process there). Installed for the life of the object.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <functional>

#include "db/FileLayer.h"

namespace gq::test {

class FaultInjectingFileSystem : public FileSystem {
 public:
  enum class Op { kWrite, kRead, kSync };

  FaultInjectingFileSystem() { m_Previous = SetFileSystem(this); }
  ~FaultInjectingFileSystem() override { SetFileSystem(m_Previous); }

  // The nth (1-based) operation of this kind from now on fails with error; with
  // persistent, every later one of that kind fails too.
  void FailAt(Op op, int nth, int error, bool persistent) {
    m_Op = op;
    m_Countdown = nth;
    m_Error = error;
    m_Persistent = persistent;
    m_Failing = false;
  }
  void Heal() {
    m_Countdown = 0;
    m_Failing = false;
  }
  // Called before every operation with its running number (1-based).
  std::function<void(long)> beforeEach;
  long Operations() const { return m_Count; }

  int Open(const std::string& path, int flags, unsigned mode) override {
    Tick();
    return ::open(path.c_str(), flags | O_CLOEXEC, mode);
  }
  ssize_t Read(int fd, void* buffer, size_t size) override {
    Tick();
    if (ShouldFail(Op::kRead)) return -1;
    return ::read(fd, buffer, size);
  }
  ssize_t Write(int fd, const void* buffer, size_t size) override {
    Tick();
    if (ShouldFail(Op::kWrite)) return -1;
    return ::write(fd, buffer, size);
  }
  int64_t Seek(int fd, int64_t offset, int whence) override {
    Tick();
    return ::lseek(fd, offset, whence);
  }
  int Sync(int fd) override {
    Tick();
    if (ShouldFail(Op::kSync)) return -1;
    return ::fsync(fd);
  }
  int Close(int fd) override { return ::close(fd); }
  int Unlink(const std::string& path) override {
    Tick();
    return ::unlink(path.c_str());
  }
  int Rename(const std::string& from, const std::string& to) override {
    Tick();
    return ::rename(from.c_str(), to.c_str());
  }
  int Truncate(int fd, int64_t size) override {
    Tick();
    return ::ftruncate(fd, size);
  }
  int LockExclusive(int fd) override { return ::flock(fd, LOCK_EX | LOCK_NB); }
  int LockShared(int fd) override { return ::flock(fd, LOCK_SH | LOCK_NB); }

 private:
  void Tick() {
    long n = ++m_Count;
    if (beforeEach) beforeEach(n);
  }
  bool ShouldFail(Op op) {
    if (op != m_Op) return false;
    if (m_Failing) {
      errno = m_Error;
      return true;
    }
    if (m_Countdown <= 0 || --m_Countdown > 0) return false;
    m_Failing = m_Persistent;
    errno = m_Error;
    return true;
  }

  FileSystem* m_Previous = nullptr;
  std::atomic<long> m_Count{0};
  Op m_Op = Op::kWrite;
  int m_Countdown = 0;
  int m_Error = EIO;
  bool m_Persistent = false;
  bool m_Failing = false;
};

}  // namespace gq::test
