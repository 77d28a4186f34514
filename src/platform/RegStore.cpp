#include "platform/RegStore.h"

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
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    std::optional<Value> value = ParseLine(line);
    if (!value) continue;
    if (Value* existing = Find(value->name)) {
      *existing = *value;
    } else {
      m_Values.push_back(*value);
    }
  }
  return true;
}

std::string RegStore::Serialize() const {
  std::ostringstream out;
  out << kHeader << "\n\n" << kKey << "\n";
  for (const Value& value : m_Values) {
    out << Quote(value.name) << "=";
    if (value.type == Type::Dword) {
      char hex[9];
      std::snprintf(hex, sizeof hex, "%08x", value.dword);
      out << "dword:" << hex << "\n";
    } else {
      out << Quote(value.text) << "\n";
    }
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
