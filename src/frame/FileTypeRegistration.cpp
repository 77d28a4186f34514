#include "frame/FileTypeRegistration.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/FileReplace.h"

namespace gq {
namespace {

std::string DataHome() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.local/share";
}

const char* kMimePackage =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
    "  <mime-type type=\"application/x-glimmerquorum-db\">\n"
    "    <comment>GlimmerQuorum Database</comment>\n"
    "    <glob pattern=\"*.gqdb\"/>\n"
    "  </mime-type>\n"
    "</mime-info>\n";

}  // namespace

std::string QuoteExecArgument(const std::string& word) {
  std::string out = "\"";
  for (char c : word) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string ProgramPath() {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t n = readlink("/proc/self/exe", buffer.data(), PATH_MAX);
  return n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : std::string();
}

std::string DesktopEntryText(const std::string& programPath) {
  return "[Desktop Entry]\nType=Application\nName=GlimmerQuorum\n"
         "Comment=GlimmerQuorum Database\nExec=" +
         QuoteExecArgument(programPath) +
         " %f\nIcon=glimmerquorum\nCategories=Graphics;Viewer;\n"
         "MimeType=application/x-glimmerquorum-db;\nNoDisplay=true\nTerminal=false\n";
}

bool RegisterDatabaseFileType(const std::string& programPath) {
  std::string data = DataHome();
  bool ok = MakeFolders(data + "/mime/packages", 0755) &&
            ReplaceFileContent(data + "/mime/packages/glimmerquorum.xml", kMimePackage);
  ok = MakeFolders(data + "/applications", 0755) &&
       ReplaceFileContent(data + "/applications/" + kFileTypeEntryName,
                          DesktopEntryText(programPath)) &&
       ok;
  const std::string icons = data + "/icons/hicolor/scalable/apps";
  ok = MakeFolders(icons, 0755) &&
       ReplaceFileContent(icons + "/glimmerquorum.svg", kProgramIconSvg) && ok;
  return ok;
}

}  // namespace gq
