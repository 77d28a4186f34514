#include "setup/ShortcutPlaces.h"

#include <unistd.h>

#include <QProcess>
#include <QStringList>
#include <cstdlib>

#include "frame/FileTypeRegistration.h"

namespace gq {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string Home() {
  std::string home = Environment("HOME");
  return home.empty() ? "/tmp" : home;
}

std::string XdgFolder(const char* variable, const char* fallback) {
  std::string value = Environment(variable);
  return value.empty() ? Home() + fallback : value;
}

std::string WritableOrEmpty(const std::string& folder) {
  return access(folder.c_str(), W_OK | X_OK) == 0 ? folder : std::string();
}

std::string DesktopFolder() {
  QProcess process;
  process.start("xdg-user-dir", QStringList{"DESKTOP"});
  if (process.waitForFinished(5000) && process.exitCode() == 0) {
    std::string folder = process.readAllStandardOutput().trimmed().toStdString();
    if (!folder.empty() && folder != Home()) return folder;
  }
  return Home() + "/Desktop";
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash ? slash : 1);
}

}  // namespace

std::string UserDataHome() { return XdgFolder("XDG_DATA_HOME", "/.local/share"); }
std::string UserConfigHome() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }

std::string ShortcutFolder(ShortcutPlace place) {
  std::string system = Environment("GQ_SETUP_SYSTEM_ROOT");
  std::string allUsers;
  switch (place) {
    case ShortcutPlace::ProgramMenu:
      allUsers = WritableOrEmpty(system + "/usr/share/applications");
      return allUsers.empty() ? UserDataHome() + "/applications" : allUsers;
    case ShortcutPlace::Autostart:
      allUsers = WritableOrEmpty(system + "/etc/xdg/autostart");
      return allUsers.empty() ? UserConfigHome() + "/autostart" : allUsers;
    case ShortcutPlace::Desktop:
      return DesktopFolder();
  }
  return {};
}

const char* ShortcutPlaceName(ShortcutPlace place) {
  switch (place) {
    case ShortcutPlace::ProgramMenu:
      return "program menu entry";
    case ShortcutPlace::Autostart:
      return "autostart menu entry";
    case ShortcutPlace::Desktop:
      return "desktop icon";
  }
  return "";
}

std::string ShortcutText(const Shortcut& shortcut) {
  std::string exec = QuoteExecArgument(shortcut.target);
  if (!shortcut.arguments.empty()) exec += " " + shortcut.arguments;
  return "[Desktop Entry]\nType=Application\nName=" + shortcut.name +
         "\nComment=View your images a different way!\nExec=" + exec +
         " %f\nIcon=" + shortcut.icon + "\nPath=" + FolderOf(shortcut.target) +
         "\nCategories=Graphics;Viewer;\nTerminal=false\n";
}

}  // namespace gq
