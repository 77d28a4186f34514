#include "shell/dragdrop/RenderData.h"

namespace gq {
namespace {

bool KeptInUrl(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '/';
}

// The list's paths (or their file URLs) with separator between two of them.
std::string JoinPaths(const ZeroSepFileList& list, bool asUrls, const std::string& separator) {
  std::string text;
  for (const std::string& path : list.Paths()) {
    if (!text.empty()) text += separator;
    text += asUrls ? FileUrl(path) : path;
  }
  return text;
}

}  // namespace

std::string FileUrl(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    if (KeptInUrl(c)) {
      url.push_back(static_cast<char>(c));
    } else {
      url.push_back('%');
      url.push_back(kHex[c >> 4]);
      url.push_back(kHex[c & 15]);
    }
  }
  return url;
}

std::string RenderText(const ZeroSepFileList& list) {
  std::string text = JoinPaths(list, false, "\r\n");
  if (list.FileCount() > 1) text += "\r\n";
  return text;
}

std::string RenderUriList(const ZeroSepFileList& list) {
  std::string text = JoinPaths(list, true, "\r\n");
  if (list.FileCount() > 0) text += "\r\n";
  return text;
}

std::string RenderGnomeCopiedFiles(const ZeroSepFileList& list, bool cut) {
  return std::string(cut ? "cut\n" : "copy\n") + JoinPaths(list, true, "\n");
}

std::string RenderKdeCutSelection(bool cut) { return cut ? "1" : "0"; }

}  // namespace gq
