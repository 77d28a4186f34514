#include "app/WindowCommands.h"

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <algorithm>
#include <iterator>

#include "base/FileKind.h"
#include "base/Words.h"
#include "db/DatabaseOps.h"
#include "frame/MessageHost.h"
#include "frame/Settings.h"
#include "frame/StatusBar.h"
#include "loading/Loader.h"
#include "loading/OpenPath.h"
#include "platform/Beep.h"
#include "platform/MessageBox.h"
#include "platform/ShellLink.h"
#include "search/CriteriaAdjust.h"
#include "signature/Criteria.h"
#include "ui/CommandTable.h"
#include "ui/DroppedFiles.h"
#include "ui/FileDialogs.h"
#include "ui/MainWindow.h"
#include "ui/ThumbsView.h"

namespace gq {
namespace {

constexpr int kStopLoadingMs = 5000;
constexpr int kStopLoadingCommandMs = 200;
constexpr size_t kMaxPathLength = 260;

// Commands carried out by other windows (see WindowCommands::elsewhere).
constexpr int kElsewhere[] = {
    33844,  // Background Color
    33827,  // Import Filter
    33875,  // Set Nr. of Displayed Pictures
    33851,  // Find by Text
    33852,  // Find Down
    33853,  // Find Up
    32806,  // Set Similarity Criterias
    33826,  // Search for Duplicates
    33850,  // Create Mosaic Picture
    33843,  // show or hide the viewer
    33847,  // full screen or framed
    33881,  // Find DB
    104,    // About
};

struct WaitCursor {
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

// The beep of a command that cannot be carried out.
void Refuse() { MessageBeep(MB_BEEP_DEFAULT); }

// A command that could not be carried out beeps.
void BeepUnless(bool done) {
  if (!done) Refuse();
}

// The lines of a pasted text that name something, each as a path.
std::vector<std::string> PastedLines(const std::string& text) {
  std::vector<std::string> paths;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string path = NormalizePath(text.substr(start, end - start));
    if (!path.empty()) paths.push_back(path);
    start = end + 1;
  }
  return paths;
}

}  // namespace

WindowCommands::WindowCommands(CommandTargets targets) : m_Targets(targets) {
  FileDialogs& dialogs = m_Targets.dialogs;
  m_Targets.db.Host().chooseDatabaseFile = [&dialogs] { return dialogs.SaveDatabase(); };
  BuildActions();
}

void WindowCommands::BuildActions() {
  ThumbsView& view = m_Targets.view;
  Loader& loader = m_Targets.loader;
  m_Actions = {
      {kCmdOpen, [this] { Open(false); }},
      {kCmdImport, [this] { Open(true); }},
      {kCmdImportDirectory, [this] { ImportDirectory(); }},
      {kCmdUpdateAll, [this] { Update(false, false); }},
      {kCmdUpdateSelected, [this] { Update(false, true); }},
      {kCmdUpdateFolders, [this] { Update(true, false); }},
      {kCmdUpdateDirsOfSelected, [this] { Update(true, true); }},
      {kCmdExportFiles, [this] { Export(false, false); }},
      {kCmdExportSelectedFiles, [this] { Export(false, true); }},
      {kCmdExportFolders, [this] { Export(true, false); }},
      {kCmdExportSelectedFolders, [this] { Export(true, true); }},
      {kCmdSaveDb, [this] { SaveDatabase(false); }},
      {kCmdSaveDbAs, [this] { SaveDatabase(true); }},
      {kCmdCloseDb,
       [this, &loader] {
         loader.Stop(false, kStopLoadingMs);
         CloseDatabase(true);
       }},
      {kCmdStopLoading,
       [this, &loader] {
         loader.Stop(false, kStopLoadingCommandMs);
         CommandStateChanged();
       }},
      {kCmdPauseLoading,
       [this, &loader] {
         loader.SetPause(!g_LoaderState.pause);
         m_Targets.window.Action(kCmdPauseLoading)->setChecked(g_LoaderState.pause);
       }},
      {kCmdPaste, [this] { Paste(QApplication::clipboard()->mimeData()); }},
      {kCmdPrevious, [&view] { BeepUnless(view.HistoryBack(true)); }},
      {kCmdNext, [&view] { BeepUnless(view.HistoryForward(true)); }},
      {kCmdScrollToSelection,
       [&view] { BeepUnless(view.ScrollToPicture(view.CurrentPicture(), false)); }},
      {kCmdResetCriteria,
       [this, &view] {
         ResetCriteria();
         m_Targets.window.SetProgress(0);
         view.Refresh(true, false);
       }},
      {kCmdQuickAdjust, [this] { AdjustCriteria(true); }},
      {kCmdAutoAdjust, [this] { AdjustCriteria(false); }},
  };
  for (int i = 0; i < 4; ++i) m_Actions[kCmdFirstRecent + i] = [this, i] { OpenRecent(i); };
}

bool WindowCommands::Run(int id) {
  if (auto action = m_Actions.find(id); action != m_Actions.end()) {
    action->second();
    return true;
  }
  if (Toggle(id)) return true;
  if (std::find(std::begin(kElsewhere), std::end(kElsewhere), id) == std::end(kElsewhere)) {
    return false;
  }
  auto hook = elsewhere.find(id);
  if (hook != elsewhere.end() && hook->second) {
    hook->second();
  } else {
    Refuse();
  }
  return true;
}

bool WindowCommands::Toggle(int id) {
  switch (id) {
    case kCmdZoomSmall:
      g_settings.noZoom = !g_settings.noZoom;
      if (viewerRepaint) viewerRepaint();
      break;
    case kCmdCompactView:
      g_settings.compactDuplicates = !g_settings.compactDuplicates;
      m_Targets.view.Refresh(true, true);
      break;
    case kCmdScrollBarLeft:
      g_settings.scrollBarLeft = !g_settings.scrollBarLeft;
      m_Targets.view.SetScrollBarLeft(g_settings.scrollBarLeft);
      break;
    default:
      return false;
  }
  m_Targets.window.RefreshCommandState();
  return true;
}

bool WindowCommands::StopLoadingAsked() {
  Loader& loader = m_Targets.loader;
  if (!loader.IsLoading()) return true;
  if (MessageBox("Loading still in progress. Stop?", kProgramCaption, MB_YESNO | MB_ICONQUESTION) !=
      IDYES) {
    return true;  // the command goes on beside the running load
  }
  return loader.Stop(false, kStopLoadingMs);  // reports "Could not stop loading." itself
}

void WindowCommands::Open(bool add) {
  if (!StopLoadingAsked()) return;
  std::string chosen = m_Targets.dialogs.Open();
  if (chosen.empty()) return;
  OpenPath(chosen, add, chosen[0] != '"');
  RefreshTitle();
}

void WindowCommands::ImportDirectory() {
  if (!StopLoadingAsked()) return;
  std::string folder = m_Targets.dialogs.BrowseFolder();
  if (folder.empty()) return;
  OpenPath(folder, true, true);
  RefreshTitle();
}

void WindowCommands::OpenRecent(int index) {
  std::string entry = ReadHistoryEntry(index);
  if (!entry.empty()) OpenPath(entry, false, true);
  RefreshTitle();
}

bool WindowCommands::OpenPath(const std::string& text, bool add, bool single) {
  WaitCursor wait;
  int mode = m_Targets.view.ListMode();
  bool searchList = mode == kListSearchSimilar || mode == kListSearchDuplicates;
  if ((!add && searchList) || (m_Targets.db.Count() == 0 && mode == kListSearchSimilar)) {
    ShowMode(kListUnsorted, false);
  }
  std::string path = Trim(text);
  if (path.empty()) {
    m_Targets.status.Show("Ready.", -1);
    return false;
  }
  // One path is quoted, so that its blanks never split it.
  if (single && path.find('"') == std::string::npos) path = "\"" + path + "\"";
  bool ok = gq::OpenPath(m_Targets.db, m_Targets.loader, path, add);
  CommandStateChanged();
  return ok;
}

void WindowCommands::CloseDatabase(bool report) {
  WaitCursor wait;
  gq::CloseDatabase(m_Targets.db, report);
  if (!report) return;
  m_Targets.view.Refresh(true, false);
  RefreshTitle();
}

bool WindowCommands::SaveDatabase(bool ask) {
  WaitCursor wait;
  bool ok = gq::SaveDatabase(m_Targets.db, std::string(), ask);
  m_Targets.view.Refresh(true, false);
  RefreshTitle();
  if (ok) m_Targets.window.PruneRecent(1);
  return ok;
}

void WindowCommands::Update(bool folders, bool selected) {
  bool running = g_LoaderState.updateRunning;
  // A running update is refused with its own beep and text.
  if (!UpdateFromDisk(m_Targets.db, m_Targets.loader, folders, selected,
                      m_Targets.view.CurrentPicture()) &&
      !running) {
    Refuse();
  }
  CommandStateChanged();
}

void WindowCommands::Export(bool folders, bool selected) {
  ImageRecordDB& db = m_Targets.db;
  int32_t current = m_Targets.view.CurrentPicture();
  bool nothing = selected ? db.SelectionCount() == 0 && current < 0 : db.Count() == 0;
  if (nothing) return Refuse();
  std::string path = m_Targets.dialogs.SaveText();
  if (path.empty()) return;
  std::vector<std::string> unlisted;
  if (!WriteList(db, path, folders, selected, std::string(), current, &unlisted)) return Refuse();
  m_Targets.status.Show("Exported: " + path, -1);
}

void WindowCommands::AdjustCriteria(bool quick) {
  WaitCursor wait;
  ThumbsView& view = m_Targets.view;
  ImageRecord* focused = m_Targets.db.FindByLfdNr(view.CurrentPicture());
  if (view.ListMode() != kListSearchSimilar) ShowMode(kListSearchSimilar, false);
  m_Targets.status.Show("Auto-Adjusting Criterias...", 0);
  MainWindow& window = m_Targets.window;
  auto progress = [this, &window](double fraction, unsigned) {
    if (adjustProgress) return adjustProgress(fraction);
    window.SetProgress(fraction);
    QApplication::processEvents();
    return true;
  };
  std::string message = gq::AdjustCriteria(m_Targets.engine, quick, !quick, focused, progress);
  if (message.empty()) {
    m_Targets.status.Show("Ready.", -1);
  } else {
    Refuse();
    m_Targets.status.Show(message, 4000);
  }
  window.SetProgress(0);
  m_Targets.engine.InvalidateSimilarList();
  view.Refresh(true, false);
}

void WindowCommands::ShowMode(int mode, bool search) {
  m_Targets.view.SetListMode(mode, search);
  m_Targets.window.SetListMode(m_Targets.view.ListMode());
}

void WindowCommands::DropPaths(const std::vector<std::string>& paths, const char* errorText) {
  if (paths.size() != 1) {
    if (!paths.empty()) m_Targets.loader.StartDropJob(paths);
    return CommandStateChanged();
  }
  std::string path = paths[0];
  if (IsShellLinkName(path) && !IsFolder(path) && !ResolveShellLink(paths[0], &path)) return;
  if (!Exists(path)) {
    m_Targets.status.Show(errorText, 4000);
  } else if (IsFolder(path)) {
    OpenPath(path, true, true);
  } else if (IsDatabasePath(path)) {
    OpenPath(path, false, true);
    RefreshTitle();
  } else {
    m_Targets.loader.StartDropJob({path});
  }
  CommandStateChanged();
}

void WindowCommands::Drop(const QMimeData& data) {
  DropPaths(DroppedPaths(data), "Drag&Drop Error.");
}

void WindowCommands::Paste(const QMimeData* data) {
  std::vector<std::string> files = data ? CopiedPaths(*data) : std::vector<std::string>();
  if (!files.empty()) return DropPaths(files, "Copy&Paste Error.");
  std::string text = data && data->hasText() ? data->text().toStdString() : std::string();
  std::string first = NormalizePath(FirstLine(text, kMaxPathLength));
  if (first.empty() || !Exists(first)) return Refuse();
  m_Targets.loader.StartDropJob(PastedLines(text));
  CommandStateChanged();
}

void WindowCommands::RefreshTitle() {
  ImageRecordDB& db = m_Targets.db;
  m_Targets.window.RefreshTitle(db.File().Name(), db.Count() > 0, db.IsClean());
}

void WindowCommands::CommandStateChanged() {
  if (commandStateChanged) commandStateChanged();
}

WindowCommands& InstallWindowCommands(ImageRecordDB& db, SearchEngine& engine, Loader& loader,
                                      StatusBar& status, MainWindow& window, ThumbsView& view,
                                      MessageHost& host) {
  auto dialogs = std::make_shared<FileDialogs>(&window);
  auto commands = std::make_shared<WindowCommands>(
      CommandTargets{db, engine, loader, status, window, view, *dialogs});
  window.commandHandler = [commands, dialogs](int id) { return commands->Run(id); };
  window.dropHandler = [commands](const QMimeData& data) { commands->Drop(data); };
  std::weak_ptr<WindowCommands> layer = commands;
  host.SetHandler(kMsgClose, [layer, dialogs](unsigned, uintptr_t how, intptr_t) {
    if (how == kCloseBySignal) {
      // As the boxes take their default button, the file dialogs count as cancelled.
      dialogs->SetRunner(
          [](FileDialogKind, const std::string&) { return std::vector<std::string>{}; });
    }
    if (auto commands = layer.lock()) commands->CloseDatabase(false);
    PostQuitMessage(0);
    return intptr_t{0};
  });
  return *commands;
}

}  // namespace gq
