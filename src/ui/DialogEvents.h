// The event pump that the tool dialogs' step runners call between steps, so the window
// stays live and a second press of the start button cancels at once.
// User-interface thread only.
#pragma once

namespace gq {

// Dispatches every pending event. A quit request that arrives meanwhile is held back
// and posted again, and the answer is false: the runner must return at once, and the
// event loop then quits as asked.
bool DispatchDialogEvents();

}  // namespace gq
