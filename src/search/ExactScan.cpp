#include "search/ExactScan.h"

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

size_t ListWithin(const ScanBlock* blocks, size_t blockCount, const ScanQuery& query, int32_t limit,
                  uint32_t firstEntry, uint32_t* found) {
  size_t count = 0;
  for (size_t b = 0; b < blockCount; ++b) {
    int32_t sums[kScanBlockEntries] = {};
    for (int i = 0; i < kSignatureLength; ++i) {
      const int16_t* column = blocks[b].values + (i / 2) * kScanPairValues + i % 2;
      for (int e = 0; e < kScanBlockEntries; ++e) {
        const int difference = std::abs(column[2 * e] - query.values[i]);
        sums[e] += (difference < 32767 ? difference : 32767) * query.weights[i];
      }
    }
    for (int e = 0; e < kScanBlockEntries; ++e) {
      if (sums[e] <= limit) found[count++] = firstEntry + static_cast<uint32_t>(b * 8 + e);
    }
  }
  return count;
}

}  // namespace portable
}  // namespace gq
