#include "platform/NamedMutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace

std::string RuntimeFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
    std::string folder = std::string(runtime) + "/GlimmerQuorum";
    if (PrivateFolder(folder)) return folder;
  }
  std::string folder = "/tmp/GlimmerQuorum-" + std::to_string(getuid());
  return PrivateFolder(folder) ? folder : std::string();
}

std::string SafeFileName(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    out += (c == '/' || c < 0x20 || c == 0x7F) ? '_' : static_cast<char>(c);
  }
  if (out.size() > 200)
    out = out.substr(0, 180) + "_" + std::to_string(std::hash<std::string>{}(name));
  if (out.empty() || out == "." || out == "..") out = "_" + out;
  return out;
}

NamedMutex::~NamedMutex() { Release(); }

NamedMutex::Result NamedMutex::Create(const std::string& name) {
  Release();
  std::string folder = RuntimeFolder();
  if (folder.empty()) return Result::Failed;
  std::string path = folder + "/" + SafeFileName(name) + ".lock";
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
