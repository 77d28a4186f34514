#include "platform/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/FullTransfer.h"
#include "platform/UniqueFile.h"

namespace gq {
namespace {

std::string ParentOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

bool SyncParentFolder(const std::string& path) {
  int fd = open(ParentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

bool ReplaceFileContent(const std::string& target, const std::string& content) {
  std::string name;
  int fd = CreateUniqueFile(target + ".", "", &name, 0600);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content.data(), content.size()) && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  if (ok) ok = rename(name.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(name.c_str());
    return false;
  }
  SyncParentFolder(target);
  return true;
}

bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
  bool ok = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
  if (!ok && (errno == EINVAL || errno == ENOSYS)) {
    // A file system without the no-replace rename: a new link fails on an existing name.
    ok = link(from.c_str(), to.c_str()) == 0;
    if (ok && unlink(from.c_str()) != 0) {
      unlink(to.c_str());
      ok = false;
    }
  }
  if (ok) SyncParentFolder(to);
  return ok;
}

bool MakeFolders(const std::string& folder, unsigned mode) {
  if (folder.empty()) return false;
  struct stat info;
  if (stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  std::string parent = ParentOf(folder);
  if (parent != folder && !MakeFolders(parent, mode)) return false;
  return mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}

}  // namespace gq
