// The inner loop of the exact similar search: for packed signatures, an integer lower
// bound of each entry's weighted distance to a query, and the list of the entries whose
// bound does not exceed a limit. Built once per instruction set like the signature
// computation: a portable build and, on x86-64, an AVX2 one (without fused
// multiply-add); both give the same bounds, as the arithmetic is integer. Pure functions;
// callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "signature/Signature.h"

namespace gq {

// Entries are packed eight to a block. Values are taken in pairs (0-1, 2-3, ..., 102-103);
// for each pair the block holds the eight entries' two values side by side, entry by
// entry: 16 values, 32 bytes. Unused entries of the last block are 0.
inline constexpr int kScanBlockEntries = 8;
inline constexpr int kScanPairs = kSignatureLength / 2;
inline constexpr int kScanPairValues = 2 * kScanBlockEntries;

struct alignas(64) ScanBlock {
  int16_t values[kScanPairs * kScanPairValues];
};

// The query of a scan: its signature and its weights quantised to integers.
// The bound of an entry v is the sum over all values of min(|v[i] - q[i]|, 32767) *
// weights[i]; each weight is at most 16384 and 32767 times their sum fits in int32, so
// neither a pair's product sum nor the bound overflows.
struct ScanQuery {
  int16_t values[kSignatureLength];
  int16_t weights[kSignatureLength];
};

// Lists the entries of blocks[0, blockCount) whose bound is at most limit: writes
// firstEntry + 8 * block + place into found (room for 8 * blockCount) in entry order and
// returns how many.
using ScanFunction = size_t (*)(const ScanBlock* blocks, size_t blockCount, const ScanQuery& query,
                                int32_t limit, uint32_t firstEntry, uint32_t* found);

struct ScanVariant {
  const char* name;
  ScanFunction listWithin;
};

// The variants this processor runs, the portable one first and the fastest last.
std::span<const ScanVariant> RunnableScanVariants();

namespace portable {
size_t ListWithin(const ScanBlock* blocks, size_t blockCount, const ScanQuery& query, int32_t limit,
                  uint32_t firstEntry, uint32_t* found);
}
namespace avx2 {
size_t ListWithin(const ScanBlock* blocks, size_t blockCount, const ScanQuery& query, int32_t limit,
                  uint32_t firstEntry, uint32_t* found);
}

}  // namespace gq
