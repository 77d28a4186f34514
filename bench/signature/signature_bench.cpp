// Speed of the signature subsystem: ComputeSignature on full-size thumbnails (photo-like
// and noise), the thumbnail of 2 MP and 12 MP pictures, and Distance over many signature
// pairs.
#include <benchmark/benchmark.h>

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

void BM_ComputeSignature96(benchmark::State& state) {
  const PackedImage thumb = SyntheticPhoto(96, 96, static_cast<unsigned>(state.range(0)));
  Signature signature{};
  for (auto _ : state) {
    ComputeSignature(96, 96, thumb.pixels.data(), 4000, 3000, signature.data());
    benchmark::DoNotOptimize(signature);
  }
}
BENCHMARK(BM_ComputeSignature96)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Random bytes: the region finder's hardest case, with thousands of small regions.
void BM_ComputeSignature96Noise(benchmark::State& state) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> byte(0, 255);
  PackedImage thumb;
  thumb.Allocate(96, 96);
  for (uint8_t& b : thumb.pixels) b = static_cast<uint8_t>(byte(random));
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
