#include "shell/tools/ToolsList.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "base/Text.h"
#include "shell/tools/DesktopEntry.h"

namespace gq {
namespace {

namespace fs = std::filesystem;

bool IsDesktopName(const std::string& name) { return EndsWithNoCase(name, ".desktop"); }

// A listed tool: a desktop entry, a symbolic link (even a dangling one: running it
// then reports the failure) or an executable file; never a folder.
bool IsTool(const fs::directory_entry& item) {
  std::error_code error;
  if (item.is_directory(error)) return false;
  const std::string name = item.path().filename().string();
  if (name.empty() || name[0] == '.') return false;
  if (IsDesktopName(name) || item.is_symlink(error)) return true;
  return item.is_regular_file(error) && access(item.path().c_str(), X_OK) == 0;
}

ToolEntry MakeEntry(const fs::path& path) {
  ToolEntry tool;
  tool.path = path.string();
  tool.label = path.filename().string();
  tool.desktopEntry = IsDesktopName(tool.label);
  DesktopEntry entry;
  if (tool.desktopEntry && ReadDesktopEntry(tool.path, &entry)) {
    tool.label = entry.name.empty() ? path.stem().string() : entry.name;
    tool.icon = entry.icon;
  }
  return tool;
}

bool LabelOrder(const ToolEntry& a, const ToolEntry& b) {
  const int order = CompareNoCase(a.label, b.label);
  return order != 0 ? order < 0 : a.path < b.path;
}

}  // namespace

std::vector<ToolEntry> ListTools(const std::string& folder) {
  std::vector<ToolEntry> tools;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (IsTool(*it)) tools.push_back(MakeEntry(it->path()));
  }
  std::sort(tools.begin(), tools.end(), LabelOrder);
  return tools;
}

std::string MnemonicLabel(const std::string& label) {
  std::string text = "&";
  for (char c : label) {
    if (c == '&') text.push_back('&');
    text.push_back(c);
  }
  return text;
}

std::vector<std::string> ToolCommand(const ToolEntry& tool, const std::string& picturePath) {
  if (!tool.desktopEntry) return {tool.path, picturePath};
  DesktopEntry entry;
  if (!ReadDesktopEntry(tool.path, &entry)) return {};
  return ExecArguments(entry.exec, picturePath);
}

}  // namespace gq
