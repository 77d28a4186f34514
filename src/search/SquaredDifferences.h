// The inner loop of the identity check: the sum of the squared differences of two byte
// arrays. Built portable (vectorised by the compiler for the baseline instruction set)
// and, on x86-64, with AVX2 intrinsics in a build of its own; the processor decides at
// run time which one runs. Pure functions; callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gq {

// The sum of (a[i] - b[i])^2 for i below count, by the fastest build this processor runs.
uint64_t SquaredDifferenceSum(const uint8_t* a, const uint8_t* b, size_t count);

// The same sum by the portable build.
uint64_t PortableSquaredDifferenceSum(const uint8_t* a, const uint8_t* b, size_t count);

namespace avx2 {
// The AVX2 build; only for processors with AVX2.
uint64_t SquaredDifferenceSum(const uint8_t* a, const uint8_t* b, size_t count);
}  // namespace avx2

}  // namespace gq
