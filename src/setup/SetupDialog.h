// Setup's one window: the installation folder, the shortcut and start choices and the
// Install, Uninstall and Cancel buttons. Controls carry their numbers as object names
// ("1060" the folder, "1061" browse, "1062".."1066" the check boxes, "1" Install,
// "3" Uninstall, "2" Cancel; "weblink" the project link). Install runs the installation
// and closes the window; Uninstall runs the uninstallation and keeps it open.
// User-interface thread.
#pragma once

#include <QDialog>
#include <string>

#include "setup/SetupSteps.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QVBoxLayout;

namespace gq {

// Where the folder browser starts: the folder itself, else its nearest existing parent
// (cutting one path component at a time), else the current folder.
std::string BrowseStartFolder(const std::string& folder);

class SetupDialog : public QDialog {
 public:
  explicit SetupDialog(SetupLaunchers launchers, QWidget* parent = nullptr);

  SetupChoices Choices() const;

 private:
  void BuildHeader(QVBoxLayout* layout);
  void BuildChoices(QVBoxLayout* layout);
  void BuildButtons(QVBoxLayout* layout);
  QCheckBox* AddCheckBox(QVBoxLayout* layout, const char* id, const char* text, bool checked);
  void Browse();
  void Install();
  void Uninstall();
  void OpenLink();

  SetupLaunchers m_Launchers;
  QLineEdit* m_Folder = nullptr;
  QLabel* m_Link = nullptr;
  QCheckBox* m_DesktopIcon = nullptr;
  QCheckBox* m_ProgramMenu = nullptr;
  QCheckBox* m_Autostart = nullptr;
  QCheckBox* m_StartProgram = nullptr;
  QCheckBox* m_OnlineHelp = nullptr;
};

}  // namespace gq
