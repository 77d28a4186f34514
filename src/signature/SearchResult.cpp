#include "signature/SearchResult.h"

#include "base/MergeSort.h"
#include "base/Text.h"

namespace gq {

int CompareResults(const SearchResult& a, const SearchResult& b) {
  if (a.distance < b.distance) return -1;
  if (a.distance > b.distance) return 1;
  return CompareNoCase(a.path ? a.path : "", b.path ? b.path : "");
}

int SortResults(SearchResult** results, size_t count) {
  auto compare = [](void* left, void* right, void*) {
    return CompareResults(*static_cast<SearchResult*>(left), *static_cast<SearchResult*>(right));
  };
  return MergeSort(reinterpret_cast<void**>(results), count, compare, nullptr);
}

}  // namespace gq
