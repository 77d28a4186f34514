#include "ui/WindowKeys.h"

#include <QApplication>
#include <QKeyEvent>

#include "ui/CommandTable.h"

namespace gq {
namespace {

bool IsCycleKey(const QKeyEvent* key, bool* forward) {
  if (!(key->modifiers() & Qt::ControlModifier)) return false;
  if (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab) return false;
  *forward = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
  return true;
}

bool IsUpdateKey(const QKeyEvent* key) {
  const Qt::KeyboardModifiers both = Qt::ControlModifier | Qt::AltModifier;
  return key->key() == Qt::Key_F5 && (key->modifiers() & both) == both;
}

}  // namespace

int NextCycleWindow(const std::array<bool, kCycleWindows>& shown, int current, bool forward) {
  if (current < 0 || current >= kCycleWindows) return 0;
  int next = current;
  do {
    next = (next + (forward ? 1 : kCycleWindows - 1)) % kCycleWindows;
  } while (next != 0 && !shown[next]);
  return next;
}

WindowKeys::WindowKeys(QWidget* main, std::function<bool(const QKeySequence&)> trigger,
                       std::function<void(int command)> command)
    : QObject(main), m_Main(main), m_Trigger(std::move(trigger)), m_Command(std::move(command)) {
  m_Windows[0] = main;
  qApp->installEventFilter(this);
}

WindowKeys::~WindowKeys() { qApp->removeEventFilter(this); }

void WindowKeys::SetToolWindow(ToolWindow role, QWidget* window) {
  m_Windows[static_cast<int>(role)] = window;
}

bool WindowKeys::InFindDialog(QObject* watched) const {
  const QWidget* find = m_Windows[static_cast<int>(ToolWindow::kFind)];
  auto* widget = qobject_cast<QWidget*>(watched);
  return find && widget && widget->window() == find;
}

void WindowKeys::Cycle(bool forward) {
  std::array<bool, kCycleWindows> shown{};
  int current = -1;
  QWidget* active = QApplication::activeWindow();
  for (int i = 0; i < kCycleWindows; ++i) {
    shown[i] = m_Windows[i] && m_Windows[i]->isVisible();
    if (active && m_Windows[i] == active) current = i;
  }
  BringToFront(m_Windows[NextCycleWindow(shown, current, forward)]);
}

bool WindowKeys::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress && type != QEvent::KeyRelease) {
    return false;
  }
  auto* key = static_cast<QKeyEvent*>(event);
  const bool press = type == QEvent::KeyPress;
  bool forward = false;
  if (IsCycleKey(key, &forward)) {
    if (press) Cycle(forward);
  } else if (IsUpdateKey(key)) {
    if (type == QEvent::KeyRelease && !key->isAutoRepeat()) m_Command(kCmdUpdateDirsOfSelected);
  } else if (key->key() == Qt::Key_F3 && InFindDialog(watched) && type != QEvent::KeyRelease) {
    if (press) m_Trigger(QKeySequence(key->keyCombination()));
  } else {
    return false;
  }
  event->accept();  // an accepted override keeps the key from every other shortcut
  return true;
}

void BringToFront(QWidget* window) {
  if (window->isMinimized()) window->showNormal();
  window->raise();
  window->activateWindow();
}

}  // namespace gq
