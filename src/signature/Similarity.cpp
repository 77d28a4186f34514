#include "signature/Similarity.h"

#include <algorithm>
#include <cstdlib>

namespace gq {
namespace {

// The raw factors of BuildWeights, each criterion times its scale.
struct Factors {
  double coarseColour, coarseSaturation, coarseBrightness, centre;
  double texture, format, place, area, intensity, size;
  double colour[kLocalColours];
  double globalColour, globalSaturation, globalBrightness, filePath;
};

WeightVector WeightsFrom(const Factors& f) {
  WeightVector w{};
  for (int cell = 0; cell < 9; ++cell) {
    const double share = cell == kSigCentreCell ? f.centre : 1 - f.centre;
    w[kSigCoarse + 4 * cell] = share * f.coarseColour;
    w[kSigCoarse + 4 * cell + 1] = share * f.coarseColour;
    w[kSigCoarse + 4 * cell + 2] = share * f.coarseSaturation;
    w[kSigCoarse + 4 * cell + 3] = share * f.coarseBrightness;
  }
  for (int i = 0; i < 16; ++i) w[kSigTexture + i] = f.texture;
  for (int j = 0; j < kLocalColours; ++j) {
    double* local = w.data() + kSigLocal + kLocalValuesPerColour * j;
    local[0] = local[1] = f.colour[j] * f.place;
    local[2] = f.colour[j] * f.area;
    local[3] = f.colour[j] * f.intensity;
    local[4] = f.colour[j] * f.area;
  }
  for (int i = 0; i < 6; ++i) {
    w[kSigHue + i] = f.globalColour;
    w[kSigChroma + i] = f.globalSaturation;
    w[kSigWhite + i] = f.globalBrightness;
  }
  w[kSigFormat] = f.format;
  w[kSigWidth] = w[kSigHeight] = f.size;
  w[kSigFilePath] = f.filePath;

  const double largest = std::max(0.0, *std::max_element(w.begin(), w.end()));
  if (largest > 0) {
    const double factor = 1 / largest;
    // The largest weight becomes exactly 1.0, whatever the rounding of the product.
    for (double& weight : w) weight = weight == largest ? 1.0 : weight * factor;
  } else {
    w.fill(1.0);
  }
  return w;
}

}  // namespace

WeightVector BuildWeights(const Criteria& criteria) {
  auto scaled = [&criteria](int index) {
    return criteria.value[index] * kCriteriaDescriptors[index].scale;
  };
  Factors f{};
  f.coarseColour = scaled(kCoarseColour);
  f.coarseSaturation = scaled(kCoarseSaturation);
  f.coarseBrightness = scaled(kCoarseBrightness);
  f.centre = scaled(kCoarseCentre);
  f.texture = scaled(kTexture);
  f.format = scaled(kFormat);
  f.place = scaled(kPlace);
  f.area = scaled(kArea);
  f.intensity = scaled(kIntensity);
  f.size = scaled(kSize);
  for (int j = 0; j < kLocalColours; ++j) f.colour[j] = scaled(kRed + j);
  f.globalColour = scaled(kGlobalColour);
  f.globalSaturation = scaled(kGlobalSaturation);
  f.globalBrightness = scaled(kGlobalBrightness);
  f.filePath = scaled(kFilePath);
  return WeightsFrom(f);
}

WeightVector DefaultWeights() {
  Factors f{};
  f.coarseColour = f.coarseSaturation = f.coarseBrightness = f.centre = 0.5;
  f.texture = f.format = 0.5;
  f.globalColour = f.globalSaturation = f.globalBrightness = 0.5;
  return WeightsFrom(f);
}

double Distance(const int16_t* a, const int16_t* b, const double* weights) {
  static_assert(kSignatureLength % 8 == 0);
  double partial[8] = {};
  for (int i = 0; i < kSignatureLength; i += 8) {
    for (int lane = 0; lane < 8; ++lane) {
      const int difference = std::abs(static_cast<int>(a[i + lane]) - b[i + lane]);
      partial[lane] += difference * weights[i + lane];
    }
  }
  return ((partial[0] + partial[4]) + (partial[1] + partial[5])) +
         ((partial[2] + partial[6]) + (partial[3] + partial[7]));
}

}  // namespace gq
