// The AVX2 build of the scan: one 32-byte vector per pair and block, the differences
// taken as unsigned 16-bit numbers (max - min never wraps), clamped to 32767 so that the
// signed multiply-add takes them, and summed per entry in 32-bit lanes. Compiled with
// -mavx2 and without fused multiply-add; it must define no code outside gq::avx2 (a
// test checks), as the linker would keep such code for the whole program.
#include <immintrin.h>

#include "search/ExactScan.h"

namespace gq::avx2 {

size_t ListWithin(const ScanBlock* blocks, size_t blockCount, const ScanQuery& query, int32_t limit,
                  uint32_t firstEntry, uint32_t* found) {
  __m256i values[kScanPairs], weights[kScanPairs];
  for (int p = 0; p < kScanPairs; ++p) {
    const auto pairOf = [](const int16_t* two) {
      return static_cast<int32_t>(static_cast<uint16_t>(two[0]) |
                                  (static_cast<uint32_t>(static_cast<uint16_t>(two[1])) << 16));
    };
    values[p] = _mm256_set1_epi32(pairOf(query.values + 2 * p));
    weights[p] = _mm256_set1_epi32(pairOf(query.weights + 2 * p));
  }
  const __m256i clamp = _mm256_set1_epi16(32767);
  const __m256i bound = _mm256_set1_epi32(limit);
  size_t count = 0;
  for (size_t b = 0; b < blockCount; ++b) {
    const int16_t* block = blocks[b].values;
    __m256i sum = _mm256_setzero_si256();
    for (int p = 0; p < kScanPairs; ++p) {
      const __m256i v =
          _mm256_load_si256(reinterpret_cast<const __m256i*>(block + p * kScanPairValues));
      __m256i d = _mm256_sub_epi16(_mm256_max_epi16(v, values[p]), _mm256_min_epi16(v, values[p]));
      d = _mm256_min_epu16(d, clamp);
      sum = _mm256_add_epi32(sum, _mm256_madd_epi16(d, weights[p]));
    }
    const __m256i over = _mm256_cmpgt_epi32(sum, bound);
    unsigned within = ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(over))) & 0xFFu;
    const uint32_t entry = firstEntry + static_cast<uint32_t>(b * kScanBlockEntries);
    while (within != 0) {
      found[count++] = entry + static_cast<uint32_t>(__builtin_ctz(within));
      within &= within - 1;
    }
  }
  return count;
}

}  // namespace gq::avx2
