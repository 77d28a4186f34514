#include "shell/tools/DesktopEntry.h"

#include <fstream>
#include <sstream>

#include "base/Words.h"
#include "shell/dragdrop/RenderData.h"

namespace gq {
namespace {

// Undoes the escapes of a desktop entry value; "\\" must be undone here, before the
// quoting rules of Exec see the value.
std::string UnescapeValue(const std::string& value) {
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      text.push_back(value[i]);
      continue;
    }
    const char next = value[++i];
    switch (next) {
      case 's':
        text.push_back(' ');
        break;
      case 'n':
        text.push_back('\n');
        break;
      case 't':
        text.push_back('\t');
        break;
      case 'r':
        text.push_back('\r');
        break;
      case '\\':
        text.push_back('\\');
        break;
      default:
        text.push_back('\\');
        text.push_back(next);
    }
  }
  return text;
}

// One word of Exec; a word with a quoted part is taken literally (field codes in
// quotes are left alone, so a path is never put into a quoted shell command).
struct ExecWord {
  std::string text;
  bool quoted = false;
};

// Splits Exec into words; false on an unclosed quote.
bool SplitExec(const std::string& exec, std::vector<ExecWord>* words) {
  ExecWord word;
  bool inWord = false;
  bool inQuotes = false;
  for (size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (inQuotes) {
      if (c == '"') {
        inQuotes = false;
      } else {
        word.text.push_back(c == '\\' && i + 1 < exec.size() ? exec[++i] : c);
      }
    } else if (c == ' ' || c == '\t') {
      if (inWord) words->push_back(word);
      word = ExecWord();
      inWord = false;
    } else {
      inWord = true;
      inQuotes = c == '"';
      word.quoted |= inQuotes;
      if (!inQuotes) word.text.push_back(c);
    }
  }
  if (inWord) words->push_back(word);
  return !inQuotes;
}

// Replaces the field codes of one word; *usedFile tells whether a file code was met.
std::string ExpandWord(const std::string& word, const std::string& path, bool* usedFile) {
  std::string text;
  for (size_t i = 0; i < word.size(); ++i) {
    if (word[i] != '%' || i + 1 == word.size()) {
      text.push_back(word[i]);
      continue;
    }
    const char code = word[++i];
    if (code == 'f' || code == 'F') text += path;
    if (code == 'u' || code == 'U') text += FileUrl(path);
    if (code == '%') text.push_back('%');
    if (code == 'f' || code == 'F' || code == 'u' || code == 'U') *usedFile = true;
  }
  return text;
}

bool IsDroppedCode(const std::string& word) {
  return word.size() == 2 && word[0] == '%' &&
         std::string("fFuU%").find(word[1]) == std::string::npos;
}

}  // namespace

DesktopEntry ParseDesktopEntry(const std::string& text) {
  DesktopEntry entry;
  std::istringstream lines(text);
  std::string line;
  bool inGroup = false;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inGroup = line == "[Desktop Entry]";
      continue;
    }
    const size_t equals = line.find('=');
    if (!inGroup || equals == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, equals));
    const std::string value = UnescapeValue(Trim(line.substr(equals + 1)));
    if (key == "Name") entry.name = value;
    if (key == "Icon") entry.icon = value;
    if (key == "Exec") entry.exec = value;
  }
  return entry;
}

bool ReadDesktopEntry(const std::string& path, DesktopEntry* entry) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream text;
  text << file.rdbuf();
  *entry = ParseDesktopEntry(text.str());
  return true;
}

std::vector<std::string> ExecArguments(const std::string& exec, const std::string& picturePath) {
  std::vector<ExecWord> words;
  // The program itself never comes from a field code: a picture is not run.
  if (!SplitExec(exec, &words) || words.empty() || words[0].text.find('%') != std::string::npos) {
    return {};
  }
  std::vector<std::string> arguments;
  bool usedFile = false;
  for (const ExecWord& word : words) {
    if (word.quoted) {
      arguments.push_back(word.text);
    } else if (!IsDroppedCode(word.text)) {
      arguments.push_back(ExpandWord(word.text, picturePath, &usedFile));
    }
  }
  if (!usedFile) arguments.push_back(picturePath);
  return arguments;
}

}  // namespace gq
