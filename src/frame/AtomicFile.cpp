#include "frame/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/FileReplace.h"
#include "platform/FullTransfer.h"
#include "platform/UniqueFile.h"

namespace gq {
namespace {

bool CopyDescriptor(int from, int to) {
  char buffer[4096];
  for (;;) {
    ssize_t n = RetryOnInterrupt([&] { return read(from, buffer, sizeof buffer); });
    if (n < 0) return false;
    if (n == 0) return true;
    if (!WriteAll(to, buffer, static_cast<size_t>(n))) return false;
  }
}

// Writes a copy of source beside target and renames it over the target (used when
// the temporary folder is on another file system than the target).
bool CopyBesideAndRename(const std::string& source, const std::string& target) {
  int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  std::string name;
  int out = CreateUniqueFile(target + ".", "", &name);
  bool ok = out >= 0 && CopyDescriptor(in, out) && fsync(out) == 0;
  close(in);
  if (out >= 0) ok = close(out) == 0 && ok;
  if (ok) ok = rename(name.c_str(), target.c_str()) == 0;
  if (!ok && out >= 0) unlink(name.c_str());
  return ok;
}

std::string Reason(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

std::string TemporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp && *tmp) ? tmp : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

void ReportLostResultFile(const AtomicFile& file) {
  std::string reason = file.Error().empty() ? std::string() : " (" + file.Error() + ")";
  std::fprintf(stderr, "GlimmerQuorum: the result file %s cannot be written%s.\n",
               file.Target().c_str(), reason.c_str());
}

AtomicFile::AtomicFile(std::string target) : m_Target(std::move(target)) {}

AtomicFile::~AtomicFile() {
  if (m_File) Commit();
}

FILE* AtomicFile::Open() {
  if (m_File) return m_File;
  std::string name;
  int fd = CreateUniqueFile(TemporaryFolder() + "/AtomicFile", ".txt", &name);
  if (fd < 0) {
    m_Error = Reason("can't create a temporary file in " + TemporaryFolder());
    return nullptr;
  }
  m_File = fdopen(fd, "w");
  if (!m_File) {
    m_Error = Reason("can't open " + name);
    close(fd);
    unlink(name.c_str());
    return nullptr;
  }
  m_TemporaryPath = name;
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
    m_Error = Reason("can't write " + m_TemporaryPath);
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
  if (!ok) m_Error = Reason("can't replace " + m_Target);
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
