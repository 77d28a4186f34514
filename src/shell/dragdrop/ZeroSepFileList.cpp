#include "shell/dragdrop/ZeroSepFileList.h"

#include <algorithm>

#include "platform/MessageBox.h"

namespace gq {
namespace {

// The room the next path needs: the fixed 263 bytes, or more for a path that long
// names (Linux paths may be longer than the 260 characters the rule was made for).
size_t NeededRoom(size_t length, const std::string& path) {
  return length + std::max(kFileListRoom, path.size() + 2);
}

size_t SharedPrefixLength(const std::string& a, const std::string& b) {
  const auto mismatch =
      std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin());
  return static_cast<size_t>(mismatch.first - a.begin());
}

}  // namespace

bool ZeroSepFileList::Add(const std::string& path) {
  const size_t needed = NeededRoom(m_Bytes.size(), path);
  if (m_Capacity < needed) {
    const size_t grown = std::max(m_Capacity * 2, needed);
    if (m_LimitOn && grown > kFileListLimitBytes) return false;
    m_Capacity = grown;
  }
  m_Bytes.append(path);
  m_Bytes.push_back('\0');
  m_CommonPrefix =
      m_FileCount == 0 ? path : m_CommonPrefix.substr(0, SharedPrefixLength(m_CommonPrefix, path));
  ++m_FileCount;
  return true;
}

void ZeroSepFileList::Close() {
  m_Bytes.push_back('\0');
  m_Capacity = m_Bytes.size();
}

std::vector<std::string> ZeroSepFileList::Paths() const {
  std::vector<std::string> paths;
  size_t start = 0;
  for (int i = 0; i < m_FileCount; ++i) {
    const size_t end = m_Bytes.find('\0', start);
    paths.push_back(m_Bytes.substr(start, end - start));
    start = end + 1;
  }
  return paths;
}

std::string ZeroSepFileList::CommonFolder() const {
  const size_t slash = m_CommonPrefix.rfind('/');
  return slash == std::string::npos ? std::string() : m_CommonPrefix.substr(0, slash + 1);
}

bool BuildFileList(const std::vector<std::string>& paths, bool limitOn, ZeroSepFileList* list) {
  *list = ZeroSepFileList(limitOn);
  for (const std::string& path : paths) {
    if (!list->Add(path)) return false;
  }
  list->Close();
  return true;
}

std::string LimitMessageText(bool limitOn) {
  return limitOn ? "Too many pictures selected.\n\nSee Options to turn off limit."
                 : "Too many pictures selected.";
}

void ShowLimitMessage(bool limitOn) {
  MessageBox(LimitMessageText(limitOn), "Drag/Copy/Delete", MB_ICONERROR | MB_SETFOREGROUND);
}

bool FileListAllowed(const std::vector<std::string>& paths, bool limitOn) {
  ZeroSepFileList list(limitOn);
  if (BuildFileList(paths, limitOn, &list)) return true;
  ShowLimitMessage(limitOn);
  return false;
}

}  // namespace gq
