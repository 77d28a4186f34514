// Values 100-102 of one build: the full picture's format and size.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "signature/Signature.h"
#include "signature/compute/Features.h"

namespace gq::GQ_SIGNATURE_VARIANT {
namespace {

int16_t FormatValue(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  const double w = width, h = height;
  return Scaled(width > height ? 1 - h / w : w / h - 1);
}

int16_t SizeValue(int side) {
  if (side <= 0) return 0;
  return static_cast<int16_t>(
      std::min(std::trunc(std::log(static_cast<double>(side)) * 3376.6277), 32767.0));
}

}  // namespace

void SizeValues(int pictureWidth, int pictureHeight, int16_t* sig) {
  sig[kSigFormat] = FormatValue(pictureWidth, pictureHeight);
  sig[kSigWidth] = SizeValue(pictureWidth);
  sig[kSigHeight] = SizeValue(pictureHeight);
}

}  // namespace gq::GQ_SIGNATURE_VARIANT
