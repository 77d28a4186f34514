#include "db/PathOrder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/Text.h"

namespace gq {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the digit run at pos as a number (saturating at the int64 maximum).
int64_t DigitRun(std::string_view text, size_t pos) {
  int64_t value = 0;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
    int digit = text[pos] - '0';
    value = value > (INT64_MAX - digit) / 10 ? INT64_MAX : value * 10 + digit;
  }
  return value;
}

// Where the character-by-character scan can start: behind the longest byte-identical
// prefix, moved back to a character boundary and to the start of a digit run that the
// prefix ends in (a digit run is compared as a whole number).
size_t ScanStart(std::string_view a, std::string_view b) {
  size_t limit = std::min(a.size(), b.size());
  size_t p = 0;
  for (uint64_t x, y; p + 8 <= limit; p += 8) {  // eight bytes at a time first
    std::memcpy(&x, a.data() + p, 8);
    std::memcpy(&y, b.data() + p, 8);
    if (x != y) break;
  }
  while (p < limit && a[p] == b[p]) ++p;
  while (p > 0 && (static_cast<unsigned char>(a[p - 1]) & 0x80)) --p;
  while (p > 0 && IsDigit(a[p - 1])) --p;
  return p;
}

}  // namespace

int ComparePathsIgnoringCase(std::string_view a, std::string_view b) {
  size_t i = ScanStart(a, b);
  size_t j = i;
  while (i < a.size() && j < b.size()) {
    char x = a[i];
    char y = b[j];
    bool xs = IsSeparator(x);
    bool ys = IsSeparator(y);
    if (xs != ys) return xs ? -1 : 1;
    bool xd = IsDigit(x);
    bool yd = IsDigit(y);
    if (xd != yd) return xd ? -1 : 1;
    if (xd && yd) {
      int64_t xn = DigitRun(a, i);
      int64_t yn = DigitRun(b, j);
      if (xn != yn) return xn < yn ? -1 : 1;
    }
    if (xs && ys) {  // "\" and "/" are the same separator
      ++i;
      ++j;
      continue;
    }
    uint32_t xc = FoldCase(NextCharacter(a, &i));
    uint32_t yc = FoldCase(NextCharacter(b, &j));
    if (xc != yc) return xc < yc ? -1 : 1;
  }
  // One path ended: the shorter one sorts first. (Deciding by the remaining byte as a
  // signed value would put "abc" after "abcä" but before "abcd" while "abcd" sorts before
  // "abcä": no order at all, and a tree under it loses records.)
  if (i < a.size()) return 1;
  return j < b.size() ? -1 : 0;
}

int ComparePaths(std::string_view a, std::string_view b) {
  int order = ComparePathsIgnoringCase(a, b);
  if (order != 0) return order;
  int bytes = a.compare(b);
  return bytes < 0 ? -1 : bytes > 0 ? 1 : 0;
}

}  // namespace gq
