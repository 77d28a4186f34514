#include "ui/ProgressCallbacks.h"

#include <QApplication>
#include <QKeyEvent>

#include "frame/MessageHost.h"
#include "platform/Beep.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"

namespace gq {
namespace {

bool TypesCharacter(const QKeyEvent* key) {
  return !key->text().isEmpty() && key->text().at(0).isPrint();
}

// While a modal operation runs: painting and sizing go on, input is dropped.
class ModalFilter : public QObject {
 public:
  explicit ModalFilter(QWidget* main) : m_Main(main) {}
  bool m_ClosePressed = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
        if (TypesCharacter(static_cast<QKeyEvent*>(event))) MessageBeep(MB_BEEP_DEFAULT);
        return true;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
        if (watched->isWidgetType()) MessageBeep(MB_BEEP_DEFAULT);
        return true;
      case QEvent::Close:
        MessageBeep(MB_BEEP_DEFAULT);
        if (watched == m_Main) m_ClosePressed = true;
        event->ignore();  // the window stays open
        return true;
      case QEvent::ShortcutOverride:
        event->accept();  // no shortcut either
        return true;
      case QEvent::Shortcut:
      case QEvent::Timer:
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
        return true;
      default:
        return dynamic_cast<QInputEvent*>(event) != nullptr;
    }
  }

 private:
  QObject* m_Main;
};

// While an interruptible operation runs: everything is handled, presses are noted.
class PressWatch : public QObject {
 public:
  bool m_Pressed = false;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::MouseButtonPress) m_Pressed = true;
    return false;
  }
};

// Handles the events that arrived, with filter on the application meanwhile.
void DrainEvents(QObject* filter) {
  QtHost::HandPumped pumped;
  qApp->installEventFilter(filter);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  qApp->removeEventFilter(filter);
}

}  // namespace

ProgressCallbacks::ProgressCallbacks(MainWindow& window, MessageWindow& host)
    : QObject(&window), m_Window(window), m_Host(host) {}

bool ProgressCallbacks::Drains(double fraction) {
  if (!m_Host.IsOwnerThread()) return false;
  m_Window.SetProgress(fraction);
  return fraction != 1.0;
}

bool ProgressCallbacks::CloseQueued() {
  Message message;
  return m_Host.Peek(&message, kMsgClose, kMsgClose, false);
}

bool ProgressCallbacks::Modal(double fraction) {
  if (!Drains(fraction)) return true;
  ModalFilter filter(&m_Window);
  DrainEvents(&filter);
  return !filter.m_ClosePressed && !CloseQueued();
}

bool ProgressCallbacks::Interruptible(double fraction) {
  if (!Drains(fraction)) return true;
  if (CloseQueued()) return false;
  PressWatch watch;
  DrainEvents(&watch);
  return !watch.m_Pressed && !CloseQueued();
}

}  // namespace gq
