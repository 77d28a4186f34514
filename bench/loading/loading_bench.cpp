// Speed of reading pictures: LoadPicture, MakeThumbnail and ComputeSignature per picture
// on generated 2 MP and 12 MP JPEGs (quality 90), each step alone and together, and
// decoding with and without reusing the picture buffers of earlier loads.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "loading/LoadPicture.h"
#include "signature/Signature.h"
#include "signature/Thumbnail.h"

namespace gq {
namespace {

// A photo-like picture: gradients, shapes of solid colour, blur and grain, so that the
// JPEG has a realistic size.
cv::Mat SyntheticPhoto(int width, int height) {
  cv::Mat picture(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      picture.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(60 + 120 * y / height),
                                              static_cast<uchar>(40 + 150 * x / width),
                                              static_cast<uchar>(200 - 100 * y / height));
  cv::RNG rng(7);
  for (int k = 0; k < 40; ++k) {
    const cv::Point centre(rng.uniform(0, width), rng.uniform(0, height));
    cv::circle(picture, centre, rng.uniform(width / 40, width / 8),
               cv::Scalar(rng.uniform(0, 255), rng.uniform(0, 255), rng.uniform(0, 255)),
               cv::FILLED);
  }
  cv::GaussianBlur(picture, picture, cv::Size(9, 9), 3);
  cv::Mat grain(height, width, CV_8UC3);
  cv::randn(grain, cv::Scalar::all(0), cv::Scalar::all(8));
  picture += grain;
  return picture;
}

// The generated JPEGs of this run, removed when the run ends.
std::map<std::pair<int, int>, std::string>& GeneratedFiles() {
  static std::map<std::pair<int, int>, std::string> files;
  return files;
}

// The generated JPEG of the given size, written once per run into the temporary folder.
const std::string& JpegFile(int width, int height) {
  std::string& path = GeneratedFiles()[{width, height}];
  if (path.empty()) {
    path = (std::filesystem::temp_directory_path() /
            ("gq_bench_" + std::to_string(width) + "x" + std::to_string(height) + ".jpg"))
               .string();
    cv::imwrite(path, SyntheticPhoto(width, height), {cv::IMWRITE_JPEG_QUALITY, 90});
  }
  return path;
}

// Arguments: width, height, buffer reuse (1) or fresh memory for every picture (0).
void BM_LoadPicture(benchmark::State& state) {
  const std::string& path =
      JpegFile(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  SetPictureBufferReuse(state.range(2) != 0);
  for (auto _ : state) {
    IplImage* image = LoadPicture(path.c_str(), 1);
    benchmark::DoNotOptimize(image);
    cvReleaseImage(&image);
  }
  SetPictureBufferReuse(true);
  state.SetItemsProcessed(state.iterations());
}

void BM_MakeThumbnailOfDecoded(benchmark::State& state) {
  const std::string& path =
      JpegFile(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  IplImage* image = LoadPicture(path.c_str(), 1);
  PackedImage thumb;
  for (auto _ : state) {
    MakeThumbnail(image->width, image->height, image->widthStep,
                  reinterpret_cast<const uint8_t*>(image->imageData), kThumbnailSide, &thumb);
    benchmark::DoNotOptimize(thumb.pixels.data());
  }
  cvReleaseImage(&image);
}

void BM_SignatureOfThumbnail(benchmark::State& state) {
  const std::string& path =
      JpegFile(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  IplImage* image = LoadPicture(path.c_str(), 1);
  PackedImage thumb;
  MakeThumbnail(image->width, image->height, image->widthStep,
                reinterpret_cast<const uint8_t*>(image->imageData), kThumbnailSide, &thumb);
  Signature signature{};
  for (auto _ : state) {
    ComputeSignature(thumb.width, thumb.height, thumb.pixels.data(), image->width, image->height,
                     signature.data());
    benchmark::DoNotOptimize(signature);
  }
  cvReleaseImage(&image);
}

// What the loader does per picture.
void BM_PicturePipeline(benchmark::State& state) {
  const std::string& path =
      JpegFile(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  PackedImage thumb;
  Signature signature{};
  for (auto _ : state) {
    IplImage* image = LoadPicture(path.c_str(), 1);
    MakeThumbnail(image->width, image->height, image->widthStep,
                  reinterpret_cast<const uint8_t*>(image->imageData), kThumbnailSide, &thumb);
    const int width = image->width, height = image->height;
    cvReleaseImage(&image);
    ComputeSignature(thumb.width, thumb.height, thumb.pixels.data(), width, height,
                     signature.data());
    benchmark::DoNotOptimize(signature);
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_LoadPicture)
    ->Args({1632, 1224, 1})
    ->Args({1632, 1224, 0})
    ->Args({4000, 3000, 1})
    ->Args({4000, 3000, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeThumbnailOfDecoded)
    ->Args({1632, 1224})
    ->Args({4000, 3000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignatureOfThumbnail)->Args({4000, 3000})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PicturePipeline)
    ->Args({1632, 1224})
    ->Args({4000, 3000})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace gq

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const auto& [size, path] : gq::GeneratedFiles()) std::filesystem::remove(path);
  return 0;
}
