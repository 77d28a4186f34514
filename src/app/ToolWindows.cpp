#include "app/ToolWindows.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include "app/ProgramHost.h"
#include "app/WindowCommands.h"
#include "db/ImageRecordDB.h"
#include "frame/Settings.h"
#include "platform/Beep.h"
#include "shell/FileManager.h"
#include "shell/dragdrop/FileTransfer.h"
#include "shell/dragdrop/ZeroSepFileList.h"
#include "shell/tools/ToolsMenu.h"
#include "ui/AboutDialog.h"
#include "ui/BackgroundColourDialog.h"
#include "ui/CriteriaDialog.h"
#include "ui/DuplicatesDialog.h"
#include "ui/FindTextDialog.h"
#include "ui/ImportFilterDialog.h"
#include "ui/MainWindow.h"
#include "ui/MosaicDialog.h"
#include "ui/ThumbsView.h"
#include "ui/ValueDialog.h"
#include "ui/Viewer.h"
#include "ui/ViewerWindow.h"

namespace gq {
namespace {

// The window's commands carried out here.
namespace cmd {
constexpr int kAbout = 104;
constexpr int kImportFilter = 33827;
constexpr int kDisplayedPictures = 33875;
constexpr int kBackgroundColour = 33844;
constexpr int kCriteria = 32806;
constexpr int kDuplicates = 33826;
constexpr int kMosaic = 33850;
constexpr int kFind = 33851;
constexpr int kFindDown = 33852;
constexpr int kFindUp = 33853;
constexpr int kFindDb = 33881;
constexpr int kListDuplicates = 33803;
constexpr int kResetCriteria = 33858;
constexpr int kQuickAdjust = 33859;
constexpr int kAutoAdjust = 33857;
}  // namespace cmd

constexpr int kStatusHoldMs = 4000;

void Beep() { MessageBeep(MB_BEEP_DEFAULT); }

bool CtrlHeld() { return QApplication::keyboardModifiers() & Qt::ControlModifier; }

// Runs the "Open with..." item of this command number for the picture; false when the
// tools folder has none.
bool RunOpenWith(int command, const std::string& path, const ToolStatusHook& status) {
  QMenu menu;
  FillOpenWithMenu(&menu, path, status);
  for (QAction* action : menu.actions()) {
    if (action->objectName() != QString::number(command)) continue;
    action->trigger();
    return true;
  }
  return false;
}

std::vector<std::string> PathsOf(const std::vector<ImageRecord*>& pictures) {
  std::vector<std::string> paths;
  for (const ImageRecord* record : pictures) paths.push_back(record->m_Path);
  return paths;
}

}  // namespace

ToolWindows::ToolWindows(ProgramHost& program, MainWindow& window, ThumbsView& view,
                         WindowCommands& commands)
    : QObject(&window),
      m_Program(program),
      m_Window(window),
      m_View(view),
      m_Commands(commands),
      m_Viewer(std::make_unique<Viewer>()) {
  WireViewer();
  WireViewerCommands();
  WireDesktop();
  WireDialogs();
  WireModalDialogs();
  RouteCommands();
}

ToolWindows::~ToolWindows() { m_Viewer->Shutdown(); }

void ToolWindows::WireViewer() {
  Viewer& viewer = *m_Viewer;
  viewer.SetBackgroundColour(FromWindowsRgb(g_settings.backColor));
  viewer.hooks.key = [this](int key, Qt::KeyboardModifiers modifiers) {
    MainWindowKey(key, modifiers);
  };
  viewer.hooks.selectPath = [this](const std::string& path) {
    return static_cast<int>(m_View.SelectPath(path, QApplication::keyboardModifiers()));
  };
  viewer.hooks.searchSimilar = [this] { m_Window.RunCommand(kCmdSearchSimilar); };
  viewer.hooks.raiseMainWindow = [this] { BringToFront(&m_Window); };
  viewer.hooks.contextMenuAt = [this](const QPoint& globalPos) {
    m_View.ContextMenuAt(InputWindow::kViewer, globalPos);
  };
  viewer.hooks.exploreDirectory = [](const std::string& path) {
    ExploreFile(path);
    return true;
  };
  viewer.hooks.openWith = [this](int command, const std::string& path) {
    return RunOpenWith(command, path, [this](const std::string& text) { StatusText(text); });
  };
  viewer.hooks.commandStateChanged = [this] { ViewerShownOrHidden(); };
  m_View.hooks.viewerFile = [&viewer](const std::string& path) { viewer.SetFile(path); };
  m_View.hooks.showInViewer = [this](int32_t lfdNr) {
    if (const ImageRecord* record = m_Program.Db().FindByLfdNr(lfdNr)) ShowInViewer(record->m_Path);
  };
  m_View.hooks.viewerCommand = [&viewer](int command) { viewer.Command(command); };
  m_View.hooks.viewerPath = [&viewer] { return viewer.CurrentPath(); };
  m_View.installEventFilter(this);
  m_View.viewport()->installEventFilter(this);
  ViewerShownOrHidden();
}

void ToolWindows::WireViewerCommands() {
  Viewer& viewer = *m_Viewer;
  for (int command : {kCmdPictureToggle, kCmdPictureSwitchKind}) {
    m_Commands.elsewhere[command] = [&viewer, command] { viewer.Command(command); };
  }
  m_Commands.viewerRepaint = [&viewer] { viewer.SetDoNotZoom(g_settings.noZoom); };
  // Space and Shift+Space have no menu item; they are the window's own shortcuts.
  const std::pair<int, QKeySequence> keys[] = {
      {kCmdPictureToggle, QKeySequence(Qt::Key_Space)},
      {kCmdPictureSwitchKind, QKeySequence("Shift+Space")}};
  for (const auto& [command, sequence] : keys) {
    auto* action = new QAction(&m_Window);
    action->setShortcut(sequence);
    m_Window.addAction(action);
    connect(action, &QAction::triggered, this, [this, command] { m_Window.RunCommand(command); });
  }
  auto fill = std::move(m_Window.fillCommandState);
  m_Window.fillCommandState = [fill, &viewer](CommandState& state) {
    if (fill) fill(state);
    const std::optional<ViewerKind> kind = viewer.VisibleKind();
    state.viewerFramed = kind == ViewerKind::kFramed;
    state.viewerFullscreen = kind == ViewerKind::kFullScreen;
  };
}

void ToolWindows::WireDesktop() {
  ThumbsView::Hooks& hooks = m_View.hooks;
  MainWindow& window = m_Window;
  hooks.copyToClipboard = [&window](const std::vector<std::string>& paths, bool cut) {
    return CopyFilesToClipboard(paths, cut, window.LimitDragCopy());
  };
  hooks.fileListAllowed = [&window](const std::vector<std::string>& paths) {
    return FileListAllowed(paths, window.LimitDragCopy());
  };
  hooks.startDrag = [this](const std::vector<ImageRecord*>& pictures) {
    // A move took the files away: the records concerned go too.
    if (DragFilesOut(&m_View, PathsOf(pictures), m_Window.LimitDragCopy()) == Qt::MoveAction) {
      m_View.RemoveFromDb();
    }
  };
  hooks.fillOpenWith = [this](QMenu* menu, const std::string& path) {
    FillOpenWithMenu(menu, path, [this](const std::string& text) { StatusText(text); });
  };
  hooks.exploreDirectory = [](const std::string& path) { ExploreFile(path); };
  hooks.showProperties = [](const std::string& path) { ShowFileProperties(path); };
  hooks.viewExternal = [](const std::string& path) { ViewExternal(path); };
  ImageRecordDB& db = m_Program.Db();
  m_Commands.elsewhere[cmd::kFindDb] = [&db] {
    if (db.File().Name().empty()) return Beep();
    ExploreFile(db.File().Name());
  };
}

void ToolWindows::WireDialogs() {
  m_Find = new FindTextDialog(m_Program.Db(), m_View, &m_Window);
  m_Find->hooks.dropFiles = [this](const std::vector<std::string>& paths) {
    m_Commands.DropPaths(paths, "Drag&Drop Error.");
  };
  m_Criteria = new CriteriaDialog(&m_Window);
  m_Criteria->hooks.criteriaLoaded = [this] {
    m_Program.Engine().InvalidateSimilarList();
    m_View.Refresh(true, false);
  };
  m_Duplicates = new DuplicatesDialog(m_Program.Engine(), &m_Window);
  m_Duplicates->hooks.showDuplicatesView = [this] { m_Window.SetListMode(kListSearchDuplicates); };
  m_Duplicates->hooks.viewShowsDuplicates = [this] {
    return m_View.ListMode() == kListSearchDuplicates;
  };
  m_Duplicates->hooks.repaintView = [this] { m_View.Refresh(true, false); };
  m_Mosaic = new MosaicDialog(m_Program.Engine(), m_View, &m_Window);
  m_Mosaic->hooks.viewFile = [this](const std::string& path) { ShowInViewer(path); };
  m_Window.SetToolWindow(ToolWindow::kFind, m_Find);
  m_Window.SetToolWindow(ToolWindow::kCriteria, m_Criteria);
  m_Window.SetToolWindow(ToolWindow::kDuplicates, m_Duplicates);
  m_Window.SetToolWindow(ToolWindow::kMosaic, m_Mosaic);
  auto& elsewhere = m_Commands.elsewhere;
  elsewhere[cmd::kFind] = [this] { ShowToolWindow(m_Find); };
  elsewhere[cmd::kFindDown] = [this] { m_Find->FindInDirection(true, CtrlHeld()); };
  elsewhere[cmd::kFindUp] = [this] { m_Find->FindInDirection(false, CtrlHeld()); };
  elsewhere[cmd::kCriteria] = [this] {
    m_Criteria->RefreshSliders();
    ShowToolWindow(m_Criteria);
  };
  elsewhere[cmd::kDuplicates] = [this] { ShowToolWindow(m_Duplicates); };
  elsewhere[cmd::kMosaic] = [this] { ShowToolWindow(m_Mosaic); };
}

void ToolWindows::WireModalDialogs() {
  auto& elsewhere = m_Commands.elsewhere;
  elsewhere[cmd::kAbout] = [this] { AboutDialog(&m_Window).exec(); };
  elsewhere[cmd::kImportFilter] = [this] { ImportFilterDialog(&m_Window).exec(); };
  elsewhere[cmd::kDisplayedPictures] = [this] { AskDisplayedPictures(); };
  elsewhere[cmd::kBackgroundColour] = [this] { ChooseBackgroundColour(); };
}

void ToolWindows::RouteCommands() {
  auto layer = std::move(m_Window.commandHandler);
  m_Window.commandHandler = [this, layer](int id) {
    if (id == cmd::kListDuplicates && !m_DuplicatesShown && m_Program.Db().Count() > 0) {
      ShowToolWindow(m_Duplicates);  // the window then switches the mode
    }
    if (m_View.RunCommand(id)) return true;
    const bool taken = layer && layer(id);
    if (id == cmd::kResetCriteria || id == cmd::kQuickAdjust || id == cmd::kAutoAdjust) {
      m_Criteria->RefreshSliders();
    }
    return taken;
  };
}

void ToolWindows::MainWindowKey(int key, Qt::KeyboardModifiers modifiers) {
  m_View.SetLastInput(InputWindow::kViewer);
  const QKeySequence keys(QKeyCombination(modifiers, static_cast<Qt::Key>(key)));
  for (QAction* action : m_Window.findChildren<QAction*>(Qt::FindDirectChildrenOnly)) {
    if (!action->shortcuts().contains(keys)) continue;
    action->trigger();
    return;
  }
  QKeyEvent event(QEvent::KeyPress, key, modifiers);
  m_PassingViewerKey = true;
  QCoreApplication::sendEvent(&m_View, &event);
  m_PassingViewerKey = false;
}

bool ToolWindows::eventFilter(QObject*, QEvent* event) {
  const bool key = event->type() == QEvent::KeyPress && !m_PassingViewerKey;
  const bool rightClick = event->type() == QEvent::MouseButtonPress &&
                          static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
  if (key || rightClick) m_Viewer->NoteInputElsewhere();
  return false;
}

void ToolWindows::ShowInViewer(const std::string& path) {
  m_Viewer->Show(m_Viewer->LastKind(), path);
}

void ToolWindows::ViewerShownOrHidden() {
  m_Window.SetToolWindow(ToolWindow::kViewer, &m_Viewer->Window(m_Viewer->LastKind()));
  m_Window.RefreshCommandState();
}

void ToolWindows::ShowToolWindow(QWidget* dialog) {
  if (dialog == m_Duplicates) m_DuplicatesShown = true;
  dialog->show();
  BringToFront(dialog);
}

void ToolWindows::ChooseBackgroundColour() {
  uint32_t colorRef = g_settings.backColor;
  if (!gq::ChooseBackgroundColour(&colorRef, &m_Window)) return;
  g_settings.backColor = colorRef;  // written with the other settings at the end
  m_View.SetBackgroundColour(FromWindowsRgb(colorRef));
  m_Viewer->SetBackgroundColour(FromWindowsRgb(colorRef));
}

void ToolWindows::AskDisplayedPictures() {
  auto value = static_cast<int32_t>(g_settings.similarCount);
  if (!AskValue(&value, &m_Window)) return;
  g_settings.similarCount = static_cast<uint32_t>(value);
  m_Program.Engine().InvalidateSimilarList();
  m_View.Refresh(true, false);
}

void ToolWindows::StatusText(const std::string& text) {
  m_Program.Status().Show(text, kStatusHoldMs);
}

}  // namespace gq
