#include "edits/EditDescriptor.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace gq {
namespace {

constexpr float kCropSteps[2] = {0.04f, 0.115f};
constexpr int kMaxTaps = 8;

// For each of n output cells along an axis, the source pixels it covers and by how much.
struct AxisSpans {
  int first[kBaseSide * 4];
  int count[kBaseSide * 4];
  float weight[kBaseSide * 4][kMaxTaps];
};

// Spans that average [from, to) of a source axis into n cells; every cell covers at least
// one source pixel.
void MakeSpans(float from, float to, int sourceSide, int n, AxisSpans* spans) {
  const float step = (to - from) / n;
  for (int i = 0; i < n; ++i) {
    float start = from + i * step, end = start + step;
    if (end - start < 1) {  // widen to one pixel around the centre
      const float centre = (start + end) / 2;
      start = centre - 0.5f, end = centre + 0.5f;
    }
    start = std::clamp(start, 0.0f, sourceSide - 1.0f);
    end = std::clamp(end, start + 1.0f, static_cast<float>(sourceSide));
    const int first = static_cast<int>(start);
    const int last = std::min(sourceSide - 1,
                              std::min(first + kMaxTaps - 1, static_cast<int>(std::ceil(end)) - 1));
    float total = 0;
    for (int k = first; k <= last; ++k) {
      const float cover = std::min<float>(end, k + 1) - std::max<float>(start, k);
      spans->weight[i][k - first] = std::max(cover, 0.0f);
      total += spans->weight[i][k - first];
    }
    for (int k = first; k <= last; ++k) spans->weight[i][k - first] /= total;
    spans->first[i] = first;
    spans->count[i] = last - first + 1;
  }
}

// Averages the region [x0, x1) x [y0, y1) of a grey picture into an n x n grid, using
// `across` (height x n floats) for the rows' horizontal sums; only the rows the region
// reaches are summed.
template <typename Pixel>
void AreaSample(const Pixel* source, int width, int height, float x0, float x1, float y0, float y1,
                int n, float* across, float* grid) {
  AxisSpans columns, rows;
  MakeSpans(x0, x1, width, n, &columns);
  MakeSpans(y0, y1, height, n, &rows);
  const int firstRow = rows.first[0];
  int endRow = firstRow;
  for (int j = 0; j < n; ++j) endRow = std::max(endRow, rows.first[j] + rows.count[j]);
  for (int y = firstRow; y < endRow; ++y) {
    const Pixel* line = source + static_cast<size_t>(y) * width;
    for (int i = 0; i < n; ++i) {
      float sum = 0;
      for (int k = 0; k < columns.count[i]; ++k)
        sum += columns.weight[i][k] * static_cast<float>(line[columns.first[i] + k]);
      across[static_cast<size_t>(y) * n + i] = sum;
    }
  }
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      float sum = 0;
      for (int k = 0; k < rows.count[j]; ++k) {
        sum += rows.weight[j][k] * across[static_cast<size_t>(rows.first[j] + k) * n + i];
      }
      grid[j * n + i] = sum;
    }
  }
}

// The whole kBaseSide square averaged into kSampleSide square: each cell the mean of its
// 2 x 2 pixels, the same as AreaSample gives.
void WholeFrame(const uint8_t* base, float* grid) {
  static_assert(kBaseSide == 2 * kSampleSide);
  for (int j = 0; j < kSampleSide; ++j) {
    const uint8_t* upper = base + 2 * j * kBaseSide;
    const uint8_t* lower = upper + kBaseSide;
    for (int i = 0; i < kSampleSide; ++i) {
      const int sum = upper[2 * i] + upper[2 * i + 1] + lower[2 * i] + lower[2 * i + 1];
      grid[j * kSampleSide + i] = static_cast<float>(sum) / 4;
    }
  }
}

// cos(pi (2x + 1) u / (2 kSampleSide)) for u below kCoefficientSide.
struct CosineTable {
  CosineTable() {
    for (int u = 0; u < kCoefficientSide; ++u) {
      for (int x = 0; x < kSampleSide; ++x) {
        value[u][x] = static_cast<float>(std::cos(M_PI * (2 * x + 1) * u / (2.0 * kSampleSide)));
      }
    }
  }
  float value[kCoefficientSide][kSampleSide];
};

}  // namespace

