// The AVX2 build of the squared-difference sum. Compiled with -mavx2: it must define no
// code outside gq::avx2 (no library templates), since the linker keeps one copy of such
// code for the whole program.
#include <immintrin.h>

#include "search/SquaredDifferences.h"

namespace gq::avx2 {
namespace {

// 32 bytes add 4 squares of at most 255^2 to each 32-bit lane: 16,512 such steps fit.
constexpr size_t kBytesPerPartialSum = size_t{32} * 16384;

uint64_t LaneTotal(__m256i sums) {
  alignas(32) uint32_t lanes[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums);
  uint64_t total = 0;
  for (uint32_t lane : lanes) total += lane;
  return total;
}

}  // namespace

uint64_t SquaredDifferenceSum(const uint8_t* a, const uint8_t* b, size_t count) {
  const __m256i zero = _mm256_setzero_si256();
  const size_t vectorBytes = count - count % 32;
  uint64_t total = 0;
  for (size_t start = 0; start < vectorBytes; start += kBytesPerPartialSum) {
    const size_t end =
        vectorBytes - start < kBytesPerPartialSum ? vectorBytes : start + kBytesPerPartialSum;
    __m256i sums = zero;
    for (size_t i = start; i < end; i += 32) {
      const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
      const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
      const __m256i low =
          _mm256_sub_epi16(_mm256_unpacklo_epi8(va, zero), _mm256_unpacklo_epi8(vb, zero));
      const __m256i high =
          _mm256_sub_epi16(_mm256_unpackhi_epi8(va, zero), _mm256_unpackhi_epi8(vb, zero));
      sums = _mm256_add_epi32(sums, _mm256_madd_epi16(low, low));
      sums = _mm256_add_epi32(sums, _mm256_madd_epi16(high, high));
    }
    total += LaneTotal(sums);
  }
  for (size_t i = vectorBytes; i < count; ++i) {
    const int d = a[i] - b[i];
    total += static_cast<uint64_t>(d * d);
  }
  return total;
}

}  // namespace gq::avx2
