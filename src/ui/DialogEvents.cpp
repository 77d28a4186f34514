#include "ui/DialogEvents.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace gq {
namespace {

// Swallows quit events while it is installed and remembers that one came.
class QuitCatcher : public QObject {
 public:
  bool quitSeen = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
      quitSeen = true;
      return true;
    }
    return false;
  }
};

}  // namespace

bool DispatchDialogEvents() {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return true;
  QuitCatcher catcher;
  app->installEventFilter(&catcher);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  app->removeEventFilter(&catcher);
  if (catcher.quitSeen) QCoreApplication::postEvent(app, new QEvent(QEvent::Quit));
  return !catcher.quitSeen;
}

}  // namespace gq
