// The entry points of each build of the signature computation. The sources of this folder
// are compiled once per instruction set, each time into the namespace that
// GQ_SIGNATURE_VARIANT names: `portable` for any processor, and on x86-64 `avx2` for
// processors with AVX2, BMI1, BMI2 and POPCNT. Both builds give the same bytes. Only
// Signature.cpp, which picks the build the processor runs, calls these from outside.
#pragma once

#include <cstdint>

namespace gq {

namespace portable {
bool ComputeSignature(int thumbWidth, int thumbHeight, const uint8_t* pixels, int pictureWidth,
                      int pictureHeight, int16_t* signature);
void ConvertColours(const uint8_t* bgr, int count, uint8_t* hue, uint8_t* chroma, uint8_t* white);
}  // namespace portable

namespace avx2 {
bool ComputeSignature(int thumbWidth, int thumbHeight, const uint8_t* pixels, int pictureWidth,
                      int pictureHeight, int16_t* signature);
void ConvertColours(const uint8_t* bgr, int count, uint8_t* hue, uint8_t* chroma, uint8_t* white);
}  // namespace avx2

}  // namespace gq
