#include "signature/Signature.h"

#include <cstddef>
#include <cstdint>
#include <span>

#include "signature/SignatureVariants.h"
#include "signature/compute/EntryPoints.h"

// The computation is built twice from one set of sources (compute/): for any processor,
// and for x86-64 processors with AVX2, BMI1, BMI2 and POPCNT, where it runs about a tenth
// faster (the region finder's scalar code gains as much as the vector loops). Both give
// the same bytes: the arithmetic is integer but for a few divisions and square roots, and
// fused multiply-add, which would round differently, is left off. The build system
// defines GQ_SIGNATURE_AVX2 when it makes the second build.
namespace gq {
namespace {

constexpr SignatureVariant kVariants[] = {
    {"portable", portable::ComputeSignature, portable::ConvertColours},
#if defined(GQ_SIGNATURE_AVX2)
    {"avx2", avx2::ComputeSignature, avx2::ConvertColours},
#endif
};

size_t CountRunnableVariants() {
#if defined(GQ_SIGNATURE_AVX2)
  __builtin_cpu_init();  // the first signature may be computed before static constructors run
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
      __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt"))
    return 2;
#endif
  return 1;
}

const SignatureVariant& Fastest() { return RunnableSignatureVariants().back(); }

}  // namespace

std::span<const SignatureVariant> RunnableSignatureVariants() {
  static const size_t count = CountRunnableVariants();
  return {kVariants, count};
}

void ConvertColours(const uint8_t* bgr, int count, uint8_t* hue, uint8_t* chroma, uint8_t* white) {
  Fastest().convertColours(bgr, count, hue, chroma, white);
}

PixelColour ConvertColour(uint8_t blue, uint8_t green, uint8_t red) {
  const uint8_t bgr[3] = {blue, green, red};
  PixelColour c;
  ConvertColours(bgr, 1, &c.hue, &c.chroma, &c.white);
  return c;
}

bool ComputeSignature(int thumbWidth, int thumbHeight, const uint8_t* pixels, int pictureWidth,
                      int pictureHeight, int16_t* signature) {
  return Fastest().computeSignature(thumbWidth, thumbHeight, pixels, pictureWidth, pictureHeight,
                                    signature);
}

}  // namespace gq
