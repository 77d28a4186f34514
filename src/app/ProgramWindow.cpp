#include "app/ProgramWindow.h"

#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <memory>
#include <utility>

#include "app/ToolWindows.h"
#include "app/WindowCommands.h"
#include "frame/CommandLine.h"
#include "ui/ThumbsView.h"
#include "ui/WindowWiring.h"

namespace gq {
namespace {

void RefreshTitleOf(MainWindow& window, ImageRecordDB& db) {
  window.RefreshTitle(db.File().Name(), db.Count() > 0, db.IsClean());
}

}  // namespace

std::unique_ptr<MainWindow> OpenProgramWindow(ProgramHost& program, MessageHost& host,
                                              bool minimize) {
  auto window =
      std::make_unique<MainWindow>(g_mainWindowClassName, host.Target(), &program.Status());
  MainWindow* shown = window.get();
  ImageRecordDB& db = program.Db();
  // Status texts also go to standard error, so a session's log reads like its status bar.
  program.Status().SetShown([shown, &db](const std::string& text) {
    shown->ShowStatusText(text);
    shown->SetPictureCount(db.Count());
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
  });
  auto* view = new ThumbsView(db, program.Engine(), window->ClientArea());
  auto* layout = new QVBoxLayout(window->ClientArea());
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view);
  view->hooks.statusText = [&program](const std::string& text, int holdMs) {
    program.Status().Show(text, holdMs);
  };
  view->hooks.command = [shown](int command) { shown->RunCommand(command); };
  window->listModeChanged = [view](int mode, bool search) { view->SetListMode(mode, search); };
  view->hooks.listModeChanged = [shown](int mode) {
    if (shown->ListMode() != mode) shown->SetListMode(mode);
  };
  for (unsigned message : {MsgSelectPath, MsgContextMenuAt}) {
    host.SetHandler(message,
                    [live = QPointer<ThumbsView>(view)](unsigned m, uintptr_t w, intptr_t l) {
                      return live ? live->HandleMessage(m, w, l) : intptr_t{-1};
                    });
  }
  WireMainWindow(*window, *view, db, host, program.LoadingSide());
  // Pictures only added (a load) refresh the view and the count at most every 50 ms, so
  // a load is not slowed by a refresh per picture; any other change refreshes at once.
  auto shownCount = std::make_shared<int>(db.Count());
  auto refreshQueued = std::make_shared<bool>(false);
  auto refresh = [shown, view, &db, refreshQueued] {
    *refreshQueued = false;
    shown->SetPictureCount(db.Count());
    view->Refresh(true, false);
  };
  db.Host().changeListener = [view, &db, shownCount, refreshQueued, refresh] {
    const bool added = db.Count() > std::exchange(*shownCount, db.Count());
    if (!added) return refresh();
    if (!std::exchange(*refreshQueued, true)) QTimer::singleShot(50, view, refresh);
  };
  db.Host().stateChanged = [shown, &db] { RefreshTitleOf(*shown, db); };
  WindowCommands& commands = InstallWindowCommands(db, program.Engine(), program.Loading(),
                                                   program.Status(), *shown, *view, host);
  new ToolWindows(program, *shown, *view, commands);  // owned by the window
  if (minimize) {
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->showMinimized();
  } else {
    window->show();
  }
  WarnAboutLimitedColours(shown);
  window->PruneRecent(0);
  RefreshTitleOf(*window, db);
  return window;
}

}  // namespace gq
