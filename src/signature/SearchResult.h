// The order of search results: one (distance, record) pair per found picture, smaller
// distance first, equal distances by the record's file path compared without regard to
// letter case, and on a full tie the program's merge-sort rule (the element of the
// right-hand run first). Pure functions; callable from any thread.
#pragma once

#include <cstddef>

namespace gq {

struct SearchResult {
  double distance = 0;
  const char* path = nullptr;  // the record's file path; null compares as ""
  void* record = nullptr;      // the caller's record, carried along unchanged
};

// <0 when a goes first, >0 when b goes first, 0 for a tie.
int CompareResults(const SearchResult& a, const SearchResult& b);

// Sorts an array of result pointers with the program's merge sort and CompareResults.
// Returns 0 on success, -1 when the scratch array cannot be obtained.
int SortResults(SearchResult** results, size_t count);

}  // namespace gq
