// The program's sort of pointer arrays: a stable-looking bottom-up merge sort whose tie
// rule is part of the result (searches order equal distances by it). Runs of 1, 2, 4, ...
// are merged into a scratch array, alternating the two arrays; the left element is taken
// only when the comparison is negative, so on a tie the element of the right run comes
// first. Pure function; callable from any thread.
#pragma once

#include <cstddef>

namespace gq {

// compare(leftElement, rightElement, context) < 0 means the left element goes first.
using MergeCompare = int (*)(void* left, void* right, void* context);

// Returns 0 on success (an empty array at once), -1 when the scratch array cannot be
// obtained, -2 when the array or the comparison is missing.
int MergeSort(void** array, size_t count, MergeCompare compare, void* context);

}  // namespace gq
