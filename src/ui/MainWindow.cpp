#include "ui/MainWindow.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <fstream>

#include "base/FileKind.h"
#include "db/BusyScope.h"
#include "frame/MessageHost.h"
#include "frame/Settings.h"
#include "frame/StatusBar.h"
#include "platform/Beep.h"
#include "platform/MessageBox.h"
#include "ui/CommandTable.h"
#include "ui/ProgressPane.h"

static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace gq {
namespace {

constexpr int kHousekeepingMs = 5000;
constexpr int kResourcePartWidth = 90;
constexpr int kMinimumTabWidth = 150;
constexpr int kFewestColourBits = 16;
constexpr const char* kCaption = "GlimmerQuorum";
constexpr const char* kHelpPage = "https://github.com/glimmerquorum/glimmerquorum#readme";

// One tool-bar entry: a command with its image, or a separator (id 0).
struct ToolEntry {
  int id;
  const char* theme;  // the desktop theme's name for a fitting icon
  const char* file;   // our own icon
};

constexpr ToolEntry kToolBar[] = {
    {33821, "document-close", "close-db"},
    {33870, "document-open", "import"},
    {32804, "document-save", "save-db"},
    {33820, "process-stop", "stop-loading"},
    {0, "", ""},
    {33831, "edit-cut", "cut"},
    {33829, "edit-copy", "copy"},
    {33830, "edit-paste", "paste"},
    {0, "", ""},
    {32800, "", "list-unsorted"},
    {32801, "view-sort-ascending", "list-sorted"},
    {32802, "", "list-similar"},
    {33803, "", "list-duplicates"},
    {33850, "", "mosaic"},
    {0, "", ""},
    {33846, "", "picture-window"},
    {33845, "view-fullscreen", "picture-fullscreen"},
    {0, "", ""},
    {33816, "go-previous", "previous"},
    {33817, "go-jump", "scroll-to-selection"},
    {33815, "go-next", "next"},
    {0, "", ""},
    {33851, "edit-find", "find"},
    {33853, "go-up", "find-up"},
    {33852, "go-down", "find-down"},
    {0, "", ""},
    {32806, "", "criteria"},
    {33858, "", "reset-criteria"},
    {33859, "", "quick-adjust"},
    {33857, "", "auto-adjust"},
    {0, "", ""},
    {104, "help-about", "about"},
    {0, "", ""},
};

struct TabEntry {
  const char* label;
  int mode;
  int command;
};

constexpr TabEntry kTabs[] = {
    {"Unsorted", kListUnsorted, kCmdListUnsorted},
    {"Sorted by File", kListSortedByFile, kCmdListSortedByFile},
    {"Search Similar", kListSearchSimilar, kCmdListSearchSimilar},
    {"Search Duplicates", kListSearchDuplicates, kCmdListSearchDuplicates},
};

QIcon IconFor(int id) {
  for (const ToolEntry& entry : kToolBar) {
    if (entry.id != id) continue;
    QIcon ours(QString(":/icons/%1.svg").arg(entry.file));
    return *entry.theme ? QIcon::fromTheme(entry.theme, ours) : ours;
  }
  return {};
}

// The menu label without its mnemonic marks and shortcut text.
QString PlainLabel(const char* label) {
  QString text = QString::fromUtf8(label).section('\t', 0, 0);
  text.remove('&');
  return text;
}

QList<QKeySequence> KeysOf(const char* keys) {
  QList<QKeySequence> sequences;
  for (const QString& key : QString(keys).split(", ", Qt::SkipEmptyParts)) {
    sequences.append(QKeySequence(key));
  }
  return sequences;
}

// Free memory in MiB: what the system can still give without swapping.
uint64_t FreeMemoryMiB() {
  std::ifstream info("/proc/meminfo");
  std::string key;
  uint64_t kib = 0;
  while (info >> key >> kib) {
    if (key == "MemAvailable:") return kib / 1024;
    info.ignore(64, '\n');
  }
  return 0;
}

// Free disk space in MiB available to the user in folder; -1 when it cannot be told.
int64_t FreeDiskMiB(const std::string& folder) {
  struct statvfs info;
  if (statvfs(folder.c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.f_bavail * info.f_frsize / 1048576);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (path.empty() || slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

MainWindow::MainWindow(const std::string& className, MessageTarget host, StatusBar* status)
    : m_Host(std::move(host)), m_Status(status) {
  InitIconResources();
  setObjectName(QString::fromStdString(className));
  setWindowTitle("GlimmerQuorum");
  setWindowIcon(QIcon(":/icons/glimmerquorum.svg"));
  setAcceptDrops(true);
  for (int i = 0; i < 4; ++i) m_Recent[i] = ReadHistoryEntry(i);
  BuildMenus();
  BuildToolBar();
  setCentralWidget(BuildCentre());
  BuildStatusBar();
  ApplyVisibility();
  m_Keys = new WindowKeys(
      this, [this](const QKeySequence& keys) { return TriggerShortcut(keys); },
      [this](int id) { Action(id)->trigger(); });
  SetListMode(kListUnsorted);
  auto* housekeeping = new QTimer(this);
  connect(housekeeping, &QTimer::timeout, this, &MainWindow::HousekeepingTick);
  housekeeping->start(kHousekeepingMs);
  RefreshResources();
  RefreshCommandState();
  resize(960, 640);
}

QAction* MainWindow::MakeAction(int id, const char* label, const char* keys, bool checkable) {
  auto found = m_Actions.find(id);
  if (found != m_Actions.end()) return found->second;
  auto* action = new QAction(QString::fromUtf8(label), this);
  action->setObjectName(QString::number(id));
  action->setToolTip(PlainLabel(label));
  action->setShortcuts(KeysOf(keys));
  action->setCheckable(checkable);
  connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
  m_Actions[id] = action;
  return action;
}

void MainWindow::BuildMenus() {
  std::vector<QMenu*> open;
  for (const MenuEntry& entry : MainMenuTable()) {
    switch (entry.row) {
      case MenuRow::kMenu: {
        QString label = QString::fromUtf8(entry.label);
        QMenu* menu = open.empty() ? menuBar()->addMenu(label) : open.back()->addMenu(label);
        if (open.empty() && !m_FileMenu) m_FileMenu = menu;
        if (label == "Search Similar") m_ModeMenus[kListSearchSimilar] = menu;
        if (label == "Search Duplicates") m_ModeMenus[kListSearchDuplicates] = menu;
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::RefreshCommandState);
        open.push_back(menu);
        break;
      }
      case MenuRow::kEnd:
        open.pop_back();
        break;
      case MenuRow::kItem:
        open.back()->addAction(MakeAction(entry.id, entry.label, entry.keys, entry.checkable));
        break;
      case MenuRow::kSeparator:
        open.back()->addSeparator();
        break;
      case MenuRow::kRecent:
        m_RecentStart = open.back()->actions().last();
        break;
    }
  }
  auto* modes = new QActionGroup(this);
  for (const TabEntry& tab : kTabs) modes->addAction(m_Actions[tab.command]);
  RebuildRecentMenu();
}

void MainWindow::BuildToolBar() {
  m_ToolBar = addToolBar("Tool Bar");
  m_ToolBar->setObjectName("ToolBar");
  m_ToolBar->setMovable(false);
  m_ToolBar->setIconSize(QSize(16, 16));
  for (const ToolEntry& entry : kToolBar) {
    if (entry.id == 0) {
      m_ToolBar->addSeparator();
      continue;
    }
    QAction* action = m_Actions.at(entry.id);
    action->setIcon(IconFor(entry.id));
    action->setIconVisibleInMenu(true);
    m_ToolBar->addAction(action);
  }
}

QWidget* MainWindow::BuildCentre() {
  m_TabFrame = new QWidget(this);
  m_Tabs = new QTabBar(m_TabFrame);
  m_Tabs->setObjectName("Tabs");
  m_Tabs->setExpanding(false);
  m_Tabs->setStyleSheet(QString("QTabBar::tab { min-width: %1px; }").arg(kMinimumTabWidth - 24));
  for (const TabEntry& tab : kTabs) m_Tabs->addTab(IconFor(tab.command), tab.label);
  m_Tabs->installEventFilter(this);
  connect(m_Tabs, &QTabBar::tabBarClicked, this, &MainWindow::TabClicked);
  connect(m_Tabs, &QTabBar::tabBarDoubleClicked, this, &MainWindow::TabDoubleClicked);
  m_ClientArea = new QWidget(m_TabFrame);
  m_ClientArea->setObjectName("Clientarea");
  m_ClientArea->setAutoFillBackground(true);
  m_ClientArea->setBackgroundRole(QPalette::Base);
  auto* layout = new QVBoxLayout(m_TabFrame);
  layout->addWidget(m_Tabs);
  layout->addWidget(m_ClientArea, 1);
  return m_TabFrame;
}

void MainWindow::BuildStatusBar() {
  m_Pane = new ProgressPane(statusBar());
  statusBar()->addWidget(m_Pane, 1);
  for (QLabel** part : {&m_Pictures, &m_Memory, &m_Disk}) {
    *part = new QLabel(statusBar());
    (*part)->setAlignment(Qt::AlignCenter);
    int room = (*part)->fontMetrics().horizontalAdvance("888888 MB memory") + 12;
    (*part)->setFixedWidth(std::max(kResourcePartWidth, room));
    statusBar()->addPermanentWidget(*part);
  }
  m_Pictures->setObjectName("PictureCount");
  SetPictureCount(0);
}

void MainWindow::ApplyVisibility() {
  m_ToolBar->setVisible(g_settings.showToolBar);
  statusBar()->setVisible(g_settings.showStatusBar);
  m_Tabs->setVisible(g_settings.showTabs);
  // With tabs the client area sits 3 pixels inside the tab frame and below the tabs.
  int inset = g_settings.showTabs ? 3 : 0;
  m_TabFrame->layout()->setContentsMargins(inset, 0, inset, inset);
  m_TabFrame->layout()->setSpacing(inset);
  m_TabFrame->layout()->activate();
  RefreshCommandState();
}

void MainWindow::SetListMode(int mode, bool search) {
  m_ListMode = mode;
  if (listModeChanged) listModeChanged(mode, search);
  RefreshCommandState();
}

void MainWindow::RefreshCommandState() {
  CommandState state;
  state.listMode = m_ListMode;
  state.toolBar = g_settings.showToolBar;
  state.tabs = g_settings.showTabs;
  state.statusBar = g_settings.showStatusBar;
  state.pauseOnError = !m_Status || m_Status->m_PauseOnError;
  state.autosave = m_Autosave;
  state.limitDragCopy = m_LimitDragCopy;
  state.zoomSmall = !g_settings.noZoom;
  state.compactView = !g_settings.compactDuplicates;
  state.scrollBarLeft = g_settings.scrollBarLeft;
  if (fillCommandState) fillCommandState(state);
  m_ListMode = state.listMode;
  for (const CommandLook& look : CommandLooks(state)) {
    QAction* action = Action(look.id);
    action->setEnabled(look.enabled);
    action->setChecked(look.checked);
  }
  for (int i = 0; i < 4; ++i) {
    if (kTabs[i].mode == m_ListMode) m_Tabs->setCurrentIndex(i);
  }
}

void MainWindow::TabClicked(int index) {
  if (index >= 0 && index != m_Tabs->currentIndex()) SetListMode(kTabs[index].mode);
}

// The second click of a double click on the selected tab searches again.
void MainWindow::TabDoubleClicked(int index) {
  if (index >= 0 && index == m_Tabs->currentIndex()) SetListMode(kTabs[index].mode, true);
}

// A right click selects a tab and searches; on the selected tab it opens the mode's
// Options submenu, where there is one.
bool MainWindow::TabRightPressed(const QPoint& pos, const QPoint& globalPos) {
  const int index = m_Tabs->tabAt(pos);
  if (index < 0) return false;
  const int mode = kTabs[index].mode;
  if (index != m_Tabs->currentIndex()) {
    SetListMode(mode, true);
  } else if (auto menu = m_ModeMenus.find(mode); menu != m_ModeMenus.end()) {
    menu->second->popup(globalPos);
  } else {
    MessageBeep(MB_BEEP_DEFAULT);
  }
  return true;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched != m_Tabs ||
      (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick)) {
    return false;
  }
  auto* mouse = static_cast<QMouseEvent*>(event);
  if (mouse->button() != Qt::RightButton) return false;
  TabRightPressed(mouse->position().toPoint(), mouse->globalPosition().toPoint());
  return true;
}

void MainWindow::RunCommand(int id) {
  if (commandHandler && commandHandler(id)) return;
  switch (id) {
    case kCmdExit:
      m_Host.Post(kMsgClose);
      return;
    case kCmdToolBar:
      g_settings.showToolBar = !g_settings.showToolBar;
      return ApplyVisibility();
    case kCmdTabs:
      g_settings.showTabs = !g_settings.showTabs;
      return ApplyVisibility();
    case kCmdStatusBar:
      g_settings.showStatusBar = !g_settings.showStatusBar;
      return ApplyVisibility();
    case kCmdPauseOnError:
      if (m_Status) m_Status->m_PauseOnError = !m_Status->m_PauseOnError;
      return ApplyVisibility();
    case kCmdAutosave:
      m_Autosave = !m_Autosave;
      return RefreshCommandState();
    case kCmdLimitDragCopy:
      m_LimitDragCopy = !m_LimitDragCopy;
      return RefreshCommandState();
    case kCmdOnlineHelp:
      QDesktopServices::openUrl(QUrl(kHelpPage));
      return;
  }
  for (const TabEntry& tab : kTabs) {
    if (tab.command == id) return SetListMode(tab.mode);
  }
  MessageBeep(MB_BEEP_DEFAULT);
  RefreshCommandState();  // a beeping toggle keeps its state
}

bool MainWindow::TriggerShortcut(const QKeySequence& keys) {
  for (const auto& [id, action] : m_Actions) {
    if (!action->shortcuts().contains(keys)) continue;
    action->trigger();
    return true;
  }
  return false;
}

QAction* MainWindow::Action(int id) const {
  auto found = m_Actions.find(id);
  return found == m_Actions.end() ? nullptr : found->second;
}

void MainWindow::ShowStatusText(const std::string& text) {
  m_Pane->SetText(QString::fromStdString(text));
}

void MainWindow::SetProgress(double fraction) { m_Pane->SetProgress(fraction); }

void MainWindow::SetPictureCount(int count) {
  m_Pictures->setText(QString("%1 pictures").arg(count));
}

void MainWindow::RefreshTitle(const std::string& databasePath, bool hasPictures, bool saved) {
  m_DatabasePath = databasePath;
  if (PushRecent(m_Recent, databasePath)) {
    for (int i = 0; i < 4; ++i) WriteHistoryEntry(i, m_Recent[i]);
  }
  RebuildRecentMenu();
  setWindowTitle(QString::fromStdString(WindowTitle(databasePath, hasPictures, saved)));
  RefreshCommandState();
}

void MainWindow::PruneRecent(int first) {
  bool changed = false;
  for (int i = first; i < 4; ++i) {
    if (m_Recent[i].empty() || Exists(m_Recent[i])) continue;
    m_Recent[i].clear();
    WriteHistoryEntry(i, "");
    changed = true;
  }
  if (changed) RebuildRecentMenu();
}

void MainWindow::RebuildRecentMenu() {
  for (QAction* action : m_RecentActions) {
    m_FileMenu->removeAction(action);
    m_Actions.erase(action->objectName().toInt());
    action->deleteLater();
  }
  m_RecentActions.clear();
  QList<QAction*> all = m_FileMenu->actions();
  QAction* before = all.at(all.indexOf(m_RecentStart) + 1);
  for (int i = 0; i < 4; ++i) {
    if (m_Recent[i].empty()) continue;
    std::string label = RecentLabel(i, m_Recent[i]);
    QAction* action = MakeAction(kCmdFirstRecent + i, label.c_str(), "", false);
    m_FileMenu->insertAction(before, action);
    m_RecentActions.append(action);
  }
}

HousekeepingFacts MainWindow::RefreshResources() {
  HousekeepingFacts facts;
  facts.freeMemoryMiB = static_cast<int64_t>(FreeMemoryMiB());
  facts.freeDiskMiB = FreeDiskMiB(FolderOf(m_DatabasePath));
  m_Memory->setText(QString("%1 MB memory").arg(facts.freeMemoryMiB));
  m_Disk->setText(facts.freeDiskMiB < 0 ? QString() : QString("%1 MB disk").arg(facts.freeDiskMiB));
  return facts;
}

void MainWindow::HousekeepingTick() {
  HousekeepingFacts facts = RefreshResources();
  facts.autosave = m_Autosave;
  if (fillHousekeepingFacts) fillHousekeepingFacts(facts);
  const HousekeepingActions actions = m_Housekeeping.Tick(facts);
  WarnLowResources(actions);
  if (actions.save) {
    QMetaObject::invokeMethod(
        this, [this] { Action(kCmdSaveDb)->trigger(); }, Qt::QueuedConnection);
  }
}

void MainWindow::WarnLowResources(const HousekeepingActions& actions) {
  if (!actions.warnMemory && !actions.warnDisk) return;
  BusyScope modal;  // no records are taken while a box is open
  constexpr unsigned kFlags = MB_OK | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST;
  if (actions.warnMemory) MessageBox("Warning: low on virtual memory!", kCaption, kFlags);
  if (actions.warnDisk) MessageBox("Warning: low on disk space!", kCaption, kFlags);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // A key the view ignores comes back here through its parents: it goes no further.
  if (!m_View || m_ForwardingKey) return;
  m_ForwardingKey = true;
  QCoreApplication::sendEvent(m_View, event);
  m_ForwardingKey = false;
}

void MainWindow::wheelEvent(QWheelEvent* event) {
  if (m_View) QCoreApplication::sendEvent(m_View, event);
}

void WarnAboutLimitedColours(QWidget* owner) {
  QScreen* screen = owner->screen();
  if (!screen || screen->depth() >= kFewestColourBits) return;
  MessageBox(
      "GlimmerQuorum is not optimized for old computer displays with limited colors.\n"
      "It is recommended you set your display to at least 65.000 colors.",
      kCaption, MB_OK | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (dropHandler && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  if (!dropHandler) return;
  event->acceptProposedAction();
  raise();
  activateWindow();
  dropHandler(*event->mimeData());
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  m_Host.Post(kMsgClose);
}

}  // namespace gq
