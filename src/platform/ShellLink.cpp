#include "platform/ShellLink.h"

#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace gq {
namespace {

constexpr uint32_t kHeaderSize = 0x4C;
constexpr unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr uint32_t kLinkInfoHeaderSize = 28;
constexpr uint32_t kHasLinkTargetIdList = 1u << 0;
constexpr uint32_t kHasLinkInfo = 1u << 1;
constexpr uint32_t kVolumeIdAndLocalBasePath = 1u << 0;
constexpr size_t kMaxLinkFileBytes = 1 << 20;

bool Get32(const std::string& bytes, size_t at, uint32_t* value) {
  if (at > bytes.size() || bytes.size() - at < 4) return false;
  *value = 0;
  for (int i = 3; i >= 0; --i) *value = (*value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return true;
}

bool Get16(const std::string& bytes, size_t at, uint32_t* value) {
  if (at > bytes.size() || bytes.size() - at < 2) return false;
  *value = static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
  return true;
}

// A zero-terminated text starting at at, inside [0, end).
bool TextAt(const std::string& bytes, size_t at, size_t end, std::string* text) {
  if (at >= end) return false;
  size_t zero = bytes.find('\0', at);
  if (zero == std::string::npos || zero >= end) return false;
  *text = bytes.substr(at, zero - at);
  return true;
}

bool ReadSmallFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    content.write(buffer, in.gcount());
    if (static_cast<size_t>(content.tellp()) > kMaxLinkFileBytes) return false;
  }
  *bytes = content.str();
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The URL of a desktop entry with Type=Link in its [Desktop Entry] group.
bool ParseDesktopLink(const std::string& text, std::string* target) {
  std::istringstream lines(text);
  std::string line;
  bool inEntry = false;
  bool isLink = false;
  std::string url;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    if (!inEntry) continue;
    if (line == "Type=Link") isLink = true;
    if (line.rfind("URL=", 0) == 0) url = line.substr(4);
  }
  if (!isLink || url.empty()) return false;
  if (url.rfind("file://", 0) == 0) {
    url = PercentDecoded(url.substr(7));
    if (!url.empty() && url[0] != '/') {  // file://host/path
      size_t slash = url.find('/');
      if (slash == std::string::npos) return false;
      url = url.substr(slash);
    }
  } else if (url.find("://") != std::string::npos) {
    return false;
  }
  *target = url;
  return !target->empty();
}

std::string LowerExtension(const std::string& path) {
  size_t dot = path.find_last_of('.');
  size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

}  // namespace

bool IsShellLinkName(const std::string& path) {
  std::string extension = LowerExtension(path);
  return extension == "lnk" || extension == "desktop";
}

bool ParseShellLinkBytes(const std::string& bytes, std::string* target) {
  uint32_t headerSize = 0;
  uint32_t flags = 0;
  if (!Get32(bytes, 0, &headerSize) || headerSize != kHeaderSize || bytes.size() < kHeaderSize ||
      std::memcmp(bytes.data() + 4, kLinkClsid, 16) != 0 || !Get32(bytes, 20, &flags)) {
    return false;
  }
  size_t at = kHeaderSize;
  if (flags & kHasLinkTargetIdList) {
    uint32_t idListSize = 0;
    if (!Get16(bytes, at, &idListSize)) return false;
    at += 2 + idListSize;
  }
  if (!(flags & kHasLinkInfo)) return false;
  uint32_t infoSize = 0;
  uint32_t infoHeaderSize = 0;
  uint32_t infoFlags = 0;
  uint32_t baseOffset = 0;
  uint32_t suffixOffset = 0;
  if (!Get32(bytes, at, &infoSize) || infoSize < kLinkInfoHeaderSize ||
      at + infoSize > bytes.size() || !Get32(bytes, at + 4, &infoHeaderSize) ||
      !Get32(bytes, at + 8, &infoFlags) || !Get32(bytes, at + 16, &baseOffset) ||
      !Get32(bytes, at + 24, &suffixOffset)) {
    return false;
  }
  if (!(infoFlags & kVolumeIdAndLocalBasePath)) return false;
  // The texts lie behind the LinkInfo header; an offset into the header is damage.
  if (infoHeaderSize < kLinkInfoHeaderSize || baseOffset < infoHeaderSize ||
      (suffixOffset != 0 && suffixOffset < infoHeaderSize)) {
    return false;
  }
  size_t end = at + infoSize;
  std::string base;
  std::string suffix;
  if (!TextAt(bytes, at + baseOffset, end, &base)) return false;
  if (suffixOffset != 0) TextAt(bytes, at + suffixOffset, end, &suffix);
  *target = base + suffix;
  return !target->empty();
}

std::string MakeShellLinkBytes(const std::string& target) {
  std::string bytes(kHeaderSize, '\0');
  bytes[0] = static_cast<char>(kHeaderSize);
  std::memcpy(bytes.data() + 4, kLinkClsid, 16);
  bytes[20] = static_cast<char>(kHasLinkInfo);
  auto put32 = [](std::string& to, uint32_t value) {
    for (int i = 0; i < 4; ++i) to += static_cast<char>(value >> (8 * i));
  };
  const uint32_t infoHeader = 28;
  const uint32_t volumeIdSize = 16;
  uint32_t baseOffset = infoHeader + volumeIdSize;
  uint32_t suffixOffset = baseOffset + static_cast<uint32_t>(target.size()) + 1;
  uint32_t infoSize = suffixOffset + 1;
  put32(bytes, infoSize);
  put32(bytes, infoHeader);
  put32(bytes, kVolumeIdAndLocalBasePath);
  put32(bytes, infoHeader);  // volume ID right behind the header
  put32(bytes, baseOffset);
  put32(bytes, 0);  // no network link
  put32(bytes, suffixOffset);
  put32(bytes, volumeIdSize);
  put32(bytes, 3);             // fixed drive
  put32(bytes, 0);             // serial number
  put32(bytes, volumeIdSize);  // label offset: the empty label at the end
  bytes += target;
  bytes += '\0';
  bytes += '\0';    // empty common path suffix
  put32(bytes, 0);  // terminal block
  return bytes;
}

bool ResolveShellLink(const std::string& path, std::string* target) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return false;
  if (S_ISLNK(info.st_mode)) {
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved)) return false;
    *target = resolved;
    return true;
  }
  std::string bytes;
  if (!S_ISREG(info.st_mode) || !ReadSmallFile(path, &bytes)) return false;
  return ParseShellLinkBytes(bytes, target) || ParseDesktopLink(bytes, target);
}

}  // namespace gq
