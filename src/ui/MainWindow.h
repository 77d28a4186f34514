// The program's one top-level window: menus and accelerators built from the command
// table, the tool bar, the four list tabs above the client area (the container a view
// fills), and the status bar with the progress pane and the picture, memory and disk
// parts. Commands act through the window's own state or beep while their action is not
// built. Closing the window posts kMsgClose to the host: the program ends by the same
// path as on SIGTERM. Every 5 s the window refreshes the memory and disk parts, warns
// when they run low and autosaves. Created and used on the user-interface thread.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <string>

#include "platform/MessageWindow.h"
#include "search/SearchEngine.h"
#include "ui/CommandState.h"
#include "ui/Housekeeping.h"
#include "ui/WindowFormulas.h"
#include "ui/WindowKeys.h"

class QAction;
class QLabel;
class QMenu;
class QMimeData;
class QTabBar;
class QToolBar;

namespace gq {

class ProgressPane;
class StatusBar;

class MainWindow : public QMainWindow {
 public:
  // className names the window (the instance channel's name); host receives the close
  // command; status, when given, follows Pause on Error.
  MainWindow(const std::string& className, MessageTarget host, StatusBar* status);

  // Runs one command as the menu, an accelerator or the tool bar would.
  void RunCommand(int id);
  QAction* Action(int id) const;

  int ListMode() const { return m_ListMode; }
  // Selects the mode's tab and menu item and tells listModeChanged.
  void SetListMode(int mode, bool search = false);

  // Greys and checks every command from the state; done on each menu opening.
  void RefreshCommandState();
  // One housekeeping tick (the window's timer calls it every 5000 ms).
  void HousekeepingTick();
  bool Autosave() const { return m_Autosave; }
  // Options > Limit Drag/Copy/Delete (on: large file lists are refused).
  bool LimitDragCopy() const { return m_LimitDragCopy; }

  // Registers a tool window for Ctrl+Tab (nullptr forgets it).
  void SetToolWindow(ToolWindow role, QWidget* window) { m_Keys->SetToolWindow(role, window); }
  QWidget* ToolWindowOf(ToolWindow role) const { return m_Keys->Window(role); }
  // The view that keys and wheel turns reaching the window itself go to.
  void SetView(QWidget* view) { m_View = view; }

  void ShowStatusText(const std::string& text);
  void SetProgress(double fraction);
  void SetPictureCount(int count);
  // Puts the database file at the head of the recent list and sets the title.
  void RefreshTitle(const std::string& databasePath, bool hasPictures, bool saved);
  // Empties recent entries from index first on whose file is gone.
  void PruneRecent(int first);

  ProgressPane* Pane() const { return m_Pane; }
  QWidget* ClientArea() const { return m_ClientArea; }

  // Told when the list mode changes by a tab or a list command (the view follows it;
  // with search it searches again).
  std::function<void(int mode, bool search)> listModeChanged;
  // Fills what the program knows of the command state (database, loader, view,
  // viewer, its toggles) after the window filled its own toggles.
  std::function<void(CommandState& state)> fillCommandState;
  // Fills the database's facts for housekeeping (thumbnails, count, file, saved).
  std::function<void(HousekeepingFacts& facts)> fillHousekeepingFacts;

  // Offered every command first; true when it took the command.
  std::function<bool(int id)> commandHandler;
  // Given what was dropped on the window (after the window came to the front).
  std::function<void(const QMimeData& data)> dropHandler;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolBar();
  QWidget* BuildCentre();
  void BuildStatusBar();
  QAction* MakeAction(int id, const char* label, const char* keys, bool checkable);
  void ApplyVisibility();
  void RebuildRecentMenu();
  // Free memory and disk in MiB, shown in their parts.
  HousekeepingFacts RefreshResources();
  void WarnLowResources(const HousekeepingActions& actions);
  void TabClicked(int index);
  void TabDoubleClicked(int index);
  bool TabRightPressed(const QPoint& pos, const QPoint& globalPos);
  bool TriggerShortcut(const QKeySequence& keys);

  MessageTarget m_Host;
  StatusBar* m_Status;
  std::map<int, QAction*> m_Actions;  // by command number
  QMenu* m_FileMenu = nullptr;
  QAction* m_RecentStart = nullptr;  // the separator before the recent entries
  QList<QAction*> m_RecentActions;
  RecentList m_Recent;
  std::string m_DatabasePath;
  QToolBar* m_ToolBar = nullptr;
  QWidget* m_TabFrame = nullptr;
  QTabBar* m_Tabs = nullptr;
  QWidget* m_ClientArea = nullptr;
  ProgressPane* m_Pane = nullptr;
  QLabel* m_Pictures = nullptr;
  QLabel* m_Memory = nullptr;
  QLabel* m_Disk = nullptr;
  int m_ListMode = kListUnsorted;
  std::map<int, QMenu*> m_ModeMenus;  // Options submenus by list mode
  bool m_Autosave = true;
  bool m_LimitDragCopy = true;
  Housekeeping m_Housekeeping;
  WindowKeys* m_Keys = nullptr;
  QPointer<QWidget> m_View;
  bool m_ForwardingKey = false;  // a key is being handed to the view
};

// Warns (a box) when the screen shows fewer than 65536 colours.
void WarnAboutLimitedColours(QWidget* owner);

}  // namespace gq
