// The command layer of the main window: the File menu's operations on the one database
// (open, import, recent entries, close, save, save as, update and export lists), the
// loading commands, the selection and criteria commands, the option toggles, and the
// files dropped on the window or pasted into it. The window offers it every command
// first; commands whose action lives in another window (dialogs, the viewer, the file
// manager) go to hooks the program sets as those windows arrive, and beep while a hook
// is absent. Used only on the user-interface thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QMimeData;

namespace gq {

class FileDialogs;
class ImageRecordDB;
class Loader;
class MainWindow;
class MessageHost;
class SearchEngine;
class StatusBar;
class ThumbsView;

// What the commands act on; all outlive the command layer.
struct CommandTargets {
  ImageRecordDB& db;
  SearchEngine& engine;
  Loader& loader;
  StatusBar& status;
  MainWindow& window;
  ThumbsView& view;
  FileDialogs& dialogs;
};

class WindowCommands {
 public:
  // Installs the real save dialog as the database's chooseDatabaseFile hook.
  explicit WindowCommands(CommandTargets targets);

  // Carries out a command of the window; false when it is not one of this layer's.
  bool Run(int id);

  // Opens (add false) or imports (add true) what text names: one path when single is
  // set, else possibly several blank-separated paths. Leaves the search lists first
  // when not adding. False when nothing was started or loaded.
  bool OpenPath(const std::string& text, bool add, bool single);
  // Stops loading, offers to save, clears the database; with report the status shows
  // what happened and the title follows.
  void CloseDatabase(bool report);
  // Save DB (ask false) or Save DB as (ask true); false when the save failed.
  bool SaveDatabase(bool ask);

  // Files dropped on the window: one folder is added, one database file opened, any
  // other single file and several files go to the loader. errorText is shown when a
  // single name cannot be read.
  void DropPaths(const std::vector<std::string>& paths, const char* errorText);
  void Drop(const QMimeData& data);
  // Paste: a file list as a drop; a text whose first line names an existing file or
  // folder goes to the loader line by line; anything else beeps.
  void Paste(const QMimeData* data);

  // Options that are not kept between runs.

  // Commands carried out elsewhere, by command number: the dialogs (find, criteria,
  // duplicates, mosaic, import filter, background colour, displayed pictures, about),
  // the viewer's show-or-hide and full-screen-or-framed commands and Find DB. A command
  // without a hook beeps. Search Similar, View in Sorted List and the viewer's menu
  // commands are the view's own (ThumbsView::RunCommand).
  std::map<int, std::function<void()>> elsewhere;
  // The criteria adjustment's progress (0..1); false stops it. Absent: the progress
  // pane follows and pending events are handled.
  std::function<bool(double fraction)> adjustProgress;
  // Menus and tool-bar buttons must be refreshed.
  std::function<void()> commandStateChanged;
  // The viewer repaints (Zoom Small Pictures changed).
  std::function<void()> viewerRepaint;

 private:
  void BuildActions();
  // Asks before stopping a running load; false when the command must be abandoned.
  bool StopLoadingAsked();
  void Open(bool add);
  void ImportDirectory();
  void OpenRecent(int index);
  void Update(bool folders, bool selected);
  void Export(bool folders, bool selected);
  void AdjustCriteria(bool quick);
  void ShowMode(int mode, bool search);
  bool Toggle(int id);
  void RefreshTitle();
  void CommandStateChanged();

  CommandTargets m_Targets;
  std::map<int, std::function<void()>> m_Actions;  // the commands carried out here
};

// Puts the command layer (with the real file dialogs) between the window and the
// database: the window offers it every command and every drop, and the close command
// (the close box, Exit) closes the database through it, offering to save while the
// window is still there, before the message loop ends. The window owns the layer; the
// returned one lives as long as the window, for the program to set its hooks.
WindowCommands& InstallWindowCommands(ImageRecordDB& db, SearchEngine& engine, Loader& loader,
                                      StatusBar& status, MainWindow& window, ThumbsView& view,
                                      MessageHost& host);

}  // namespace gq
