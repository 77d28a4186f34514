#include "search/StepRunner.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "platform/MessageBox.h"
#include "search/DuplicateSearch.h"
#include "search/SearchEngine.h"

namespace gq {
namespace {

std::atomic<bool> g_DuplicatesBusy{false};  // the duplicates runner is going
std::atomic<bool> g_MosaicBusy{false};      // the mosaic runner is going

constexpr auto kRepaintInterval = std::chrono::milliseconds(100);

void Status(const RunnerHooks& hooks, const std::string& text) {
  if (hooks.statusText) hooks.statusText(text);
}
void Progress(const RunnerHooks& hooks, int percent) {
  if (hooks.setProgress) hooks.setProgress(std::max(percent, 0));
}
void Button(const RunnerHooks& hooks, const std::string& label) {
  if (hooks.setButtonText) hooks.setButtonText(label);
}
bool Dispatch(const RunnerHooks& hooks) {
  return !hooks.dispatchMessages || hooks.dispatchMessages();
}
bool ShowsDuplicates(const RunnerHooks& hooks) {
  return hooks.viewShowsDuplicates && hooks.viewShowsDuplicates();
}
void Repaint(const RunnerHooks& hooks) {
  if (ShowsDuplicates(hooks) && hooks.repaintView) hooks.repaintView();
}
std::string CountText(int32_t count) { return std::to_string(count) + " potential duplicates."; }

}  // namespace

bool DuplicateSearchBusy() { return g_DuplicatesBusy.load(); }
bool MosaicBusy() { return g_MosaicBusy.load(); }

RunOutcome RunDuplicateSearch(SearchEngine& engine, bool useCurrentCriteria, bool identityCheck,
                              int similarity, const RunnerHooks& hooks) {
  if (hooks.showDuplicatesView) hooks.showDuplicatesView();
  DuplicateSearch& search = engine.Duplicates();
  if (g_DuplicatesBusy.exchange(true)) {
    search.Cancel();
    return RunOutcome::kCancelRequested;
  }
  Button(hooks, "&Cancel");
  Progress(hooks, 0);
  search.Prepare(useCurrentCriteria, identityCheck, similarity);
  Repaint(hooks);
  Status(hooks, "Searching...");
  auto lastRepaint = std::chrono::steady_clock::now();
  int32_t grouped = 0;
  int result;
  do {
    result = search.Step(1, &grouped);
    Status(hooks, "Searching... " + CountText(grouped));
    const auto now = std::chrono::steady_clock::now();
    if (now - lastRepaint > kRepaintInterval) {
      Repaint(hooks);
      lastRepaint = now;
    }
    Progress(hooks, result);
    if (!Dispatch(hooks)) {
      g_DuplicatesBusy = false;
      return RunOutcome::kQuit;
    }
  } while (result >= 0);
  const bool cancelled = result == kDuplicatesStopped;
  Repaint(hooks);
  if (!cancelled) Progress(hooks, 0);
  Status(hooks, cancelled ? "Search canceled. " + CountText(grouped) : CountText(grouped));
  Button(hooks, "&Search");
  g_DuplicatesBusy = false;
  return cancelled ? RunOutcome::kCancelled : RunOutcome::kFinished;
}

RunOutcome RunMosaic(SearchEngine& engine, const MosaicOptions& options, PackedImage source,
                     const RunnerHooks& hooks, std::string* message) {
  MosaicRun& mosaic = engine.Mosaic();
  if (g_MosaicBusy.exchange(true)) {
    mosaic.Cancel();
    return RunOutcome::kCancelRequested;
  }
  const std::string error = mosaic.Setup(options, std::move(source));
  if (!error.empty()) {
    if (message != nullptr) *message = error;
    MessageBox(error, kProgramCaption, MB_OK | MB_ICONERROR);
    g_MosaicBusy = false;
    return RunOutcome::kSetupFailed;
  }
  Button(hooks, "&Cancel");
  Progress(hooks, 0);
  bool written = false;
  int result;
  do {
    result = mosaic.Step(&written);
    Progress(hooks, result);
    if (!Dispatch(hooks)) {
      g_MosaicBusy = false;
      return RunOutcome::kQuit;
    }
  } while (result >= 0);
  Progress(hooks, 0);
  Button(hooks, "&Create");
  g_MosaicBusy = false;
  if (!written) {
    if (message != nullptr) *message = kMosaicWriteFailed;
    MessageBox(kMosaicWriteFailed, kProgramCaption, MB_OK | MB_ICONERROR);
    return RunOutcome::kWriteFailed;
  }
  return mosaic.WasCancelled() ? RunOutcome::kCancelled : RunOutcome::kFinished;
}

}  // namespace gq
