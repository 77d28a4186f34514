// The moving keys of the thumbnail view: the list index (or, in Search Duplicates, the
// grid position) each key moves the current picture to. Pure functions; the view
// converts between list index and grid position and picks the record.
#pragma once

#include <cstdint>

#include "ui/ThumbsGeometry.h"

namespace gq {

enum class MoveKey { kLeft, kRight, kUp, kDown, kHome, kEnd, kPageUp, kPageDown };

// In Search Duplicates every key but Left and Right counts in grid positions.
bool MovesOnGrid(MoveKey key);

// The target of key from u. in.pictureCount is the count of the list moved over.
// Page Up/Down move one row in Search Similar and a window-full of whole rows otherwise.
int32_t MoveTarget(MoveKey key, int32_t u, const ScrollInputs& in);

// In Search Similar with a displayed-pictures number the target stays on the rows the
// scroll range shows; elsewhere it is returned unchanged.
int32_t LimitSimilarTarget(int32_t target, const ScrollInputs& in);

}  // namespace gq
