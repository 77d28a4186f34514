#include "edits/WindowSampler.h"

#include <algorithm>
#include <cmath>

namespace gq {
namespace {

constexpr int kCells = kSampleSide * kSampleSide;
constexpr int kEdges = kSampleSide + 1;

// Where the cell edges of [from, to) fall between the pixels of a kBaseSide axis: the
// pixel before each edge and how far into it the edge lies.
void EdgesOf(float from, float to, int* pixel, double* part) {
  const double step = (static_cast<double>(to) - from) / kSampleSide;
  for (int e = 0; e < kEdges; ++e) {
    const double at = std::clamp(from + e * step, 0.0, static_cast<double>(kBaseSide));
    pixel[e] = std::min(static_cast<int>(at), kBaseSide - 1);
    part[e] = at - pixel[e];
  }
}

}  // namespace

void WindowSampler::Reset(const EditDescriptor& picture) {
  m_Picture = &picture;
  for (int y = 0; y < kBaseSide; ++y) {
    double row = 0;
    for (int x = 0; x < kBaseSide; ++x) {
      row += picture.base[y * kBaseSide + x];
      m_Sums[y + 1][x + 1] = m_Sums[y][x + 1] + row;
    }
  }
}

bool WindowSampler::Cells(const CropWindow& window, float* cells) const {
  const float x0 = window.left * kBaseSide, x1 = (1 - window.right) * kBaseSide;
  const float y0 = window.top * kBaseSide, y1 = (1 - window.bottom) * kBaseSide;
  if (x0 < 0 || y0 < 0 || x1 - x0 < kSampleSide || y1 - y0 < kSampleSide) return false;
  int columns[kEdges], rows[kEdges];
  double across[kEdges], down[kEdges];
  EdgesOf(x0, x1, columns, across);
  EdgesOf(y0, y1, rows, down);
  // corner[j][i]: the grey above and left of the edges i and j, between whole pixels.
  double corner[kEdges][kEdges];
  for (int j = 0; j < kEdges; ++j) {
    const double* upper = m_Sums[rows[j]];
    const double* lower = m_Sums[rows[j] + 1];
    double line[kSide];  // the sums at the edge's height, between whole columns
    for (int x = columns[0]; x <= columns[kEdges - 1] + 1; ++x) {
      line[x] = upper[x] + down[j] * (lower[x] - upper[x]);
    }
    for (int i = 0; i < kEdges; ++i) {
      const int c = columns[i];
      corner[j][i] = line[c] + across[i] * (line[c + 1] - line[c]);
    }
  }
  const double perArea = kCells / ((static_cast<double>(x1) - x0) * (static_cast<double>(y1) - y0));
  for (int j = 0; j < kSampleSide; ++j) {
    for (int i = 0; i < kSampleSide; ++i) {
      const double sum = corner[j + 1][i + 1] - corner[j][i + 1] - corner[j + 1][i] + corner[j][i];
      cells[j * kSampleSide + i] = static_cast<float>(sum * perArea);
    }
  }
  return true;
}

bool WindowSampler::Sample(const CropWindow& window, float* grid) const {
  if (!Cells(window, grid)) return SampleWindow(*m_Picture, window, grid);
  return Normalise(grid, kCells);
}

float WindowSampler::Correlate(const CropWindow& window, const float* target) const {
  float cells[kCells];
  if (!Cells(window, cells)) return Sample(window, cells) ? Correlation(cells, target) : -1;
  constexpr int kLanes = 4;  // independent sums, so that the additions overlap
  double sums[kLanes] = {}, squareSums[kLanes] = {}, products[kLanes] = {}, targetSums[kLanes] = {};
  for (int i = 0; i < kCells; i += kLanes) {
    for (int lane = 0; lane < kLanes; ++lane) {
      const double cell = cells[i + lane];
      sums[lane] += cell;
      squareSums[lane] += cell * cell;
      products[lane] += cell * target[i + lane];
      targetSums[lane] += target[i + lane];
    }
  }
  double sum = 0, squares = 0, product = 0, targetSum = 0;
  for (int lane = 0; lane < kLanes; ++lane) {
    sum += sums[lane], squares += squareSums[lane];
    product += products[lane], targetSum += targetSums[lane];
  }
  const double mean = sum / kCells;
  const double variance = squares / kCells - mean * mean;
  if (variance < 0.25) return -1;
  return static_cast<float>((product - mean * targetSum) / (kCells * std::sqrt(variance)));
}

}  // namespace gq
