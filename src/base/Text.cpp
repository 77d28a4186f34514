#include "base/Text.h"

namespace gq {
namespace {

constexpr uint32_t kInvalidBase = 0x110000;

bool Continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

uint32_t NextCharacter(std::string_view text, size_t* pos) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(*pos);
  size_t length = lead < 0x80           ? 1
                  : (lead >> 5) == 0x6  ? 2
                  : (lead >> 4) == 0xE  ? 3
                  : (lead >> 3) == 0x1E ? 4
                                        : 0;
  if (length == 1) {
    ++*pos;
    return lead;
  }
  bool valid = length != 0 && *pos + length <= text.size();
  for (size_t i = 1; valid && i < length; ++i) valid = Continuation(byte(*pos + i));
  uint32_t character = 0;
  if (valid) {
    character = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) character = (character << 6) | (byte(*pos + i) & 0x3F);
    static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = character >= kSmallest[length] && character <= 0x10FFFF &&
            !(character >= 0xD800 && character <= 0xDFFF);
  }
  if (!valid) {
    ++*pos;
    return kInvalidBase + lead;
  }
  *pos += length;
  return character;
}

uint32_t FoldCase(uint32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0xC0) return c;
  if (c <= 0xDE) return c == 0xD7 ? c : c + 32;  // Latin-1
  if (c >= 0x100 && c <= 0x137) return c | 1;    // Latin Ext-A pairs
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;  // Greek
  if (c >= 0x400 && c <= 0x40F) return c + 80;                // Cyrillic
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  return c;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    uint32_t x = FoldCase(NextCharacter(a, &i));
    uint32_t y = FoldCase(NextCharacter(b, &j));
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return CompareNoCase(a, b) == 0; }

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (suffix.size() > text.size()) return false;
  size_t start = text.size() - suffix.size();
  // Only compare at a character boundary of the text.
  if (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
    return false;
  }
  return EqualsNoCase(text.substr(start), suffix);
}

}  // namespace gq
