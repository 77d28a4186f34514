#include "base/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace gq {

FILE* OpenRegularFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return nullptr;
  }
  FILE* file = fdopen(fd, "rb");
  if (!file) ::close(fd);
  return file;
}

bool ReadWholeTextFile(const std::string& path, long long maxSize, std::string* text) {
  text->clear();
  FILE* file = OpenRegularFile(path);
  if (!file) return false;
  char block[4096];
  bool ok = true;
  for (;;) {
    size_t n = std::fread(block, 1, sizeof block, file);
    text->append(block, n);
    if (maxSize >= 0 && static_cast<long long>(text->size()) > maxSize) {
      ok = false;
      break;
    }
    if (n < sizeof block) {
      ok = !std::ferror(file);
      break;
    }
  }
  std::fclose(file);
  if (!ok) text->clear();
  return ok;
}

bool ReadLine(FILE* file, std::string* line) {
  line->clear();
  bool any = false;
  for (int c; (c = std::fgetc(file)) != EOF;) {
    if (c == '\n') return true;
    line->push_back(static_cast<char>(c));
    any = true;
  }
  return any;
}

}  // namespace gq
