#include "search/SquaredDifferences.h"

#include <algorithm>

namespace gq {
namespace {

// Squares of byte differences are at most 255^2, so 32-bit sums hold 66,051 of them.
constexpr size_t kSquaresPerPartialSum = 65536;

using SumFunction = uint64_t (*)(const uint8_t*, const uint8_t*, size_t);

SumFunction Fastest() {
#if defined(GQ_SEARCH_AVX2)
  if (__builtin_cpu_supports("avx2")) return avx2::SquaredDifferenceSum;
#endif
  return PortableSquaredDifferenceSum;
}

}  // namespace

// A plain loop into 32-bit partial sums, which the compiler turns into widening vector
// subtractions and multiply-adds.
uint64_t PortableSquaredDifferenceSum(const uint8_t* a, const uint8_t* b, size_t count) {
  uint64_t total = 0;
  for (size_t start = 0; start < count; start += kSquaresPerPartialSum) {
    const size_t end = std::min(count, start + kSquaresPerPartialSum);
    uint32_t sum = 0;
    for (size_t i = start; i < end; ++i) {
      const int d = a[i] - b[i];
      sum += static_cast<uint32_t>(d * d);
    }
    total += sum;
  }
  return total;
}

uint64_t SquaredDifferenceSum(const uint8_t* a, const uint8_t* b, size_t count) {
  static const SumFunction fastest = Fastest();
  return fastest(a, b, count);
}

}  // namespace gq
