#include "loading/ListReader.h"

#include <cstring>

#include "base/TextFile.h"

namespace gq {
namespace {

constexpr size_t kProbeBytes = 512;
constexpr unsigned kReplacement = 0xFFFD;

void AppendUtf8(unsigned code, std::string* text) {
  if (code < 0x80) {
    *text += static_cast<char>(code);
  } else if (code < 0x800) {
    *text += static_cast<char>(0xC0 | (code >> 6));
    *text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *text += static_cast<char>(0xE0 | (code >> 12));
    *text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *text += static_cast<char>(0xF0 | (code >> 18));
    *text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsHighSurrogate(unsigned unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(unsigned unit) { return unit >= 0xDC00 && unit < 0xE000; }

}  // namespace

ListReader::~ListReader() {
  if (m_File) std::fclose(m_File);
}

bool ListReader::Open(const std::string& path) {
  m_File = OpenRegularFile(path);
  if (!m_File) return false;
  unsigned char probe[2 + kProbeBytes];
  size_t n = std::fread(probe, 1, sizeof probe, m_File);
  bool marked = n >= 2 && probe[0] == 0xFF && probe[1] == 0xFE;
  m_Utf16 = marked && std::memchr(probe + 2, 0, n - 2) != nullptr;
  return std::fseek(m_File, marked ? 2 : 0, SEEK_SET) == 0;
}

bool ListReader::ReadLine(std::string* line) {
  return m_Utf16 ? ReadUtf16Line(line) : gq::ReadLine(m_File, line);
}

bool ListReader::NextUnit(unsigned* unit) {
  int low = std::fgetc(m_File);
  int high = std::fgetc(m_File);
  if (low == EOF || high == EOF) return false;
  *unit = static_cast<unsigned>(low) | (static_cast<unsigned>(high) << 8);
  return true;
}

bool ListReader::ReadUtf16Line(std::string* line) {
  line->clear();
  bool any = false;
  unsigned unit;
  while (NextUnit(&unit)) {
    if (unit == '\n') return true;
    any = true;
    if (IsHighSurrogate(unit)) {
      unsigned next;
      if (!NextUnit(&next)) {
        AppendUtf8(kReplacement, line);
        break;
      }
      if (IsLowSurrogate(next)) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), line);
        continue;
      }
      AppendUtf8(kReplacement, line);
      unit = next;
      if (unit == '\n') return true;
    }
    AppendUtf8(IsLowSurrogate(unit) || IsHighSurrogate(unit) ? kReplacement : unit, line);
  }
  return any;
}

}  // namespace gq
