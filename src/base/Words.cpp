#include "base/Words.h"

#include <unistd.h>

#include <climits>
#include <vector>

namespace gq {
namespace {

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string CurrentFolder() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (!getcwd(buffer.data(), buffer.size())) return "/";
  return buffer.data();
}

// Joins the path to the current folder when relative and removes ".", ".." and
// repeated "/" without looking at the file system.
std::string LexicallyAbsolute(const std::string& path) {
  std::string full = path[0] == '/' ? path : CurrentFolder() + "/" + path;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= full.size()) {
    size_t slash = full.find('/', start);
    if (slash == std::string::npos) slash = full.size();
    std::string part = full.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  if (result.empty()) result = "/";
  bool trailingSlash = full.size() > 1 && full.back() == '/';
  if (trailingSlash && result != "/") result += "/";
  return result;
}

}  // namespace

void SkipSpaces(std::string_view text, size_t* cursor) {
  while (*cursor < text.size() && text[*cursor] == ' ') ++*cursor;
}

std::string ReadWord(std::string_view text, size_t* cursor) {
  std::string word;
  if (*cursor < text.size() && text[*cursor] == '"') {
    size_t close = text.find('"', *cursor + 1);
    if (close == std::string_view::npos) {
      word = text.substr(*cursor + 1);
      *cursor = text.size();
    } else {
      word = text.substr(*cursor + 1, close - *cursor - 1);
      *cursor = close + 1;
    }
  } else {
    size_t end = text.find(' ', *cursor);
    if (end == std::string_view::npos) end = text.size();
    word = text.substr(*cursor, end - *cursor);
    *cursor = end;
  }
  SkipSpaces(text, cursor);
  return word;
}

bool ReadNumber(std::string_view text, size_t* cursor, int* value) {
  long long number = 0;
  while (*cursor < text.size() && text[*cursor] != ' ') {
    char c = text[*cursor];
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
    if (number > INT_MAX) return false;
    ++*cursor;
  }
  *value = static_cast<int>(number);
  SkipSpaces(text, cursor);
  return true;
}

bool ReadWholeNumber(std::string_view text, int* value) {
  *value = 0;
  if (text.empty()) return false;
  long long number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
    if (number > INT_MAX) return false;
  }
  *value = static_cast<int>(number);
  return true;
}

std::string NormalizePath(std::string_view path) {
  size_t begin = 0;
  size_t end = path.size();
  while (begin < end && IsWhiteSpace(path[begin])) ++begin;
  while (end > begin && IsWhiteSpace(path[end - 1])) --end;
  std::string text(path.substr(begin, end - begin));
  if (!text.empty() && text[0] == '"') {
    size_t close = text.find('"', 1);
    text = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  if (text.empty() || text.back() == ':') return text;
  return AbsolutePath(text);
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::string full = LexicallyAbsolute(path);
  if (full.size() > PATH_MAX) return path;
  if (full.size() > 1 && full.back() == '/') full.pop_back();
  return full;
}

std::string Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return std::string();
  return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first));
}

}  // namespace gq
