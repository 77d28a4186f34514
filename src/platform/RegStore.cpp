#include "platform/RegStore.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/FileReplace.h"

namespace gq {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kKey = "[HKEY_CURRENT_USER\\Software\\GlimmerQuorum]";

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

// Reads a quoted text starting at text[pos] == '"'; pos ends after the closing quote.
std::optional<std::string> Unquote(const std::string& text, size_t& pos) {
  if (pos >= text.size() || text[pos] != '"') return std::nullopt;
  std::string out;
  for (++pos; pos < text.size(); ++pos) {
    char c = text[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (c == '\\') {
      if (++pos >= text.size()) return std::nullopt;
      char e = text[pos];
      out += e == 'n' ? '\n' : e == 'r' ? '\r' : e;
    } else {
      out += c;
    }
  }
  return std::nullopt;
}

std::optional<uint32_t> ParseHex8(const std::string& digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    int d = (c >= '0' && c <= '9')   ? c - '0'
            : (c >= 'a' && c <= 'f') ? c - 'a' + 10
            : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                     : -1;
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<uint32_t>(d);
  }
  return value;
}

std::string Trimmed(const std::string& line) {
  size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

bool IsKeyHeader(const std::string& line) {
  std::string text = Trimmed(line);
  return text.size() >= 2 && text.front() == '[' && text.back() == ']';
}

// Key names compare without regard to letter case, as the registry does.
bool IsOurKey(const std::string& line) {
  std::string text = Trimmed(line);
  std::string key = kKey;
  return text.size() == key.size() &&
         std::equal(text.begin(), text.end(), key.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

std::string ValueLine(const RegStore::Value& value) {
  if (value.type == RegStore::Type::String)
    return Quote(value.name) + "=" + Quote(value.text) + "\n";
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", value.dword);
  return Quote(value.name) + "=dword:" + hex + "\n";
}

}  // namespace

std::string RegStore::DefaultPath() {
  if (const char* dir = std::getenv("GLIMMERQUORUM_CONFIG_DIR"); dir && *dir) {
    return std::string(dir) + "/settings.reg";
  }
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    base = "/tmp";
  }
  return base + "/GlimmerQuorum/settings.reg";
}

std::optional<RegStore::Value> RegStore::ParseLine(const std::string& rawLine) {
  std::string line = rawLine;
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  size_t pos = 0;
  std::optional<std::string> name = Unquote(line, pos);
  if (!name || pos >= line.size() || line[pos] != '=') return std::nullopt;
  ++pos;
  Value value;
  value.name = *name;
  if (line.compare(pos, 6, "dword:") == 0) {
    std::optional<uint32_t> word = ParseHex8(line.substr(pos + 6));
    if (!word) return std::nullopt;
    value.type = Type::Dword;
    value.dword = *word;
    return value;
  }
  std::optional<std::string> text = Unquote(line, pos);
  if (!text || pos != line.size()) return std::nullopt;
  value.type = Type::String;
  value.text = *text;
  return value;
}

bool RegStore::Load(const std::string& path) {
  m_Values.clear();
  m_Lines.clear();
  m_NewValuesAt = kNoKey;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bool ours = false;
  std::string text;
  while (std::getline(in, text)) {
    Line line{text, std::nullopt};
    if (IsKeyHeader(text)) {
      ours = IsOurKey(text);
    } else if (std::optional<Value> value = ours ? ParseLine(text) : std::nullopt) {
      line.valueName = value->name;
      if (Value* existing = Find(value->name)) {
        *existing = *value;
      } else {
        m_Values.push_back(*value);
      }
    }
    m_Lines.push_back(line);
    if (ours && !Trimmed(text).empty()) m_NewValuesAt = m_Lines.size();
  }
  return true;
}

std::string RegStore::Serialize() const {
  std::ostringstream out;
  auto writeNewValues = [&] {
    for (const Value& value : m_Values) {
      if (!InFile(value.name)) out << ValueLine(value);
    }
  };
  if (m_Lines.empty()) {
    out << kHeader << "\n\n" << kKey << "\n";
    writeNewValues();
    return out.str();
  }
  std::vector<std::string> written;
  for (size_t i = 0; i < m_Lines.size(); ++i) {
    if (i == m_NewValuesAt) writeNewValues();
    const Line& line = m_Lines[i];
    if (!line.valueName) {
      out << line.text << "\n";
    } else if (std::find(written.begin(), written.end(), *line.valueName) == written.end()) {
      written.push_back(*line.valueName);  // a repeated value is written once, where it came first
      out << ValueLine(*Find(*line.valueName));
    }
  }
  if (m_NewValuesAt == m_Lines.size()) writeNewValues();
  bool anyNew = std::any_of(m_Values.begin(), m_Values.end(),
                            [&](const Value& value) { return !InFile(value.name); });
  if (m_NewValuesAt == kNoKey && anyNew) {
    out << "\n" << kKey << "\n";
    writeNewValues();
  }
  return out.str();
}

bool RegStore::Save(const std::string& path) const {
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) MakeFolders(path.substr(0, slash), 0700);
  return ReplaceFileContent(path, Serialize());
}

std::optional<uint32_t> RegStore::GetDword(const std::string& name) const {
  const Value* value = Find(name);
  if (!value || value->type != Type::Dword) return std::nullopt;
  return value->dword;
}

std::optional<std::string> RegStore::GetString(const std::string& name) const {
  const Value* value = Find(name);
  if (!value || value->type != Type::String) return std::nullopt;
  return value->text;
}

void RegStore::SetDword(const std::string& name, uint32_t word) {
  Value* value = Find(name);
  if (!value) value = &m_Values.emplace_back();
  value->name = name;
  value->type = Type::Dword;
  value->dword = word;
  value->text.clear();
}

void RegStore::SetString(const std::string& name, const std::string& text) {
  Value* value = Find(name);
  if (!value) value = &m_Values.emplace_back();
  value->name = name;
  value->type = Type::String;
  value->dword = 0;
  value->text = text;
}

bool RegStore::InFile(const std::string& name) const {
  return std::any_of(m_Lines.begin(), m_Lines.end(),
                     [&](const Line& line) { return line.valueName == name; });
}

RegStore::Value* RegStore::Find(const std::string& name) {
  for (Value& value : m_Values) {
    if (value.name == name) return &value;
  }
  return nullptr;
}

const RegStore::Value* RegStore::Find(const std::string& name) const {
  return const_cast<RegStore*>(this)->Find(name);
}

}  // namespace gq
