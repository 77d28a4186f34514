#include "shell/dragdrop/FileTransfer.h"

#include <QApplication>
#include <QClipboard>
#include <QDrag>

#include "platform/Beep.h"
#include "platform/MessageBox.h"
#include "shell/dragdrop/DropEffect.h"
#include "shell/dragdrop/FileMimeData.h"

namespace gq {
namespace {

Qt::DropAction ToDropAction(DropEffect effect) {
  switch (effect) {
    case DropEffect::Move:
      return Qt::MoveAction;
    case DropEffect::Link:
      return Qt::LinkAction;
    default:
      return Qt::CopyAction;
  }
}

Qt::DropActions AllowedActions(bool links) {
  return links ? Qt::CopyAction | Qt::MoveAction | Qt::LinkAction : Qt::CopyAction | Qt::MoveAction;
}

// The action the held keys prefer; copy when they prefer a link that is not offered.
Qt::DropAction PreferredAction(bool links) {
  const Qt::KeyboardModifiers keys = QApplication::keyboardModifiers();
  const DropEffect preferred =
      PreferredDropEffect(keys & Qt::ShiftModifier, keys & Qt::ControlModifier);
  if (preferred == DropEffect::Link && !links) return Qt::CopyAction;
  return ToDropAction(preferred);
}

// Builds the list; the limit box and false when the limit refuses it.
bool BuildOrWarn(const std::vector<std::string>& paths, bool limitOn, ZeroSepFileList* list) {
  if (BuildFileList(paths, limitOn, list)) return true;
  ShowLimitMessage(limitOn);
  return false;
}

}  // namespace

bool CopyFilesToClipboard(const std::vector<std::string>& paths, bool cut, bool limitOn) {
  if (paths.empty()) {
    MessageBeep(MB_BEEP_DEFAULT);
    return false;
  }
  ZeroSepFileList list(limitOn);
  if (!BuildOrWarn(paths, limitOn, &list)) return false;
  QApplication::clipboard()->setMimeData(MakeClipboardMimeData(list, cut));
  return true;
}

Qt::DropAction DragFilesOut(QWidget* source, const std::vector<std::string>& paths, bool limitOn) {
  if (paths.empty()) {
    MessageBeep(MB_BEEP_DEFAULT);
    return Qt::IgnoreAction;
  }
  ZeroSepFileList list(limitOn);
  if (!BuildOrWarn(paths, limitOn, &list)) return Qt::IgnoreAction;
  const bool links = LinksOffered(list.FileCount(), limitOn);
  if (!links) MessageBeep(MB_BEEP_DEFAULT);
  auto* drag = new QDrag(source);  // Qt deletes it when the drag ends
  drag->setMimeData(MakeDragMimeData(list));
  const Qt::DropAction performed = drag->exec(AllowedActions(links), PreferredAction(links));
  if (!links) {
    MessageBox(kLinkWarningText, "Drag&Drop", MB_ICONINFORMATION | MB_SETFOREGROUND);
  }
  return performed;
}

}  // namespace gq