bool Normalise(float* grid, int cells) {
  double sum = 0, squares = 0;
  for (int i = 0; i < cells; ++i) sum += grid[i];
  const double mean = sum / cells;
  for (int i = 0; i < cells; ++i) squares += (grid[i] - mean) * (grid[i] - mean);
  const double deviation = std::sqrt(squares / cells);
  if (deviation < 0.5) return false;  // under half a grey level: nothing to match
  for (int i = 0; i < cells; ++i) grid[i] = static_cast<float>((grid[i] - mean) / deviation);
  return true;
}

CropWindow WindowAt(int index) {
  if (index <= 0) return {};
  const int bits = index - 1;
  return {kCropSteps[bits & 1], kCropSteps[(bits >> 1) & 1], kCropSteps[(bits >> 2) & 1],
          kCropSteps[(bits >> 3) & 1]};
}

bool ComputeEditDescriptor(int width, int height, const uint8_t* bgr, EditDescriptor* descriptor) {
  *descriptor = EditDescriptor();
  if (width < 3 || height < 3) return false;
  const int stride = (3 * width + 3) & ~3;
  std::vector<float> grey(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* p = bgr + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width; ++x, p += 3) {
      grey[static_cast<size_t>(y) * width + x] = 0.114f * p[0] + 0.587f * p[1] + 0.299f * p[2];
    }
  }
  float base[kBaseSide * kBaseSide];
  std::vector<float> across(static_cast<size_t>(height) * kBaseSide);
  AreaSample(grey.data(), width, height, 0, width, 0, height, kBaseSide, across.data(), base);
  for (int i = 0; i < kBaseSide * kBaseSide; ++i) {
    descriptor->base[i] = static_cast<uint8_t>(std::clamp(std::lround(base[i]), 0L, 255L));
  }
  float grid[kSampleSide * kSampleSide], coefficients[kKeyLength];
  for (int w = 0; w < kWindowCount; ++w) {
    if (!SampleWindow(*descriptor, WindowAt(w), grid)) return true;  // stays flat
    WindowCoefficients(grid, coefficients);
    double norm = 0;
    for (float c : coefficients) norm += c * c;
    norm = std::sqrt(norm);
    if (norm < 1e-3) return true;
    for (int k = 0; k < kKeyLength; ++k) {
      descriptor->keys[w][k] = static_cast<int8_t>(std::lround(127 * coefficients[k] / norm));
    }
  }
  descriptor->flat = 0;
  return true;
}

bool SampleWindow(const EditDescriptor& descriptor, const CropWindow& window, float* grid) {
  if (window.left == 0 && window.right == 0 && window.top == 0 && window.bottom == 0) {
    WholeFrame(descriptor.base, grid);
    return Normalise(grid, kSampleSide * kSampleSide);
  }
  float across[kBaseSide * kSampleSide];
  AreaSample(descriptor.base, kBaseSide, kBaseSide, window.left * kBaseSide,
             (1 - window.right) * kBaseSide, window.top * kBaseSide,
             (1 - window.bottom) * kBaseSide, kSampleSide, across, grid);
  return Normalise(grid, kSampleSide * kSampleSide);
}

void WindowCoefficients(const float* grid, float* coefficients) {
  static const CosineTable table;
  const auto& cosine = table.value;
  float rows[kSampleSide][kCoefficientSide];  // per row y the horizontal sums for each u
  for (int y = 0; y < kSampleSide; ++y) {
    for (int u = 0; u < kCoefficientSide; ++u) {
      float sum = 0;
      for (int x = 0; x < kSampleSide; ++x) sum += grid[y * kSampleSide + x] * cosine[u][x];
      rows[y][u] = sum;
    }
  }
  for (int v = 0; v < kCoefficientSide; ++v) {
    for (int u = 0; u < kCoefficientSide; ++u) {
      if (u == 0 && v == 0) continue;
      float sum = 0;
      for (int y = 0; y < kSampleSide; ++y) sum += rows[y][u] * cosine[v][y];
      coefficients[v * kCoefficientSide + u - 1] = sum;
    }
  }
}

float Correlation(const float* a, const float* b) {
  float sum = 0;
  for (int i = 0; i < kSampleSide * kSampleSide; ++i) sum += a[i] * b[i];
  return sum / (kSampleSide * kSampleSide);
}

}  // namespace gq
