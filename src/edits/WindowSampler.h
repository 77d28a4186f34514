// A picture's stored grey picture as running sums, so that the correlation of any of its
// windows, sampled at kSampleSide square, with a target grid costs a few hundred steps:
// a cell's average is read off the sums at its four corners. The window fitting scores
// many windows of one picture this way. Not shared between threads.
#pragma once

#include "edits/EditDescriptor.h"

namespace gq {

class WindowSampler {
 public:
  void Reset(const EditDescriptor& picture);

  // The window's sample as SampleWindow makes it (mean 0, standard deviation 1); false
  // when it is flat.
  bool Sample(const CropWindow& window, float* grid) const;

  // Correlation(sample of the window, target) for a target with mean 0 and standard
  // deviation 1; -1 when the window is flat.
  float Correlate(const CropWindow& window, const float* target) const;

 private:
  static constexpr int kSide = kBaseSide + 1;
  // The window's cells, unnormalised, into cells; false when a cell would be narrower
  // than a pixel (the sums then do not give the sample's widened cells).
  bool Cells(const CropWindow& window, float* cells) const;

  const EditDescriptor* m_Picture = nullptr;
  double m_Sums[kSide][kSide] = {};  // [y][x]: the grey of the pixels above and left of (x, y)
};

}  // namespace gq
