#include "ui/ThumbsSelection.h"

namespace gq {

SelectionOutcome DecideSelection(const SelectionInput& in) {
  if (!in.onRecord) return SelectionOutcome::kNoCurrent;
  if (in.shift && in.currentValid && in.anchorValid) return SelectionOutcome::kExtendRange;
  const bool marked = in.targetIsCurrent || in.targetIsSelected;
  if (in.ctrl || (in.rightButton && marked)) {
    const bool leftClick = !in.rightButton && !in.fromKeyboard;
    return in.ctrl && leftClick && marked ? SelectionOutcome::kCtrlToggleOff
                                          : SelectionOutcome::kCtrlMove;
  }
  if (!in.rightButton && !in.fromKeyboard && in.targetIsCurrent) return SelectionOutcome::kRename;
  return SelectionOutcome::kSingle;
}

}  // namespace gq
