// Speed of the signature subsystem: ComputeSignature on 96 x 96 thumbnails (made from
// 2 MP and 12 MP pictures, photo-like, textured and random; and drawn at thumbnail size
// with grain, and noise), the thumbnail of 2 MP and 12 MP pictures, and Distance over many
// signature pairs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "signature/Criteria.h"
#include "signature/Signature.h"
#include "signature/Similarity.h"
#include "signature/Thumbnail.h"

namespace gq {
namespace {

// A photo-like picture: smooth colour gradients, a few solid shapes and mild noise.
PackedImage SyntheticPhoto(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> noise(-6, 6);
  PackedImage image;
  image.Allocate(width, height);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.row(y);
    for (int x = 0; x < width; ++x) {
      const int b = 60 + 120 * y / height, g = 40 + 150 * x / width, r = 200 - 100 * y / height;
      row[3 * x] = static_cast<uint8_t>(std::clamp(b + noise(random), 0, 255));
      row[3 * x + 1] = static_cast<uint8_t>(std::clamp(g + noise(random), 0, 255));
      row[3 * x + 2] = static_cast<uint8_t>(std::clamp(r + noise(random), 0, 255));
    }
  }
  std::uniform_int_distribution<int> byte(0, 255);
  for (int k = 0; k < 6; ++k) {
    const int x0 = byte(random) * width / 300, y0 = byte(random) * height / 300;
    const int x1 = std::min(width, x0 + width / 5), y1 = std::min(height, y0 + height / 6);
    const uint8_t b = byte(random), g = byte(random), r = byte(random);
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        image.row(y)[3 * x] = b;
        image.row(y)[3 * x + 1] = g;
        image.row(y)[3 * x + 2] = r;
      }
  }
  return image;
}

// Colour clouds: value noise over several octaves for each channel, so that texture
// survives shrinking to a thumbnail.
PackedImage Clouds(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> offset(-128, 127);
  std::vector<int> sum(static_cast<size_t>(width) * height * 3, 0);
  int amplitude = 128;
  for (int cell = std::max(width, height) / 2; cell >= 4 && amplitude > 0;
       cell /= 2, amplitude /= 2) {
    const int gridWidth = width / cell + 2, gridHeight = height / cell + 2;
    std::vector<int> grid(static_cast<size_t>(gridWidth) * gridHeight * 3);
    for (int& v : grid) v = offset(random);
    auto at = [&](int i, int j, int c) {
      return grid[(static_cast<size_t>(j) * gridWidth + i) * 3 + c];
    };
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const int gx = x / cell, gy = y / cell, fx = x % cell, fy = y % cell;
        for (int c = 0; c < 3; ++c) {
          const int top = at(gx, gy, c) * (cell - fx) + at(gx + 1, gy, c) * fx;
          const int bottom = at(gx, gy + 1, c) * (cell - fx) + at(gx + 1, gy + 1, c) * fx;
          sum[(static_cast<size_t>(y) * width + x) * 3 + c] +=
              (top * (cell - fy) + bottom * fy) / (cell * cell) * amplitude / 128;
        }
      }
  }
  PackedImage image;
  image.Allocate(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < 3 * width; ++x)
      image.row(y)[x] = static_cast<uint8_t>(
          std::clamp(128 + sum[static_cast<size_t>(y) * width * 3 + x], 0, 255));
  return image;
}

// A picture of random bytes: shrunk, it turns almost grey with faint colour noise at every
// pixel, as dark pictures taken at high sensitivity do; the region finder's hardest
// thumbnails.
PackedImage RandomBytes(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  PackedImage image;
  image.Allocate(width, height);
  for (uint8_t& b : image.pixels) b = static_cast<uint8_t>(byte(random));
  return image;
}

// ComputeSignature on the 96 x 96 thumbnail that MakeThumbnail makes of a square picture
// of about 2 MP (side 1414) or 12 MP (side 3464): photo-like (kind 0), clouds (1) or
// random bytes (2).
void BM_ComputeSignatureOfThumbnail(benchmark::State& state) {
  const int side = static_cast<int>(state.range(1));
  const PackedImage picture = state.range(0) == 0   ? SyntheticPhoto(side, side, 21)
                              : state.range(0) == 1 ? Clouds(side, side, 22)
                                                    : RandomBytes(side, side, 23);
  PackedImage thumb;
  MakeThumbnail(side, side, picture.stride(), picture.pixels.data(), kThumbnailSide, &thumb);
  Signature signature{};
  for (auto _ : state) {
    ComputeSignature(thumb.width, thumb.height, thumb.pixels.data(), side, side, signature.data());
    benchmark::DoNotOptimize(signature);
  }
}
BENCHMARK(BM_ComputeSignatureOfThumbnail)
    ->ArgNames({"kind", "side"})
    ->Args({0, 1414})
    ->Args({0, 3464})
    ->Args({1, 1414})
    ->Args({1, 3464})
    ->Args({2, 1414})
    ->Unit(benchmark::kMicrosecond);

// The thumbnail side itself: photo-like content with grain at every pixel, which no
// shrunk picture keeps (the hardest case short of noise).
void BM_ComputeSignature96(benchmark::State& state) {
  const PackedImage thumb = SyntheticPhoto(96, 96, static_cast<unsigned>(state.range(0)));
  Signature signature{};
  for (auto _ : state) {
    ComputeSignature(96, 96, thumb.pixels.data(), 4000, 3000, signature.data());
    benchmark::DoNotOptimize(signature);
  }
}
BENCHMARK(BM_ComputeSignature96)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Random bytes drawn at thumbnail size: thousands of small regions in every colour.
void BM_ComputeSignature96Noise(benchmark::State& state) {
  const PackedImage thumb = RandomBytes(96, 96, 11);
  Signature signature{};
  for (auto _ : state) {
    ComputeSignature(96, 96, thumb.pixels.data(), 4000, 3000, signature.data());
    benchmark::DoNotOptimize(signature);
  }
}
BENCHMARK(BM_ComputeSignature96Noise)->Unit(benchmark::kMicrosecond);

void BM_MakeThumbnail(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  const PackedImage picture = SyntheticPhoto(width, height, 3);
  PackedImage thumb;
  for (auto _ : state) {
    MakeThumbnail(width, height, picture.stride(), picture.pixels.data(), kThumbnailSide, &thumb);
    benchmark::DoNotOptimize(thumb.pixels.data());
  }
}
BENCHMARK(BM_MakeThumbnail)->Args({1632, 1224})->Args({4000, 3000})->Unit(benchmark::kMillisecond);

void BM_Distance(benchmark::State& state) {
  constexpr int kCount = 4096;
  std::mt19937 random(5);
  std::uniform_int_distribution<int> value(-32767, 32767);
  std::vector<Signature> signatures(kCount);
  for (Signature& s : signatures)
    for (int16_t& v : s) v = static_cast<int16_t>(value(random));
  const WeightVector weights = BuildWeights(DefaultCriteria());
  const Signature query = signatures[0];
  double sum = 0;
  for (auto _ : state) {
    for (const Signature& s : signatures) sum += Distance(query, s, weights);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_Distance);

}  // namespace
}  // namespace gq

BENCHMARK_MAIN();
