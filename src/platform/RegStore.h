// The settings store: typed named values (32-bit words and texts) kept in a text file
// in the ".reg" format ("VTB"=dword:00000001, "ImportCmd"="..."), standing in for the
// program's registry key. Only the values under the program's own key header
// ([HKEY_CURRENT_USER\Software\GlimmerQuorum], any letter case) are ours; every other
// line of the file (other keys, comments, values we cannot read) is written back as it
// was. Types are kept, so a value stored as text never reads as a word. The file is read
// as a whole and written as a whole (atomically). Not shared between threads: each user
// holds its own instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace gq {

class RegStore {
 public:
  enum class Type { Dword, String };
  struct Value {
    std::string name;
    Type type = Type::Dword;
    uint32_t dword = 0;
    std::string text;
  };

  // The file of this user's settings: $GLIMMERQUORUM_CONFIG_DIR/settings.reg when that
  // variable is set, else $XDG_CONFIG_HOME (or ~/.config)/GlimmerQuorum/settings.reg.
  static std::string DefaultPath();

  // Reads the file; lines that are not values of our key are kept aside for Save. False
  // (and an empty store) when the file cannot be read.
  bool Load(const std::string& path);
  // Writes all values (creating the folder); false when it cannot be written.
  bool Save(const std::string& path) const;

  std::optional<uint32_t> GetDword(const std::string& name) const;
  std::optional<std::string> GetString(const std::string& name) const;
  void SetDword(const std::string& name, uint32_t value);
  void SetString(const std::string& name, const std::string& value);
  const std::vector<Value>& Values() const { return m_Values; }

  // The file's text for the current values (in the lines of the loaded file, new values
  // at the end of our key), and the parser of one value line.
  std::string Serialize() const;
  static std::optional<Value> ParseLine(const std::string& line);

 private:
  Value* Find(const std::string& name);
  const Value* Find(const std::string& name) const;

  // One line of the loaded file: kept text, or the place of one of our values.
  struct Line {
    std::string text;
    std::optional<std::string> valueName;  // the line of this value of ours
  };
  bool InFile(const std::string& name) const;

  std::vector<Value> m_Values;  // in the order they were first set or read
  std::vector<Line> m_Lines;    // the loaded file; empty for a new file
  static constexpr size_t kNoKey = SIZE_MAX;
  size_t m_NewValuesAt = kNoKey;  // the line before which new values go; kNoKey: no key of ours
};

}  // namespace gq
