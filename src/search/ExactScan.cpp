#include "search/ExactScan.h"

#include <algorithm>
#include <cstdlib>

namespace gq {
namespace {

constexpr ScanVariant kScanVariants[] = {
    {"portable", portable::ListWithin},
#if defined(GQ_SEARCH_AVX2)
    {"avx2", avx2::ListWithin},
#endif
};

size_t CountRunnableScanVariants() {
#if defined(GQ_SEARCH_AVX2)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return 2;
#endif
  return 1;
}

}  // namespace

std::span<const ScanVariant> RunnableScanVariants() {
  static const size_t count = CountRunnableScanVariants();
  return {kScanVariants, count};
}

namespace portable {

// Written as loops over the 16 values of a pair vector, which the compiler vectorises
// with the processor's plain vector instructions; the sums are those of the AVX2 build.
size_t ListWithin(const ScanBlock* blocks, size_t blockCount, const ScanQuery& query, int32_t limit,
                  uint32_t firstEntry, uint32_t* found) {
  int32_t values[kScanPairs][kScanPairValues], weights[kScanPairs][kScanPairValues];
  for (int p = 0; p < kScanPairs; ++p) {
    for (int j = 0; j < kScanPairValues; ++j) {
      values[p][j] = query.values[2 * p + j % 2];
      weights[p][j] = query.weights[2 * p + j % 2];
    }
  }
  size_t count = 0;
  for (size_t b = 0; b < blockCount; ++b) {
    int32_t sums[kScanPairValues] = {};
    for (int p = 0; p < kScanPairs; ++p) {
      const int16_t* pair = blocks[b].values + p * kScanPairValues;
      for (int j = 0; j < kScanPairValues; ++j) {
        const int32_t difference = std::abs(pair[j] - values[p][j]);
        sums[j] += std::min(difference, 32767) * weights[p][j];
      }
    }
    for (int e = 0; e < kScanBlockEntries; ++e) {
      if (sums[2 * e] + sums[2 * e + 1] <= limit) {
        found[count++] = firstEntry + static_cast<uint32_t>(b * kScanBlockEntries + e);
      }
    }
  }
  return count;
}

}  // namespace portable
}  // namespace gq
