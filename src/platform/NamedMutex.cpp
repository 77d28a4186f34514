#include "platform/NamedMutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/FileReplace.h"

namespace gq {
namespace {

bool PrivateFolder(const std::string& folder) {
  if (!MakeFolders(folder, 0700)) return false;
  struct stat info;
  if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  if (info.st_uid != getuid()) return false;
  if ((info.st_mode & 0077) != 0 && chmod(folder.c_str(), 0700) != 0) return false;
  return true;
}

// FNV-1a: a hash that stays the same across builds and runs.
uint64_t Fnv1a64(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

}  // namespace

std::string RuntimeFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
    std::string folder = std::string(runtime) + "/GlimmerQuorum";
    if (PrivateFolder(folder)) return folder;
  }
  return ShortRuntimeFolder();
}

std::string ShortRuntimeFolder() {
  std::string folder = "/tmp/GlimmerQuorum-" + std::to_string(getuid());
  return PrivateFolder(folder) ? folder : std::string();
}

std::string EncodeFileName(const std::string& name, size_t maxBytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    if (c == '%' || c == '/' || c < 0x20 || c == 0x7F || (c == '.' && i == 0)) {
      out += {'%', kHex[c >> 4], kHex[c & 15]};
    } else {
      out += static_cast<char>(c);
    }
  }
  if (out.size() <= maxBytes) return out;
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a64(name)));
  // "%h" never appears in a full encoding, so a shortened name never equals one.
  return out.substr(0, maxBytes > 18 ? maxBytes - 18 : 0) + "%h" + hash;
}

NamedMutex::~NamedMutex() { Release(); }

NamedMutex::Result NamedMutex::Create(const std::string& name) {
  Release();
  std::string folder = RuntimeFolder();
  if (folder.empty()) return Result::Failed;
  std::string path = folder + "/" + EncodeFileName(name) + ".lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Result::Failed;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    close(fd);
    return error == EWOULDBLOCK ? Result::AlreadyExisted : Result::Failed;
  }
  m_Fd = fd;
  return Result::Created;
}

void NamedMutex::Release() {
  if (m_Fd >= 0) close(m_Fd);
  m_Fd = -1;
}

}  // namespace gq
