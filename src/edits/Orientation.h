// The eight orientations of a picture: the identity, the two mirrors, the three
// rotations and the two diagonal flips. An orientation o maps a picture P to the picture
// whose pixel (x, y) is P's pixel at (X, Y): first x and y are reversed as flipX and
// flipY say, then swapped when swap is set. Rotations turn clockwise. Pure functions,
// safe on any thread.
#pragma once

#include <array>
#include <cstdint>

namespace gq {

struct Orientation {
  bool swap = false;
  bool flipX = false;
  bool flipY = false;
};

inline constexpr int kOrientationCount = 8;

// The orientations in a fixed order; index 0 is the identity.
const std::array<Orientation, kOrientationCount>& Orientations();

// "identity", "mirror", "flip", "rot180", "transpose", "rot90", "rot270", "transverse".
const char* OrientationName(int index);

// The index of the orientation that undoes the one at index.
int InverseOrientation(int index);

// The square grid in (side x side floats) turned by the orientation into out.
void OrientGrid(const float* in, int side, const Orientation& orientation, float* out);

// The coefficients c(u, v), u and v below side, of a cosine transform of a square grid
// (index v * side + u, u the horizontal frequency), changed into those of the grid
// turned by the orientation.
void OrientCoefficients(const float* in, int side, const Orientation& orientation, float* out);

}  // namespace gq
