#include "ui/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

namespace gq {
namespace {

constexpr unsigned kMsgShowBox = kMessageBase + 0x7F0;  // wParam: the request

std::vector<int> ButtonsOf(unsigned flags) {
  switch (flags & 0xF) {
    case MB_OKCANCEL:
      return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
      return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
      return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
      return {IDYES, IDNO};
    case MB_RETRYCANCEL:
      return {IDRETRY, IDCANCEL};
    default:
      return {IDOK};
  }
}

QMessageBox::StandardButton QtButton(int id) {
  switch (id) {
    case IDCANCEL:
      return QMessageBox::Cancel;
    case IDABORT:
      return QMessageBox::Abort;
    case IDRETRY:
      return QMessageBox::Retry;
    case IDIGNORE:
      return QMessageBox::Ignore;
    case IDYES:
      return QMessageBox::Yes;
    case IDNO:
      return QMessageBox::No;
    default:
      return QMessageBox::Ok;
  }
}

QMessageBox::Icon QtIcon(unsigned flags) {
  switch (flags & 0xF0) {
    case MB_ICONERROR:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONWARNING:
      return QMessageBox::Warning;
    case MB_ICONINFORMATION:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// The answer of a box closed by its close button or Escape.
int ClosedAnswer(const std::vector<int>& ids) {
  for (int id : {IDCANCEL, IDNO}) {
    for (int present : ids) {
      if (present == id) return id;
    }
  }
  return ids.front();
}

}  // namespace

int ShowQtMessageBox(const MessageBoxRequest& request) {
  std::vector<int> ids = ButtonsOf(request.flags);
  QMessageBox box(QtIcon(request.flags), QString::fromStdString(request.caption),
                  QString::fromStdString(request.text), QMessageBox::NoButton,
                  QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  for (int id : ids) box.addButton(QtButton(id));
  box.setDefaultButton(QtButton(DefaultButtonOf(request.flags)));
  box.setEscapeButton(box.button(QtButton(ClosedAnswer(ids))));
  if (request.flags & (MB_TOPMOST | MB_SYSTEMMODAL)) {
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
  }
  box.exec();
  for (int id : ids) {
    if (box.clickedButton() == box.button(QtButton(id))) return id;
  }
  return ClosedAnswer(ids);
}

QtMessageBoxRoute::QtMessageBoxRoute()
    : m_Window([](unsigned message, uintptr_t wParam, intptr_t) -> intptr_t {
        if (message != kMsgShowBox) return 0;
        return ShowQtMessageBox(*reinterpret_cast<const MessageBoxRequest*>(wParam));
      }) {
  MessageTarget target = m_Window.Target();
  m_Previous = SetMessageBoxBackend([target](const MessageBoxRequest& request) {
    intptr_t answer = target.Send(kMsgShowBox, reinterpret_cast<uintptr_t>(&request));
    return answer != 0 ? static_cast<int>(answer) : DefaultButtonOf(request.flags);
  });
}

QtMessageBoxRoute::~QtMessageBoxRoute() { SetMessageBoxBackend(std::move(m_Previous)); }

}  // namespace gq
