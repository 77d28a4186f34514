// The selection rule of a click or keyboard move onto a picture: which of the ways of
// changing the current picture and the selection applies. Pure; the view carries the
// outcome out on the database's selection set.
#pragma once

namespace gq {

struct SelectionInput {
  bool onRecord = false;      // a picture is under the mouse (or the key's target)
  bool currentValid = false;  // there is a current picture
  bool anchorValid = false;   // the range anchor is a record
  bool targetIsCurrent = false;
  bool targetIsSelected = false;
  bool shift = false;
  bool ctrl = false;
  bool rightButton = false;
  bool fromKeyboard = false;
};

enum class SelectionOutcome {
  kNoCurrent,      // nothing under the mouse: no current picture, the selection stays
  kExtendRange,    // from the anchor to the old current off, anchor to target on
  kCtrlMove,       // old current into the selection, target out of it, target current
  kCtrlToggleOff,  // as kCtrlMove, but no picture is current afterwards
  kRename,         // a plain left click on the current picture renames it
  kSingle,         // the selection is cleared and the target becomes current
};

// Whether the target becomes the anchor is part of the outcome: every outcome but
// kNoCurrent and kExtendRange sets it.
SelectionOutcome DecideSelection(const SelectionInput& in);

}  // namespace gq
