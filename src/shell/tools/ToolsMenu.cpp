#include "shell/tools/ToolsMenu.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QProcess>
#include <QUrl>

#include "platform/Beep.h"
#include "platform/MessageBox.h"
#include "shell/tools/ToolsList.h"

namespace gq {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QIcon ToolIcon(const ToolEntry& tool) {
  if (tool.icon.empty()) return QIcon();
  if (QDir::isAbsolutePath(Q(tool.icon))) return QIcon(Q(tool.icon));
  return QIcon::fromTheme(Q(tool.icon));
}

bool StartTool(const ToolEntry& tool, const std::string& picturePath) {
  if (picturePath.empty()) return false;
  const std::vector<std::string> command = ToolCommand(tool, picturePath);
  if (command.empty()) return false;
  QStringList arguments;
  for (size_t i = 1; i < command.size(); ++i) arguments << Q(command[i]);
  return QProcess::startDetached(Q(command[0]), arguments);
}

void RunTool(const ToolEntry& tool, const std::string& picturePath, const ToolStatusHook& status) {
  if (StartTool(tool, picturePath)) return;
  MessageBeep(MB_BEEP_DEFAULT);
  if (status && !picturePath.empty()) status("Could not start " + tool.label + ".");
}

// Opens the folder with the desktop's file manager, creating it when missing.
void OpenToolsFolder(const std::string& folder) {
  if (QDir().mkpath(Q(folder)) && QDesktopServices::openUrl(QUrl::fromLocalFile(Q(folder)))) {
    return;
  }
  MessageBeep(MB_BEEP_DEFAULT);
  MessageBox("Could not open " + folder, kProgramCaption, MB_ICONERROR);
}

QAction* AddCommand(QMenu* menu, const std::string& label, const QIcon& icon, int command) {
  QAction* action = menu->addAction(icon, Q(MnemonicLabel(label)));
  action->setObjectName(QString::number(command));
  return action;
}

}  // namespace

std::string ToolsFolder() {
  return QDir(QCoreApplication::applicationDirPath()).filePath("GlimmerQuorum_cmd").toStdString();
}

void FillOpenWithMenu(QMenu* menu, const std::string& picturePath, const ToolStatusHook& status) {
  FillToolsMenu(menu, picturePath, ToolsFolder(), status);
}

void FillToolsMenu(QMenu* menu, const std::string& picturePath, const std::string& folder,
                   const ToolStatusHook& status) {
  menu->clear();
  int command = kFirstToolCommand;
  for (const ToolEntry& tool : ListTools(folder)) {
    QAction* action = AddCommand(menu, tool.label, ToolIcon(tool), command++);
    QObject::connect(action, &QAction::triggered,
                     [tool, picturePath, status] { RunTool(tool, picturePath, status); });
  }
  menu->addSeparator();
  QAction* edit =
      AddCommand(menu, "Edit Tools...", QGuiApplication::windowIcon(), kEditToolsCommand);
  QObject::connect(edit, &QAction::triggered, [folder] { OpenToolsFolder(folder); });
}

}  // namespace gq
