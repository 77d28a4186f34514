// The similarity measure: the weight vector built from a criteria record, the fixed
// default weights, and the weighted distance between two signatures. Pure functions;
// callable from any thread (the criteria record is passed in, never read here).
#pragma once

#include <array>
#include <cstdint>

#include "signature/Criteria.h"
#include "signature/Signature.h"

namespace gq {

// One weight per signature value, each >= 0, the largest exactly 1.0.
using WeightVector = std::array<double, kSignatureLength>;

// Weights from the criteria: cells get share * colour / saturation / brightness (the
// centre cell's share is "- Center -", the eight others 1 - that), texture, the six
// colours' place, area (extent and shape) and intensity times the colour's multiplier,
// the global colour, saturation, brightness, format, size and file path. Normalised so
// that the largest is 1.0; when every weight is 0 all become 1.0, so distances never
// collapse to 0.
WeightVector BuildWeights(const Criteria& criteria);

// The fixed weights used when "use default similarity criterias" is ticked: every
// cell 0.5; texture, format and the global values 1.0; the local values, size and
// file path 0.
WeightVector DefaultWeights();

// Sum over all 104 values of |a[i] - b[i]| * w[i], the difference taken as an integer.
// The terms are added in eight interleaved partial sums that are combined in a fixed
// order, so the same inputs always give the same bits. Equal signatures give 0.
double Distance(const int16_t* a, const int16_t* b, const double* weights);

inline double Distance(const Signature& a, const Signature& b, const WeightVector& weights) {
  return Distance(a.data(), b.data(), weights.data());
}

}  // namespace gq
