#include "setup/SetupSteps.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <cerrno>
#include <filesystem>

#include "frame/AssertXL.h"
#include "platform/FileReplace.h"
#include "platform/MessageBox.h"
#include "setup/EmbeddedFiles.h"
#include "setup/ShortcutPlaces.h"

namespace gq {
namespace {

constexpr ShortcutPlace kPlaces[] = {ShortcutPlace::ProgramMenu, ShortcutPlace::Autostart,
                                     ShortcutPlace::Desktop};
constexpr const char* kShortcutFile = "/GlimmerQuorum.desktop";
constexpr const char* kToolsEntryName = "QuickGlance viewer";

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void ShowError(const std::string& text) { MessageBox(text, kSetupCaption, MB_ICONERROR); }

// Deletes the target, creates it anew (failing if it appeared meanwhile) and writes all
// bytes.
bool WriteNewFile(const std::string& path, std::string_view bytes, mode_t mode) {
  unlink(path.c_str());
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  return close(fd) == 0 && written == bytes.size();
}

bool WriteEmbeddedFile(int id, const std::string& path, mode_t mode) {
  std::string_view exe = EmbeddedFile(id);
  size_t exelen = exe.size();
  ASSERT_XL(exelen > 0, "setup/setup");
  if (exelen > 0 && WriteNewFile(path, exe, mode)) return true;
  ShowError("Can not create " + path + ".");
  return false;
}

std::string IconPath(const std::string& folder) { return folder + "/GlimmerQuorum.svg"; }

bool CreateShortcut(const std::string& folder, const std::string& file, const Shortcut& shortcut,
                    const std::string& name) {
  if (!folder.empty() && MakeFolders(folder, 0755) &&
      WriteNewFile(folder + file, ShortcutText(shortcut), 0755)) {
    return true;
  }
  ShowError("Could not install " + name + ".");
  return false;
}

bool RemoveShortcut(ShortcutPlace place) {
  std::string path = ShortcutFolder(place) + kShortcutFile;
  if (!Exists(path) || unlink(path.c_str()) == 0) return true;
  ShowError(std::string("Could not uninstall ") + ShortcutPlaceName(place) + ".");
  return false;
}

// Asks before creating a missing folder; true when the folder exists afterwards.
bool EnsureInstallFolder(const std::string& folder) {
  if (IsFolder(folder)) return true;
  if (MessageBox("Create directory " + folder + "?", kSetupCaption,
                 MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
    return false;
  }
  if (MakeFolders(folder, 0755)) return true;
  ShowError("Can not create directory " + folder + ".");
  return false;
}

void InstallTools(const std::string& folder, SetupOutcome* outcome) {
  std::string tools = ToolsFolderPath(folder);
  if (mkdir(tools.c_str(), 0755) != 0 && !IsFolder(tools)) {
    outcome->complete = false;
    return;
  }
  std::string viewer = tools + "/QuickGlance";
  Shortcut entry{viewer, "QuickGlance", IconPath(folder), ""};
  bool ok = WriteEmbeddedFile(kFileQuickGlance, viewer, 0755);
  ok = CreateShortcut(tools, "/QuickGlance.desktop", entry, kToolsEntryName) && ok;
  ok = WriteEmbeddedFile(kFileReadMe, tools + "/ReadMe.txt", 0644) && ok;
  if (!ok) outcome->complete = false;
}

void UpdateShortcuts(const SetupChoices& choices, SetupOutcome* outcome) {
  std::string program = InstalledProgramPath(choices.folder);
  const bool wanted[] = {choices.programMenu, choices.autostart, choices.desktopIcon};
  for (int i = 0; i < 3; ++i) {
    ShortcutPlace place = kPlaces[i];
    Shortcut shortcut{program, "GlimmerQuorum", IconPath(choices.folder),
                      place == ShortcutPlace::Autostart ? "-m" : ""};
    bool ok = wanted[i] ? CreateShortcut(ShortcutFolder(place), kShortcutFile, shortcut,
                                         ShortcutPlaceName(place))
                        : RemoveShortcut(place);
    if (!ok) outcome->complete = false;
  }
}

void ShowFinalMessage(const SetupOutcome& outcome, const std::string& what) {
  if (!outcome.success) {
    ShowError(what + " failed.");
  } else {
    MessageBox(what + (outcome.complete ? " completed." : " partially successful."), kSetupCaption,
               MB_ICONINFORMATION);
  }
}

std::string Absolute(const std::string& folder) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(folder, error);
  std::string text = error ? folder : path.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

std::string InstalledProgramPath(const std::string& folder) { return folder + "/GlimmerQuorum"; }
std::string ToolsFolderPath(const std::string& folder) { return folder + "/GlimmerQuorum_cmd"; }

std::string DefaultInstallFolder() {
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.local/opt/GlimmerQuorum";
}

SetupOutcome RunInstallation(const SetupChoices& chosen, const SetupLaunchers& launchers) {
  SetupChoices choices = chosen;
  choices.folder = Absolute(chosen.folder);
  SetupOutcome outcome;
  if (!EnsureInstallFolder(choices.folder)) {
    outcome.success = false;
    ShowFinalMessage(outcome, "Installation");
    return outcome;
  }
  std::string program = InstalledProgramPath(choices.folder);
  outcome.success = WriteEmbeddedFile(kFileProgram, program, 0755);
  if (!WriteEmbeddedFile(kFileIcon, IconPath(choices.folder), 0644)) outcome.complete = false;
  InstallTools(choices.folder, &outcome);
  UpdateShortcuts(choices, &outcome);
  if (choices.startProgram && !(launchers.startProgram && launchers.startProgram(program))) {
    ShowError("Could not start GlimmerQuorum.");
    outcome.complete = false;
  }
  if (choices.onlineHelp && launchers.openAddress) launchers.openAddress(kProjectAddress);
  ShowFinalMessage(outcome, "Installation");
  return outcome;
}

SetupOutcome RunUninstallation(const std::string& chosenFolder) {
  std::string folder = Absolute(chosenFolder);
  SetupOutcome outcome;
  std::string program = InstalledProgramPath(folder);
  if (Exists(program) && (ProgramIsRunning(program) || unlink(program.c_str()) != 0)) {
    ShowError("Can not delete " + program + ".\nIs GlimmerQuorum still running?");
    outcome.success = false;
  }
  std::string tools = ToolsFolderPath(folder);
  if (Exists(tools) && !QFile::moveToTrash(QString::fromStdString(tools))) {
    outcome.complete = false;
  }
  unlink(IconPath(folder).c_str());
  if (IsFolder(folder) && rmdir(folder.c_str()) != 0) {
    MessageBox("Consider deleting directory manually: " + folder, kSetupCaption, MB_ICONQUESTION);
    outcome.complete = false;
  }
  for (ShortcutPlace place : kPlaces) {
    if (!RemoveShortcut(place)) outcome.complete = false;
  }
  ShowFinalMessage(outcome, "Uninstall");
  return outcome;
}

bool ProgramIsRunning(const std::string& programPath) {
  struct stat program;
  if (stat(programPath.c_str(), &program) != 0) return false;
  DIR* processes = opendir("/proc");
  if (!processes) return false;
  bool running = false;
  while (dirent* entry = readdir(processes)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    struct stat image;
    std::string exe = std::string("/proc/") + entry->d_name + "/exe";
    if (stat(exe.c_str(), &image) == 0 && image.st_dev == program.st_dev &&
        image.st_ino == program.st_ino) {
      running = true;
      break;
    }
  }
  closedir(processes);
  return running;
}

}  // namespace gq
