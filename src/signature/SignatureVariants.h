// The builds of the signature computation this program carries, one per instruction set:
// a portable one that any processor runs, and on x86-64 one for processors with AVX2 and
// the bit-manipulation instructions. ComputeSignature and ConvertColours use the last one
// the processor runs; all give the same bytes, which the tests check. Owned by the
// signature module.
#pragma once

#include <cstdint>
#include <span>

namespace gq {

struct SignatureVariant {
  const char* name;
  bool (*computeSignature)(int thumbWidth, int thumbHeight, const uint8_t* pixels, int pictureWidth,
                           int pictureHeight, int16_t* signature);
  void (*convertColours)(const uint8_t* bgr, int count, uint8_t* hue, uint8_t* chroma,
                         uint8_t* white);
};

// The variants this processor runs, the portable one first.
std::span<const SignatureVariant> RunnableSignatureVariants();

}  // namespace gq
