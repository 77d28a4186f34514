// The thumbnail view's picture commands: the command handler, the context menu, the
// view's messages, rename in place, delete to the trash and remove from the database.
#include <QApplication>
#include <QFile>
#include <QMenuBar>
#include <QScreen>
#include <cstdio>

#include "db/BusyScope.h"
#include "db/ImageRecordDB.h"
#include "platform/Beep.h"
#include "platform/FileReplace.h"
#include "platform/MessageBox.h"
#include "search/SearchEngine.h"
#include "ui/RenameBox.h"
#include "ui/RenameRules.h"
#include "ui/ThumbsGeometry.h"
#include "ui/ThumbsMenu.h"
#include "ui/ThumbsView.h"

namespace gq {
namespace {

constexpr int kViewCommands[] = {kCmdViewExternal,     kCmdRenameFile,      kCmdDeleteFiles,
                                 kCmdViewSortedList,   kCmdDeleteFromDb,    kCmdProperties,
                                 kCmdExploreDirectory, kCmdCopyToClipboard, kCmdCutToClipboard,
                                 kCmdViewFullscreen,   kCmdViewInWindow,    kCmdSearchSimilar};

bool IsViewCommand(int command) {
  for (int known : kViewCommands) {
    if (known == command) return true;
  }
  return false;
}

void Beep() { MessageBeep(MB_BEEP_DEFAULT); }

int AskBox(const std::string& text, unsigned flags) {
  BusyScope busy;
  return MessageBox(text, kProgramCaption, flags);
}

// The height of the style's one-line menu bar.
int MenuBarHeight() {
  QMenuBar bar;
  bar.addMenu("&File");
  return bar.sizeHint().height();
}

CellRect ScreenRectOf(const QRect& rect) {
  return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

QRect QRectOf(const CellRect& rect) {
  return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

std::string CountText(const char* one, const char* many, size_t count) {
  if (count < 2) return one;
  char text[80];
  std::snprintf(text, sizeof text, many, static_cast<int>(count));
  return text;
}

}  // namespace

bool ThumbsView::RunCommand(int command) {
  if (!IsViewCommand(command)) return false;
  if (m_LastInput == InputWindow::kViewer && !TakeViewerPicture(command)) return true;
  switch (command) {
    case kCmdSearchSimilar:
      SearchSimilar();
      break;
    case kCmdViewSortedList:
      BringToFront();
      SetListMode(kListSortedByFile, true);
      break;
    case kCmdViewInWindow:
    case kCmdViewFullscreen:
      ViewerCommand(m_LastInput == InputWindow::kViewer ? kCmdSwitchViewerKind : command);
      break;
    case kCmdViewExternal:
      ForCurrentFile(hooks.viewExternal);
      break;
    case kCmdProperties:
      ForCurrentFile(hooks.showProperties);
      break;
    case kCmdExploreDirectory:
      ForCurrentFile(hooks.exploreDirectory);
      break;
    case kCmdRenameFile:
      RenameCurrent();
      break;
    case kCmdDeleteFiles:
      if (!DeleteFiles()) Beep();
      if (hooks.commandStateChanged) hooks.commandStateChanged();
      break;
    case kCmdDeleteFromDb:
      if (!RemoveFromDb()) Beep();
      if (hooks.commandStateChanged) hooks.commandStateChanged();
      break;
    case kCmdCopyToClipboard:
      if (!CopyToClipboard(false)) Beep();
      break;
    case kCmdCutToClipboard:
      if (!CopyToClipboard(true) || !RemoveFromDb()) Beep();
      break;
  }
  return true;
}

bool ThumbsView::TakeViewerPicture(int command) {
  const std::string path = hooks.viewerPath ? hooks.viewerPath() : std::string();
  if (!path.empty() && SelectPath(path, Qt::NoModifier) == 0) return true;
  if (command == kCmdExploreDirectory && !path.empty() && hooks.exploreDirectory) {
    hooks.exploreDirectory(path);
  } else {
    Beep();
  }
  return false;
}

void ThumbsView::SearchSimilar() {
  BringToFront();
  const ImageRecord* current = m_Db.FindByLfdNr(CurrentPicture());
  if (m_ViewMode == kListSearchSimilar && current && current == m_Db.SearchPicture()) {
    SetListMode(-2, false);
  } else {
    SetListMode(kListSearchSimilar, true);
  }
}

void ThumbsView::ForCurrentFile(const std::function<void(const std::string&)>& action) {
  const ImageRecord* current = m_Db.FindByLfdNr(CurrentPicture());
  if (!current || !action) return Beep();
  action(current->m_Path);
}

void ThumbsView::ViewerCommand(int command) {
  if (!hooks.viewerCommand) return Beep();
  hooks.viewerCommand(command);
}

bool ThumbsView::CopyToClipboard(bool cut) {
  std::vector<std::string> paths;
  for (const ImageRecord* record : PicturesConcerned()) paths.push_back(record->m_Path);
  return !paths.empty() && hooks.copyToClipboard && hooks.copyToClipboard(paths, cut);
}

void ThumbsView::BringToFront() {
  window()->raise();
  window()->activateWindow();
}

void ThumbsView::ShowText(const std::string& text, int holdMs) {
  if (hooks.statusText) hooks.statusText(text, holdMs);
}

intptr_t ThumbsView::HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  if (message == MsgSelectPath) {
    const char* path = reinterpret_cast<const char*>(wParam);
    return SelectPath(path ? path : "", QApplication::keyboardModifiers());
  }
  if (message == MsgContextMenuAt) {
    ContextMenuAt(static_cast<InputWindow>(wParam),
                  QPoint(ScreenPointX(lParam), ScreenPointY(lParam)));
  }
  return 0;
}

intptr_t ThumbsView::SelectPath(const std::string& path, Qt::KeyboardModifiers modifiers) {
  const ImageRecord* record = m_Db.FindByPath(path);
  if (!record) return -1;
  if (record->m_LfdNr != CurrentPicture()) Select(record->m_LfdNr, modifiers, false, true);
  return 0;
}

void ThumbsView::ContextMenuAt(InputWindow from, const QPoint& globalPos) {
  const ImageRecord* current = m_Db.FindByLfdNr(CurrentPicture());
  if (from == InputWindow::kView && !current) return;
  m_LastInput = from;
  ThumbsMenuState state;
  state.endSearch = m_ViewMode == kListSearchSimilar && current && current == m_Db.SearchPicture();
  state.sortedByFile = m_ViewMode == kListSortedByFile;
  state.openWith = static_cast<bool>(hooks.fillOpenWith);
  const std::unique_ptr<QMenu> menu = MakeThumbsMenu(this, state);
  QMenu* tools = menu->findChild<QMenu*>("OpenWith");
  connect(tools, &QMenu::aboutToShow, this, [this, tools] {
    tools->clear();
    const ImageRecord* record = m_Db.FindByLfdNr(CurrentPicture());
    if (record && hooks.fillOpenWith) hooks.fillOpenWith(tools, record->m_Path);
  });
  if (const QAction* chosen = menu->exec(globalPos)) RunCommand(chosen->data().toInt());
}

bool ThumbsView::RenameCurrent() {
  const int32_t current = CurrentPicture();
  if (current < 0 || m_Renaming || !ScrollToPicture(current, false)) {
    Beep();
    return false;
  }
  BringToFront();
  const CellRect cell = CellOf(GridOfIndex(ListIndexOf(current)),
                               LayoutForWidth(viewport()->width()), ScrollPosition());
  const QRect screenCell(viewport()->mapToGlobal(QPoint(cell.left, cell.top)),
                         QSize(kCellSide, kCellSide));
  const CellRect box = RenameBoxRect(ScreenRectOf(screenCell), MenuBarHeight(),
                                     ScreenRectOf(screen()->availableGeometry()),
                                     mapToGlobal(QPoint(0, height())).y());
  const std::string oldName = BaseNameOf(m_Db.FindByLfdNr(current)->m_Path);
  m_Renaming = true;
  const std::optional<QString> text =
      RenameBox::Edit(this, QRectOf(box), screenCell, QString::fromStdString(oldName));
  m_Renaming = false;
  bool renamed = true;
  if (text && text->toStdString() != oldName && CurrentPicture() == current) {
    renamed = RenameFile(current, text->toStdString());
  }
  if (hooks.commandStateChanged) hooks.commandStateChanged();
  return renamed;
}

bool ThumbsView::RenameFile(int32_t lfdNr, const std::string& baseName) {
  if (HasForbiddenNameCharacter(baseName)) {
    AskBox(kForbiddenNameMessage, MB_OK | MB_ICONERROR);
    return false;
  }
  ImageRecord* record = m_Db.FindByLfdNr(lfdNr);
  const std::string newPath = RenamedPath(record->m_Path, baseName);
  if (newPath == record->m_Path) return true;
  if (baseName.empty() || !RenameWithoutReplacing(record->m_Path, newPath)) {
    AskBox("Renaming failed.", MB_OK | MB_ICONERROR);
    return false;
  }
  m_Db.RenameRecord(record, newPath);
  ShowText(newPath, -1);
  Refresh(true, false);
  ScrollToPicture(lfdNr, false);
  return true;
}

bool ThumbsView::DeleteFiles() {
  std::vector<int32_t> numbers;
  std::vector<std::string> paths;
  for (const ImageRecord* record : PicturesConcerned()) {
    numbers.push_back(record->m_LfdNr);
    paths.push_back(record->m_Path);
  }
  if (paths.empty() || (hooks.fileListAllowed && !hooks.fileListAllowed(paths))) return false;
  const std::string question =
      CountText("Move 1 file to the trash?", "Move %d files to the trash?", paths.size());
  if (AskBox(question, MB_YESNO | MB_ICONQUESTION) != IDYES) return true;
  std::vector<int32_t> trashed;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (QFile::moveToTrash(QString::fromStdString(paths[i]))) trashed.push_back(numbers[i]);
  }
  RemovePictures(trashed);
  if (trashed.size() < paths.size()) {
    ShowText("Could not delete file(s).", -1);
    return false;
  }
  ShowText(CountText("File Deleted.", "%d Files Deleted.", trashed.size()), -1);
  return true;
}

bool ThumbsView::RemoveFromDb() {
  std::vector<int32_t> numbers;
  for (const ImageRecord* record : PicturesConcerned()) numbers.push_back(record->m_LfdNr);
  if (numbers.empty()) return false;
  RemovePictures(numbers);
  ShowText(CountText("Picture removed from DB.", "%d pictures removed from DB.", numbers.size()),
           -1);
  return true;
}

void ThumbsView::RemovePictures(const std::vector<int32_t>& lfdNrs) {
  const int32_t index = ListIndexOf(CurrentPicture());
  for (int32_t lfdNr : lfdNrs) {
    if (ImageRecord* record = m_Db.FindByLfdNr(lfdNr)) m_Db.RemoveRecord(record);
  }
  m_Db.ClearSelection();
  Refresh(true, false);
  if (index >= 0 && m_Db.Count() > 0) SelectListIndex(index, Qt::NoModifier);
  if (m_Db.Host().changeListener) m_Db.Host().changeListener();
}

}  // namespace gq
