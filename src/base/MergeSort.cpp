#include "base/MergeSort.h"

#include <cstring>
#include <new>

namespace gq {
namespace {

void MergeRuns(void** from, void** to, size_t begin, size_t middle, size_t end,
               MergeCompare compare, void* context) {
  size_t left = begin;
  size_t right = middle;
  size_t out = begin;
  while (left < middle && right < end) {
    if (compare(from[left], from[right], context) < 0) {
      to[out++] = from[left++];
    } else {
      to[out++] = from[right++];
    }
  }
  while (left < middle) to[out++] = from[left++];
  while (right < end) to[out++] = from[right++];
}

}  // namespace

int MergeSort(void** array, size_t count, MergeCompare compare, void* context) {
  if (!array || !compare) return -2;
  if (count == 0) return 0;
  void** scratch = new (std::nothrow) void*[count];
  if (!scratch) return -1;
  void** from = array;
  void** to = scratch;
  for (size_t width = 1; width < count; width *= 2) {
    for (size_t begin = 0; begin < count; begin += 2 * width) {
      size_t middle = begin + width < count ? begin + width : count;
      size_t end = begin + 2 * width < count ? begin + 2 * width : count;
      MergeRuns(from, to, begin, middle, end, compare, context);
    }
    void** swap = from;
    from = to;
    to = swap;
  }
  if (from != array) std::memcpy(array, from, count * sizeof(void*));
  delete[] scratch;
  return 0;
}

}  // namespace gq
