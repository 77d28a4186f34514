// The step runners of the duplicate search and the mosaic: each runs its steps on the
// user-interface thread, dispatching pending messages between steps, and shows status
// texts and progress through the hooks of its owner (a dialog, or gqtool's terminal).
// A process-wide busy flag per runner, set with an atomic exchange, keeps a second run
// out: calling the runner again while it runs cancels the running one instead.
#pragma once

#include <functional>
#include <string>

#include "search/Mosaic.h"
#include "signature/PackedImage.h"

namespace gq {

class SearchEngine;

struct RunnerHooks {
  std::function<void(const std::string& text)> statusText;
  std::function<void(int percent)> setProgress;
  // The start button's label: "&Cancel" while running, "&Search" / "&Create" after.
  std::function<void(const std::string& label)> setButtonText;
  // Dispatches all pending messages; false when a quit request came (it is re-posted).
  std::function<bool()> dispatchMessages;
  // The duplicates runner switches the view to the duplicates mode first, and repaints
  // it (at most every 100 ms while searching) while it shows that mode.
  std::function<void()> showDuplicatesView;
  std::function<bool()> viewShowsDuplicates;
  std::function<void()> repaintView;
};

enum class RunOutcome {
  kFinished,         // the run ended by itself
  kCancelled,        // the run was cancelled and ended
  kQuit,             // a quit request ended the run at once
  kCancelRequested,  // another run was going: it was told to cancel
  kSetupFailed,      // the mosaic could not start (the message was shown)
  kWriteFailed,      // the mosaic ended but its file could not be written (shown)
};

// The error box of a mosaic whose file could not be written.
inline constexpr const char* kMosaicWriteFailed = "Can't write file.";

// "Search for Duplicates": prepares the search and steps it to the end. The status text
// ends as "%d potential duplicates." or "Search canceled. %d potential duplicates.".
RunOutcome RunDuplicateSearch(SearchEngine& engine, bool useCurrentCriteria, bool identityCheck,
                              int similarity, const RunnerHooks& hooks);

// "Create": sets the mosaic up (an error is shown in an error box) and steps it until
// the file is written. *message (optional) receives the error shown.
RunOutcome RunMosaic(SearchEngine& engine, const MosaicOptions& options, PackedImage source,
                     const RunnerHooks& hooks, std::string* message = nullptr);

// Whether a runner is going (for the views and tests).
bool DuplicateSearchBusy();
bool MosaicBusy();

}  // namespace gq
