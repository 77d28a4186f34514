#include "frame/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/FileReplace.h"

namespace gq {
namespace {

bool CopyDescriptor(int from, int to) {
  char buffer[4096];
  for (;;) {
    ssize_t n = read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      ssize_t written = write(to, buffer + done, static_cast<size_t>(n - done));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      done += written;
    }
  }
}

// Writes a copy of source beside target and renames it over the target (used when
// the temporary folder is on another file system than the target).
bool CopyBesideAndRename(const std::string& source, const std::string& target) {
  int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  std::string pattern = target + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int out = mkostemp(name.data(), O_CLOEXEC);
  bool ok = out >= 0 && CopyDescriptor(in, out) && fsync(out) == 0;
  close(in);
  if (out >= 0) ok = close(out) == 0 && ok;
  if (ok) ok = rename(name.data(), target.c_str()) == 0;
  if (!ok && out >= 0) unlink(name.data());
  return ok;
}

}  // namespace

std::string TemporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp && *tmp) ? tmp : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

AtomicFile::AtomicFile(std::string target) : m_Target(std::move(target)) {}

AtomicFile::~AtomicFile() {
  if (m_File) Commit();
}

FILE* AtomicFile::Open() {
  if (m_File) return m_File;
  std::string pattern = TemporaryFolder() + "/AtomicFileXXXXXX.txt";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkostemps(name.data(), 4, O_CLOEXEC);
  if (fd < 0) return nullptr;
  m_File = fdopen(fd, "w");
  if (!m_File) {
    close(fd);
    unlink(name.data());
    return nullptr;
  }
  m_TemporaryPath = name.data();
  return m_File;
}

int AtomicFile::Descriptor() {
  FILE* file = Open();
  if (!file) return -1;
  std::fflush(file);
  return fileno(file);
}

void AtomicFile::Discard() {
  if (!m_File) return;
  std::fclose(m_File);
  m_File = nullptr;
  unlink(m_TemporaryPath.c_str());
}

bool AtomicFile::Commit() {
  if (!m_File) return false;
  bool written = std::fflush(m_File) == 0 && fsync(fileno(m_File)) == 0;
  written = std::fclose(m_File) == 0 && written;
  m_File = nullptr;
  if (!written) {
    unlink(m_TemporaryPath.c_str());
    return false;
  }
  return m_Target.empty() ? CopyToStandardOutput() : ReplaceTarget();
}

bool AtomicFile::ReplaceTarget() {
  if (rename(m_TemporaryPath.c_str(), m_Target.c_str()) == 0) {
    SyncParentFolder(m_Target);
    return true;
  }
  bool ok = errno == EXDEV && CopyBesideAndRename(m_TemporaryPath, m_Target);
  if (ok) SyncParentFolder(m_Target);
  unlink(m_TemporaryPath.c_str());
  return ok;
}

bool AtomicFile::CopyToStandardOutput() {
  std::fflush(stdout);
  int in = open(m_TemporaryPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (in >= 0) {
    CopyDescriptor(in, STDOUT_FILENO);
    close(in);
  }
  return unlink(m_TemporaryPath.c_str()) == 0;
}

}  // namespace gq
