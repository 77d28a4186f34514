#include "ui/CommandState.h"

#include "search/SearchEngine.h"
#include "ui/CommandTable.h"

namespace gq {

std::vector<CommandLook> CommandLooks(const CommandState& s) {
  const int m = s.listMode;
  return {
      {kCmdSaveDb, !(s.saved && s.hasFile), false},
      {kCmdFindDb, s.hasFile, false},
      {kCmdStopLoading, s.loading, false},
      {kCmdPauseLoading, s.loading, s.loading && s.paused},
      {kCmdListUnsorted, true, m == kListUnsorted},
      {kCmdListSortedByFile, true, m == kListSortedByFile},
      {kCmdListSearchSimilar, true, m == kListSearchSimilar},
      {kCmdListSearchDuplicates, true, m == kListSearchDuplicates},
      {kCmdPrevious, s.canGoBack, false},
      {kCmdNext, s.canGoForward, false},
      {kCmdScrollToSelection, s.hasCurrentPicture, false},
      {kCmdPictureInWindow, true, s.viewerFramed},
      {kCmdPictureFullscreen, true, s.viewerFullscreen},
      {kCmdZoomSmall, true, s.zoomSmall},
      {kCmdToolBar, true, s.toolBar},
      {kCmdTabs, true, s.tabs},
      {kCmdStatusBar, true, s.statusBar},
      {kCmdPauseOnError, true, s.pauseOnError},
      {kCmdLimitDragCopy, true, s.limitDragCopy},
      {kCmdScrollBarLeft, true, s.scrollBarLeft},
      {kCmdCompactView, true, s.compactView},
      {kCmdAutosave, true, s.autosave},
  };
}

}  // namespace gq
