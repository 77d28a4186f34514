// setup: installs or uninstalls GlimmerQuorum with one window. It carries the program,
// the QuickGlance viewer wrapper and the tools folder's read-me inside itself.
#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "setup/SetupDialog.h"
#include "setup/SetupMutex.h"
#include "ui/QtMessageBox.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  gq::SetMessageBoxBackend(gq::ShowQtMessageBox);
  gq::NamedMutex mutex;
  if (!gq::TakeSetupMutex(&mutex)) return -1;
  gq::SetupLaunchers launchers;
  launchers.startProgram = [](const std::string& program) {
    std::string error;
    return gq::StartDetachedProcess({program}, &error);
  };
  launchers.openAddress = [](const std::string& address) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
  };
  gq::SetupDialog dialog(launchers);
  QObject::connect(&dialog, &QDialog::finished, &app, &QApplication::quit);
  dialog.show();
  dialog.raise();
  dialog.activateWindow();
  return app.exec();
}
