#include "ui/WindowWiring.h"

#include <algorithm>

#include "db/ImageRecordDB.h"
#include "frame/Messages.h"
#include "loading/Loader.h"
#include "loading/LoadingHost.h"
#include "ui/LoadingEnd.h"
#include "ui/MainWindow.h"
#include "ui/ProgressCallbacks.h"
#include "ui/ThumbsView.h"

namespace gq {

void WireMainWindow(MainWindow& window, ThumbsView& view, ImageRecordDB& db, MessageHost& host,
                    LoadingHost& loading) {
  window.SetView(&view);
  window.fillCommandState = [&view, &db](CommandState& state) {
    state.saved = db.IsClean();
    state.hasFile = !db.File().Name().empty();
    state.loading = g_LoaderState.activeLoaders > 0;
    state.paused = g_LoaderState.pause;
    state.listMode = view.ListMode();
    state.canGoBack = view.HistoryBack(false);
    state.canGoForward = view.HistoryForward(false);
    state.hasCurrentPicture = view.CurrentPicture() >= 0;
  };
  window.fillHousekeepingFacts = [&db](HousekeepingFacts& facts) {
    facts.thumbsInMemory = std::max(0, m_NrThumbsLoaded.load());
    facts.pictureCount = db.Count();
    facts.hasFile = !db.File().Name().empty();
    facts.saved = db.IsClean();
  };
  view.hooks.commandStateChanged = [&window] { window.RefreshCommandState(); };
  host.SetHandler(MsgRefreshCommands, [&window](unsigned, uintptr_t, intptr_t) {
    window.RefreshCommandState();
    return intptr_t{0};
  });
  loading.onLoadingDone = [&window, &view, &db](bool stopped) {
    FinishLoading(window, view, db, stopped);
  };
  auto* progress = new ProgressCallbacks(window, host.Window());
  db.Host().progress = [progress](double fraction) { return progress->Modal(fraction); };
  db.Host().progressDone = [&window] { window.SetProgress(0); };
}

}  // namespace gq
