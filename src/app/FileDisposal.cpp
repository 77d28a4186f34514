#include "app/FileDisposal.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace gq {
namespace {

std::string DataHome() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return data;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.local/share";
}

// A path as a .trashinfo Path value: every byte but unreserved URL characters and '/'
// percent-encoded.
std::string TrashInfoPath(const std::string& path) {
  std::string encoded;
  char escaped[4];
  for (unsigned char c : path) {
    if (std::isalnum(c) != 0 && c < 0x80) {
      encoded += static_cast<char>(c);
    } else if (std::strchr("/-._~", c) != nullptr && c != 0) {
      encoded += static_cast<char>(c);
    } else {
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      encoded += escaped;
    }
  }
  return encoded;
}

std::string LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

// Creates info/NAME.trashinfo exclusively for the first free NAME; its descriptor, or -1.
int ReserveTrashName(const std::string& trash, const std::string& base, std::string* name) {
  const size_t dot = base.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
  const std::string extension = stem.size() == base.size() ? "" : base.substr(dot);
  for (int n = 1; n < 10000; ++n) {
    *name = n == 1 ? base : stem + " " + std::to_string(n) + extension;
    const int fd = open((trash + "/info/" + *name + ".trashinfo").c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Makes the trash and its two folders, readable by the user alone.
bool MakeTrashFolders(const std::string& trash) {
  std::error_code ignored;
  std::filesystem::create_directories(DataHome(), ignored);
  for (const std::string& folder : {trash, trash + "/files", trash + "/info"}) {
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool RenameNoReplace(const std::string& from, const std::string& to, std::string* error) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  *error = errno == EXDEV ? "on another file system" : std::strerror(errno);
  return false;
}

}  // namespace

bool MoveToTrash(const std::string& path, std::string* trashedAs, std::string* error) {
  const std::string trash = DataHome() + "/Trash";
  if (!MakeTrashFolders(trash)) {
    *error = "cannot make " + trash + ": " + std::strerror(errno);
    return false;
  }
  const int fd =
      ReserveTrashName(trash, std::filesystem::path(path).filename().string(), trashedAs);
  if (fd < 0) {
    *error = "cannot write to " + trash + "/info: " + std::strerror(errno);
    return false;
  }
  const std::string info =
      "[Trash Info]\nPath=" + TrashInfoPath(path) + "\nDeletionDate=" + LocalTimeNow() + "\n";
  const bool written = write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
  close(fd);
  const std::string infoPath = trash + "/info/" + *trashedAs + ".trashinfo";
  if (!written) *error = "cannot write " + infoPath;
  if (written && RenameNoReplace(path, trash + "/files/" + *trashedAs, error)) return true;
  unlink(infoPath.c_str());
  return false;
}

std::string PlaceBelow(const std::string& folder, const std::string& path) {
  char current[PATH_MAX];
  if (getcwd(current, sizeof current) != nullptr) {
    const std::string prefix = std::string(current) + (current[1] == '\0' ? "" : "/");
    if (path.compare(0, prefix.size(), prefix) == 0)
      return folder + "/" + path.substr(prefix.size());
  }
  return folder + path;
}

bool MoveFile(const std::string& path, const std::string& target, std::string* error) {
  std::error_code failure;
  std::filesystem::create_directories(std::filesystem::path(target).parent_path(), failure);
  if (failure) {
    *error = failure.message();
    return false;
  }
  return RenameNoReplace(path, target, error);
}

}  // namespace gq
