#include "ui/RenameBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace gq {

RenameBox::RenameBox(QWidget* owner, const QRect& screenBox, const QRect& screenCell,
                     const QString& text)
    : m_Edit(new QLineEdit(owner->window())), m_Cell(screenCell) {
  QWidget* top = owner->window();
  m_Edit->setObjectName("RenameBox");
  m_Edit->setFrame(true);
  m_Edit->setAlignment(Qt::AlignCenter);
  m_Edit->setFont(QApplication::font());
  m_Edit->setGeometry(QRect(top->mapFromGlobal(screenBox.topLeft()), screenBox.size()));
  m_Edit->setText(text);
  m_Edit->selectAll();
  m_Edit->show();
  m_Edit->raise();
  m_Edit->setFocus(Qt::OtherFocusReason);
}

RenameBox::~RenameBox() { delete m_Edit.data(); }

std::optional<QString> RenameBox::Edit(QWidget* owner, const QRect& screenBox,
                                       const QRect& screenCell, const QString& text) {
  RenameBox box(owner, screenBox, screenCell, text);
  qApp->installEventFilter(&box);
  box.m_Loop.exec();
  qApp->removeEventFilter(&box);
  if (!box.m_Accepted || !box.m_Edit) return std::nullopt;
  return box.m_Edit->text();
}

void RenameBox::Finish(bool accepted) {
  if (m_Done) return;
  m_Done = true;
  m_Accepted = accepted;
  m_Loop.exit();
}

bool RenameBox::eventFilter(QObject* target, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(target);
  if (!widget || m_Done) return false;
  switch (event->type()) {
    case QEvent::KeyPress:
      return FilterKey(widget, event);
    case QEvent::FocusOut:
      if (widget == m_Edit) Finish(true);
      return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      return FilterPress(widget, event);
    case QEvent::MouseButtonRelease:
      return widget != m_Edit;
    default:
      return false;
  }
}

bool RenameBox::FilterKey(QWidget* target, QEvent* event) {
  if (target != m_Edit) {
    Finish(true);
    return false;
  }
  switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Escape:
      Finish(false);
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Finish(true);
      return true;
    default:
      return false;
  }
}

bool RenameBox::FilterPress(QWidget* target, QEvent* event) {
  if (target == m_Edit) return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  Finish(true);
  return mouse->button() == Qt::LeftButton && m_Cell.contains(mouse->globalPosition().toPoint());
}

}  // namespace gq
