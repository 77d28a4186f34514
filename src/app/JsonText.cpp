#include "app/JsonText.h"

#include <cstdint>
#include <cstdio>

namespace gq {
namespace {

// The length of the well-formed UTF-8 sequence at text[i], or 0 when the byte there
// starts none (overlong forms, surrogates and values past U+10FFFF count as malformed).
size_t Utf8Length(const std::string& text, size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) return 1;
  size_t length = 0;
  uint32_t point = 0;
  if (c >= 0xc2 && c <= 0xdf) {
    length = 2, point = c & 0x1f;
  } else if (c >= 0xe0 && c <= 0xef) {
    length = 3, point = c & 0x0f;
  } else if (c >= 0xf0 && c <= 0xf4) {
    length = 4, point = c & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xc0) != 0x80) return 0;
    point = (point << 6) | (next & 0x3f);
  }
  static constexpr uint32_t kLowest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < kLowest[length] || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff)) return 0;
  return length;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string json = "\"";
  char escaped[8];
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = Utf8Length(text, i);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f || length == 0) {
      std::snprintf(escaped, sizeof escaped, length == 0 ? "\\udc%02x" : "\\u%04x", c);
      json += escaped;
    } else {
      json.append(text, i, length);
      i += length;
      continue;
    }
    ++i;
  }
  return json + "\"";
}

}  // namespace gq
