#include "app/IndexFilters.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "loading/OpenCvHighGui/picture_header.h"

namespace gq {
namespace {

// Enough of a picture file for its header, past the metadata blocks before it.
constexpr size_t kHeaderBytes = size_t{1} << 20;

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The path below root, or the path itself when it lies elsewhere.
std::string RelativePath(const std::string& root, const std::string& path) {
  const std::string prefix = root.empty() || root.back() == '/' ? root : root + "/";
  return path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path;
}

}  // namespace

bool IndexFilters::LeaveOut(const WalkedEntry& entry) {
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    const auto judged = m_Judged.find(entry.path);
    if (judged != m_Judged.end()) return judged->second;
  }
  const bool leaveOut = Judge(entry);
  std::lock_guard<std::mutex> lock(m_Mutex);
  m_Judged.emplace(entry.path, leaveOut);
  return leaveOut;
}

std::vector<std::string> IndexFilters::LeftOutPaths() const {
  std::vector<std::string> paths;
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (const auto& [path, leftOut] : m_Judged) {
      if (leftOut) paths.push_back(path);
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

bool IndexFilters::Judge(const WalkedEntry& entry) const {
  if (Excluded(entry)) return true;
  if (entry.isFolder) return !m_Options.hidden && NameOf(entry.path).rfind('.', 0) == 0;
  return TooSmall(entry.path);
}

bool IndexFilters::Excluded(const WalkedEntry& entry) const {
  for (const std::string& glob : m_Options.excludes) {
    const bool whole = glob.find('/') != std::string::npos;
    const std::string subject = whole ? RelativePath(entry.root, entry.path) : NameOf(entry.path);
    if (fnmatch(glob.c_str(), subject.c_str(), whole ? FNM_PATHNAME : 0) == 0) return true;
  }
  return false;
}

bool IndexFilters::TooSmall(const std::string& path) const {
  struct stat info;
  if (m_Options.minSize > 0 && stat(path.c_str(), &info) == 0 && info.st_size < m_Options.minSize)
    return true;
  if (m_Options.minPixels <= 0) return false;
  std::ifstream file(path, std::ios::binary);
  std::string bytes(kHeaderBytes, '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  const auto size = static_cast<size_t>(file.gcount());
  PictureHeader header;
  const PictureFormat format = FormatBySignature(data, size);
  if (format == PictureFormat::kNone || !ProbeHeader(format, data, size, &header)) return false;
  return std::min(header.width, header.height) < m_Options.minPixels;
}

}  // namespace gq
