// What the window does when a load job has ended: which picture becomes current and
// which window comes to the front, from the last-loaded record, the picture count at
// hand-off and the select and activate wishes of the command line or a hand-off.
// PlanLoadingEnd is pure; FinishLoading carries the plan out and clears the wishes it
// used. User-interface thread.
#pragma once

#include <cstdint>

namespace gq {

class ImageRecordDB;
class MainWindow;
class ThumbsView;

struct LoadingEndFacts {
  bool stopped = false;
  int countBefore = -1;     // picture count at hand-off; -1 when not set
  int count = 0;            // picture count now
  int32_t lastLoaded = -1;  // the record a load found already known; -1 none
  bool select = false;      // select-on-finish
  bool activate = false;    // activate-on-finish
  int listMode = 0;
  bool viewerShown = false;
};

inline constexpr int32_t kNewestPicture = -2;

struct LoadingEndPlan {
  int32_t current = -1;  // running number to make current, kNewestPicture, or -1
  bool forgetCountBefore = false;
  bool forgetLastLoaded = false;
  bool clearSelect = false;
  bool clearActivate = false;
  bool raiseViewer = false;
  bool raiseWindow = false;
};

LoadingEndPlan PlanLoadingEnd(const LoadingEndFacts& facts);

// The end-of-loading handling after the status text: carries out the plan on the
// view and the windows and refreshes the command state.
void FinishLoading(MainWindow& window, ThumbsView& view, ImageRecordDB& db, bool stopped);

}  // namespace gq
