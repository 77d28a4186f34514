// What the edited-copy search keeps of a thumbnail: a small grey picture of the whole
// frame (stretched to a square, so that quarter turns stay squares) and, for the whole
// frame and a set of crop windows, the lowest cosine coefficients of the window's
// brightness- and contrast-normalised grey picture. The coefficients are the lookup
// keys; the grey picture confirms a candidate by correlation. Pure functions, safe on
// any thread.
#pragma once

#include <cstdint>

namespace gq {

inline constexpr int kBaseSide = 32;        // the stored grey picture is kBaseSide square
inline constexpr int kSampleSide = 16;      // windows are compared at this size
inline constexpr int kCoefficientSide = 4;  // coefficients c(u, v) with u, v below this
inline constexpr int kKeyLength = kCoefficientSide * kCoefficientSide - 1;  // without c(0, 0)
inline constexpr int kWindowCount = 17;  // the whole frame and 16 crop windows

// The share of the frame cut off at each side.
struct CropWindow {
  float left = 0, right = 0, top = 0, bottom = 0;
};

// Window 0 is the whole frame; the others cut each side by one of two amounts, so a
// copy cropped by up to about 15 % per side lies near one of them.
CropWindow WindowAt(int index);

struct EditDescriptor {
  uint8_t base[kBaseSide * kBaseSide] = {};  // grey, row by row
  // Per window the coefficients without c(0, 0) as a unit vector times 127, index
  // v * kCoefficientSide + u - 1; the last byte is padding.
  int8_t keys[kWindowCount][kKeyLength + 1] = {};
  uint8_t flat = 1;  // 1 when the picture is one flat tone (such a picture matches nothing)
};

// The descriptor of a packed BGR picture (rows padded to 4 bytes). False when a side is
// below 3 pixels.
bool ComputeEditDescriptor(int width, int height, const uint8_t* bgr, EditDescriptor* descriptor);

// The window of the stored grey picture, kSampleSide square, with mean 0 and standard
// deviation 1. False when it is flat.
bool SampleWindow(const EditDescriptor& descriptor, const CropWindow& window, float* grid);

// Moves a grid of `cells` values to mean 0 and standard deviation 1; false when it is
// flat (a standard deviation below half a grey level).
bool Normalise(float* grid, int cells);

// The coefficients without c(0, 0) of a kSampleSide grid (index as in the keys).
void WindowCoefficients(const float* grid, float* coefficients);

// The mean product of two normalised grids of kSampleSide square: 1 for equal grids.
float Correlation(const float* a, const float* b);

}  // namespace gq
