#include "edits/Orientation.h"

namespace gq {

const std::array<Orientation, kOrientationCount>& Orientations() {
  static constexpr std::array<Orientation, kOrientationCount> kAll = {{
      {false, false, false},  // identity
      {false, true, false},   // mirror: left and right exchanged
      {false, false, true},   // flip: top and bottom exchanged
      {false, true, true},    // rot180
      {true, false, false},   // transpose
      {true, true, false},    // rot90
      {true, false, true},    // rot270
      {true, true, true},     // transverse
  }};
  return kAll;
}

const char* OrientationName(int index) {
  static const char* const kNames[kOrientationCount] = {
      "identity", "mirror", "flip", "rot180", "transpose", "rot90", "rot270", "transverse"};
  return kNames[index];
}

int InverseOrientation(int index) {
  // Every orientation is its own inverse except the two quarter turns.
  if (index == 5) return 6;
  if (index == 6) return 5;
  return index;
}

void OrientGrid(const float* in, int side, const Orientation& orientation, float* out) {
  // Each row of out is a row of in (forwards or backwards) or, swapped, a column.
  const int along = orientation.swap ? side : 1;
  const int across = orientation.swap ? 1 : side;
  for (int y = 0; y < side; ++y) {
    const int fy = orientation.flipY ? side - 1 - y : y;
    const float* source = in + fy * across + (orientation.flipX ? (side - 1) * along : 0);
    const int step = orientation.flipX ? -along : along;
    for (int x = 0; x < side; ++x) out[y * side + x] = source[x * step];
  }
}

void OrientCoefficients(const float* in, int side, const Orientation& orientation, float* out) {
  // Reversing an axis negates its odd cosines; swapping the axes swaps the frequencies.
  for (int v = 0; v < side; ++v) {
    for (int u = 0; u < side; ++u) {
      float sign = 1;
      if (orientation.flipX && (u & 1)) sign = -sign;
      if (orientation.flipY && (v & 1)) sign = -sign;
      const int sourceU = orientation.swap ? v : u;
      const int sourceV = orientation.swap ? u : v;
      out[v * side + u] = sign * in[sourceV * side + sourceU];
    }
  }
}

}  // namespace gq
