#include "db/FindWalk.h"

namespace gq {

int32_t FindWalk(int32_t first, int32_t count, int32_t start, bool forward, bool wrap,
                 const std::function<bool(int32_t)>& matches) {
  if (count <= 0) return -1;
  const int32_t last = first + count - 1;
  const bool inList = start >= first && start <= last;
  const int32_t step = forward ? 1 : -1;
  int32_t visits = count;
  int32_t p = forward ? first : last;
  if (inList) {
    visits = wrap ? count - 1 : (forward ? last - start : start - first);
    p = start + step;
  }
  for (int32_t i = 0; i < visits; ++i, p += step) {
    if (p > last) p = first;
    if (p < first) p = last;
    if (matches(p)) return p;
  }
  return -1;
}

}  // namespace gq
