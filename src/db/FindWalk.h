// The walk of find by text over a list of positions: from a start, in one direction,
// optionally wrapping around. Pure; used by the database's text search.
#pragma once

#include <cstdint>
#include <functional>

namespace gq {

// Walks the list positions first .. first + count - 1 from start (excluded) forward or
// backward and returns the first position that matches, or -1. With wrap the walk goes
// on from the other end and stops before start. A start of -1 (not in the list) walks
// the whole list from the end the direction begins at.
int32_t FindWalk(int32_t first, int32_t count, int32_t start, bool forward, bool wrap,
                 const std::function<bool(int32_t position)>& matches);

}  // namespace gq
