// The program's one top-level window: menus and accelerators built from the command
// table, the tool bar, the four list tabs above the client area (the container a view
// fills), and the status bar with the progress pane and the picture, memory and disk
// parts. Commands act through the window's own state or beep while their action is not
// built. Closing the window posts kMsgClose to the host: the program ends by the same
// path as on SIGTERM. Created and used on the user-interface thread.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <string>

#include "platform/MessageWindow.h"
#include "search/SearchEngine.h"
#include "ui/WindowFormulas.h"

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
  void SetListMode(int mode);

  void ShowStatusText(const std::string& text);
  void SetProgress(double fraction);
  void SetPictureCount(int count);
  // Puts the database file at the head of the recent list and sets the title.
  void RefreshTitle(const std::string& databasePath, bool hasPictures, bool saved);
  // Empties recent entries from index first on whose file is gone.
  void PruneRecent(int first);

  ProgressPane* Pane() const { return m_Pane; }
  QWidget* ClientArea() const { return m_ClientArea; }

  // Told when the list mode changes by a tab or a list command (the view follows it).
  std::function<void(int mode)> listModeChanged;
  // Offered every command first; true when it took the command.
  std::function<bool(int id)> commandHandler;
  // Given what was dropped on the window (after the window came to the front).
  std::function<void(const QMimeData& data)> dropHandler;

 protected:
  void closeEvent(QCloseEvent* event) override;
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
  void RefreshResources();

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
};

}  // namespace gq
