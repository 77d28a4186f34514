// The installation and the uninstallation that the setup dialog runs. Every step goes
// on after a failure, so that as much as possible is installed or removed; each
// failure is shown in a box (caption "GlimmerQuorum Setup") and the final box says
// whether all, part or nothing essential succeeded. User-interface thread.
#pragma once

#include <functional>
#include <string>

namespace gq {

inline constexpr const char* kSetupCaption = "GlimmerQuorum Setup";
inline constexpr const char* kProjectAddress = "https://github.com/glimmerquorum/glimmerquorum";

// The dialog's choices.
struct SetupChoices {
  std::string folder;
  bool desktopIcon = true;
  bool programMenu = true;
  bool autostart = false;
  bool startProgram = true;
  bool onlineHelp = true;
};

// How setup starts the installed program and opens a web address; each returns false
// when it could not. The program wires the desktop's launchers; absent hooks fail.
struct SetupLaunchers {
  std::function<bool(const std::string& program)> startProgram;
  std::function<bool(const std::string& address)> openAddress;
};

// The two result flags of a run.
struct SetupOutcome {
  bool success = true;
  bool complete = true;
};

std::string InstalledProgramPath(const std::string& folder);
std::string ToolsFolderPath(const std::string& folder);

// The default installation folder: ~/.local/opt/GlimmerQuorum.
std::string DefaultInstallFolder();

// Installs into choices.folder (asking before creating it), creates or removes the
// shortcuts by the check boxes, starts the program and opens the help when asked.
SetupOutcome RunInstallation(const SetupChoices& choices, const SetupLaunchers& launchers);

// Removes the program (refused while it runs), moves the tools folder to the trash,
// removes the folder when it is empty and every shortcut.
SetupOutcome RunUninstallation(const std::string& folder);

// Whether a live process runs the program file at that path.
bool ProgramIsRunning(const std::string& programPath);

}  // namespace gq
