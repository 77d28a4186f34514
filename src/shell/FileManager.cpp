#include "shell/FileManager.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "platform/Beep.h"
#include "shell/dragdrop/RenderData.h"

namespace gq {
namespace {

constexpr char kFileManagerService[] = "org.freedesktop.FileManager1";
constexpr char kFileManagerObject[] = "/org/freedesktop/FileManager1";

// Calls method(uris, startup id) of the file manager; answered(true) once it
// replied, answered(false) when there is no bus or the call failed.
void CallFileManager(const char* method, const std::string& path,
                     std::function<void(bool)> answered) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    answered(false);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kFileManagerService, kFileManagerObject,
                                                     kFileManagerService, method);
  call << QStringList{QString::fromStdString(FileUrl(path))} << QString();
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                   [answered](QDBusPendingCallWatcher* reply) {
                     reply->deleteLater();
                     answered(!reply->isError());
                   });
}

bool OpenUrlOrBeep(const QUrl& url) {
  if (QDesktopServices::openUrl(url)) return true;
  MessageBeep(MB_BEEP_DEFAULT);
  return false;
}

QUrl FolderUrl(const std::string& path) {
  return QUrl::fromLocalFile(QFileInfo(QString::fromStdString(path)).absolutePath());
}

}  // namespace

void ExploreFile(const std::string& path, FileManagerDone done) {
  CallFileManager("ShowItems", path, [path, done](bool byFileManager) {
    if (!byFileManager) OpenUrlOrBeep(FolderUrl(path));
    if (done) done(byFileManager);
  });
}

void ShowFileProperties(const std::string& path, FileManagerDone done) {
  CallFileManager("ShowItemProperties", path, [done](bool byFileManager) {
    if (!byFileManager) MessageBeep(MB_BEEP_DEFAULT);
    if (done) done(byFileManager);
  });
}

bool ViewExternal(const std::string& path) {
  return OpenUrlOrBeep(QUrl::fromLocalFile(QString::fromStdString(path)));
}

}  // namespace gq
