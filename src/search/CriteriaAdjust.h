// Criteria adjustment: tunes the current criteria so that the pictures the user
// selected come first in the similar list of the search picture. The quick form
// optimises a ratio of weighted differences only; the full form the ranks of the
// selected pictures too. Runs on the user-interface thread and changes the current
// criteria record in place, so every kept trial is visible at once.
#pragma once

#include <functional>
#include <string>

namespace gq {

class SearchEngine;
struct ImageRecord;

// Progress of the full adjustment: a fraction 0-1 and flags (bit 0: the last trial
// improved the cost). Returning false stops the adjustment, keeping the best criteria.
using AdjustProgress = std::function<bool(double fraction, unsigned flags)>;
inline constexpr unsigned kAdjustImproved = 1;

// Adds focused (may be none) to the selection, then adjusts. Returns "" on success or
// one of "No search picture.", "No pictures selected.", "All criterias are
// deactivated.", "Out of memory." (the criteria are then unchanged).
std::string AdjustCriteria(SearchEngine& engine, bool quick, bool full, ImageRecord* focused,
                           const AdjustProgress& progress);

}  // namespace gq
