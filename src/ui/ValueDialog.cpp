#include "ui/ValueDialog.h"

#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <cstdio>

#include "ui/DialogIcon.h"

namespace gq {

bool ReadValueText(const std::string& text, int32_t* value) {
  const std::string head = text.substr(0, 127);
  int read = 0;
  if (std::sscanf(head.c_str(), "%d", &read) != 1) return false;
  *value = read;
  return true;
}

QPoint ValueDialogPosition(QPoint mouse, int captionHeight, QSize size, QRect desktop) {
  int x = mouse.x();
  int y = mouse.y() - captionHeight;
  x = std::min(x, desktop.right() + 1 - size.width());
  y = std::min(y, desktop.bottom() + 1 - size.height());
  return QPoint(std::max(x, desktop.left()), std::max(y, desktop.top()));
}

ValueDialog::ValueDialog(int32_t value, QWidget* parent) : QDialog(parent), m_Value(value) {
  setWindowTitle("Enter Value");
  setWindowIcon(ProgramIcon());
  m_Field = new QLineEdit(QString::number(value), this);
  m_Field->setObjectName("value");
  m_Field->selectAll();
  auto* ok = new QPushButton("&OK", this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &ValueDialog::accept);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(m_Field, 1);
  layout->addWidget(ok);
}

void ValueDialog::PlaceAtMouse() {
  adjustSize();
  const QPoint mouse = QCursor::pos();
  const QScreen* screen = QGuiApplication::screenAt(mouse);
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const int caption = style()->pixelMetric(QStyle::PM_TitleBarHeight);
  move(ValueDialogPosition(mouse, caption, frameGeometry().size(), screen->availableGeometry()));
}

void ValueDialog::accept() {
  ReadValueText(m_Field->text().toStdString(), &m_Value);
  QDialog::accept();
}

bool AskValue(int32_t* value, QWidget* parent) {
  ValueDialog dialog(*value, parent);
  dialog.PlaceAtMouse();
  if (dialog.exec() != QDialog::Accepted || dialog.Value() == *value) return false;
  *value = dialog.Value();
  return true;
}

}  // namespace gq
