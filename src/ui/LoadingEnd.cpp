#include "ui/LoadingEnd.h"

#include "db/ImageRecordDB.h"
#include "frame/CommandLine.h"
#include "search/SearchEngine.h"
#include "ui/MainWindow.h"
#include "ui/ThumbsView.h"
#include "ui/WindowKeys.h"

namespace gq {

LoadingEndPlan PlanLoadingEnd(const LoadingEndFacts& f) {
  LoadingEndPlan plan;
  if (f.stopped) return plan;
  bool newPictures = f.countBefore >= 0 && f.countBefore < f.count;
  plan.forgetCountBefore = true;
  const bool listView = f.listMode == kListUnsorted || f.listMode == kListSortedByFile;
  if (f.lastLoaded >= 0) {
    plan.current = f.lastLoaded;
    plan.forgetLastLoaded = plan.clearSelect = true;
    newPictures = true;
  } else if (f.select) {
    plan.clearSelect = true;
    if (newPictures && listView) plan.current = kNewestPicture;
  }
  if (f.activate) {
    plan.clearActivate = true;
    plan.raiseViewer = listView && f.viewerShown && newPictures;
    plan.raiseWindow = listView && !plan.raiseViewer;
  }
  return plan;
}

void FinishLoading(MainWindow& window, ThumbsView& view, ImageRecordDB& db, bool stopped) {
  view.Refresh(true, false);
  QWidget* viewer = window.ToolWindowOf(ToolWindow::kViewer);
  LoadingEndFacts facts{
      stopped,      g_countBeforeHandOff, db.Count(),      db.m_LastCheckedLfdNr,
      g_selectFlag, g_activateFlag,       view.ListMode(), viewer && viewer->isVisible()};
  const LoadingEndPlan plan = PlanLoadingEnd(facts);
  if (plan.forgetCountBefore) g_countBeforeHandOff = -1;
  if (plan.forgetLastLoaded) db.m_LastCheckedLfdNr = -1;
  if (plan.clearSelect) g_selectFlag = false;
  if (plan.clearActivate) g_activateFlag = false;
  const int32_t current = plan.current == kNewestPicture
                              ? db.LfdNrAt(db.Count() - 1, kListUnsorted, true)
                              : plan.current;
  if (current >= 0) {
    view.SetCurrentPicture(current);
    view.ScrollToPicture(current, false);
  }
  if (plan.raiseViewer) BringToFront(viewer);
  if (plan.raiseWindow) BringToFront(&window);
  window.RefreshCommandState();
}

}  // namespace gq
