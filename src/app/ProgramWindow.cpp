#include "app/ProgramWindow.h"

#include <cstdio>

#include "frame/CommandLine.h"

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
  db.Host().changeListener = [shown, &db] { shown->SetPictureCount(db.Count()); };
  db.Host().stateChanged = [shown, &db] { RefreshTitleOf(*shown, db); };
  if (minimize) {
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->showMinimized();
  } else {
    window->show();
  }
  window->PruneRecent(0);
  RefreshTitleOf(*window, db);
  return window;
}

}  // namespace gq
