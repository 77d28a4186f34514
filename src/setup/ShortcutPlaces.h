// Where setup puts the program's shortcuts and what a shortcut holds. Shortcuts are
// freedesktop desktop entries. Each place is the all-users folder when that folder is
// writable (for an administrator), otherwise the user's own folder:
//   program menu  /usr/share/applications  or $XDG_DATA_HOME/applications
//   autostart     /etc/xdg/autostart       or $XDG_CONFIG_HOME/autostart
//   desktop       (none)                      `xdg-user-dir DESKTOP`, else ~/Desktop
// GQ_SETUP_SYSTEM_ROOT, when set, is put in front of the all-users folders (staged
// installs and tests). User-interface thread.
#pragma once

#include <string>

namespace gq {

enum class ShortcutPlace { ProgramMenu, Autostart, Desktop };

// The folder of the place (not created here); empty when none can be found.
std::string ShortcutFolder(ShortcutPlace place);

// The name used in setup's messages ("program menu entry", ...).
const char* ShortcutPlaceName(ShortcutPlace place);

// One shortcut: the program it starts, its name (GlimmerQuorum or QuickGlance), the
// icon file and the arguments put before the picture placeholder (may be empty).
struct Shortcut {
  std::string target;
  std::string name;
  std::string icon;
  std::string arguments;
};

// The desktop entry text: Exec (the target quoted, the arguments, then %f), Icon,
// Path (the target's folder), Categories and Terminal=false.
std::string ShortcutText(const Shortcut& shortcut);

// The user's own folders, following the XDG variables with their defaults.
std::string UserDataHome();
std::string UserConfigHome();

}  // namespace gq
