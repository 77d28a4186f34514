#include "loading/InputWalker.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "base/FileKind.h"
#include "base/Words.h"
#include "loading/ListReader.h"

namespace gq {
namespace {

constexpr char kUpdateDirective[] = "!update";
constexpr char kFileCountDirective[] = "!filecount=";

bool EndsWithTxt(const std::string& path) {
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".txt") == 0;
}

bool HasZeroByte(const std::string& text) { return text.find('\0') != std::string::npos; }

// The path with each zero byte shown as "\0".
std::string Printable(const std::string& path) {
  std::string text;
  for (char c : path) text += c == '\0' ? std::string("\\0") : std::string(1, c);
  return text;
}

std::string Join(const std::string& folder, const char* name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

struct FolderEntry {
  std::string path;
  bool isFolder;  // a folder itself, not a link to one
};

enum class Listing { kListed, kUnreadable, kWalkedBefore };

// The entries of a folder in listing order, without "." and "..". A folder already in
// walked is not listed again; links are not followed.
Listing ListFolder(const std::string& folder, std::set<std::pair<dev_t, ino_t>>* walked,
                   std::vector<FolderEntry>* entries) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return Listing::kUnreadable;
  struct stat info;
  if (fstat(dirfd(dir), &info) == 0 && !walked->insert({info.st_dev, info.st_ino}).second) {
    closedir(dir);
    return Listing::kWalkedBefore;
  }
  while (dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    std::string path = Join(folder, entry->d_name);
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat entryInfo;
      isFolder = lstat(path.c_str(), &entryInfo) == 0 && S_ISDIR(entryInfo.st_mode);
    }
    entries->push_back(FolderEntry{std::move(path), isFolder});
  }
  closedir(dir);
  return Listing::kListed;
}

// A directive is known by its text without the carriage returns and blanks after it.
void TrimDirective(std::string* line) {
  while (!line->empty() && (line->back() == '\r' || line->back() == ' ')) line->pop_back();
}

}  // namespace

std::function<bool(const WalkedEntry& entry)> g_WalkFilter;

LoadMode WalkModeFor(LoadMode mode) { return mode == kModeUpdate ? kModeUpdate : kModeBatch; }

void InputWalker::Walk(const JobInput& input) {
  for (const std::string& path : input.paths) {
    if (!m_Visitor.GoOn()) return;
    if (path.empty()) continue;
    if (HasZeroByte(path)) {
      m_Visitor.Refused(PathMessage("Path holds a zero byte: \"", Printable(path)), false);
    } else if (input.update) {
      WalkInMode(path, kModeUpdate);
    } else {
      WalkNamed(path);
    }
  }
}

void InputWalker::WalkNamed(const std::string& path) {
  if (IsFolder(path)) {
    WalkFolder(path, kModeBatch);
  } else if (EndsWithTxt(path)) {
    WalkList(path, true);
  } else {
    m_Visitor.File(path, kModeExplicit, false);
  }
}

void InputWalker::WalkInMode(const std::string& path, LoadMode mode) {
  if (IsFolder(path)) {
    WalkFolder(path, WalkModeFor(mode));
  } else {
    m_Visitor.File(path, mode, false);
  }
}

void InputWalker::WalkFolder(const std::string& folder, LoadMode mode) {
  if (m_Depth == 0) m_Root = folder;
  ++m_Depth;
  WalkEntries(folder, mode);
  --m_Depth;
}

void InputWalker::WalkEntries(const std::string& folder, LoadMode mode) {
  std::vector<FolderEntry> entries;
  if (ListFolder(folder, &m_Walked, &entries) == Listing::kUnreadable) {
    m_Visitor.Refused(PathMessage("Can't read directory: \"", folder), false);
  }
  for (const FolderEntry& entry : entries) {
    if (!m_Visitor.GoOn()) return;
    if (g_WalkFilter && g_WalkFilter(WalkedEntry{m_Root, entry.path, entry.isFolder})) continue;
    if (entry.isFolder) {
      WalkFolder(entry.path, mode);
    } else {
      m_Visitor.File(entry.path, mode, true);
    }
  }
}

void InputWalker::WalkList(const std::string& path, bool nestedAllowed) {
  ListReader list;
  if (!list.Open(path)) {
    m_Visitor.Refused(PathMessage("Can't open input file: \"", path), true);
    return;
  }
  LoadMode mode = kModeExplicit;
  std::string line;
  for (int number = 1; list.ReadLine(&line); ++number) {
    if (line.empty() || line == "\r") continue;
    if (!m_Visitor.GoOn()) return;
    if (HasZeroByte(line)) {
      m_Visitor.Refused(ListLineMessage(number, "holds a zero byte", path), false);
      continue;
    }
    if (line[0] == '!') {
      if (!Directive(line, &mode)) return;
      continue;
    }
    std::string entry = NormalizePath(line);
    if (entry.empty()) continue;
    if (!EndsWithTxt(entry)) {
      WalkInMode(entry, mode);
    } else if (nestedAllowed) {
      WalkList(entry, false);
    }
  }
}

bool InputWalker::Directive(std::string line, LoadMode* mode) {
  TrimDirective(&line);
  if (line == kUpdateDirective) {
    m_Visitor.UpdateDirective();
    *mode = kModeUpdate;
  } else if (line.rfind(kFileCountDirective, 0) == 0) {
    return m_Visitor.FileCount(std::atoi(line.c_str() + std::strlen(kFileCountDirective)));
  }
  return true;
}

}  // namespace gq
