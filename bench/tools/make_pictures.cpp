// Makes a picture set for demonstrations and benchmarks: COUNT different pictures
// (coloured shapes on gradients, 640 x 480, JPEG quality 90), and for every fifth of them
// two copies that a duplicate search should find: one resized to half as PNG and one
// re-encoded as JPEG of quality 60.
// Usage: make_pictures FOLDER COUNT [WIDTH HEIGHT] [--no-copies]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>

namespace {

cv::Mat MakePicture(int index, int width, int height) {
  std::mt19937 random(static_cast<unsigned>(index) * 7919u + 17u);
  cv::Mat picture(height, width, CV_8UC3);
  cv::Vec3b from(random() % 256, random() % 256, random() % 256);
  cv::Vec3b to(random() % 256, random() % 256, random() % 256);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double t = (static_cast<double>(x) / width + static_cast<double>(y) / height) / 2;
      for (int c = 0; c < 3; ++c) {
        picture.at<cv::Vec3b>(y, x)[c] = static_cast<uint8_t>(from[c] * (1 - t) + to[c] * t);
      }
    }
  }
  for (int shapes = 3 + random() % 6; shapes > 0; --shapes) {
    cv::Scalar colour(random() % 256, random() % 256, random() % 256);
    cv::Point centre(random() % width, random() % height);
    int size = 10 + random() % (std::min(width, height) / 3);
    if (random() % 2) {
      cv::circle(picture, centre, size, colour, cv::FILLED);
    } else {
      cv::rectangle(picture, centre, centre + cv::Point(size, size * 2 / 3), colour, cv::FILLED);
    }
  }
  return picture;
}

}  // namespace

int main(int argc, char** argv) {
  bool copies = true;
  if (argc > 3 && std::string(argv[argc - 1]) == "--no-copies") {
    copies = false;
    --argc;
  }
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: make_pictures FOLDER COUNT [WIDTH HEIGHT] [--no-copies]\n");
    return 2;
  }
  std::filesystem::path folder = argv[1];
  int count = std::atoi(argv[2]);
  int width = argc == 5 ? std::atoi(argv[3]) : 640;
  int height = argc == 5 ? std::atoi(argv[4]) : 480;
  if (count < 1 || width < 8 || height < 8) {
    std::fprintf(stderr, "make_pictures: COUNT must be at least 1 and sizes at least 8\n");
    return 2;
  }
  std::filesystem::create_directories(folder / "copies");
  int written = 0;
  for (int i = 0; i < count; ++i) {
    cv::Mat picture = MakePicture(i, width, height);
    char name[64];
    std::snprintf(name, sizeof name, "picture%04d", i);
    bool ok = cv::imwrite((folder / (std::string(name) + ".jpg")).string(), picture,
                          {cv::IMWRITE_JPEG_QUALITY, 90});
    written += ok;
    if (!copies || i % 5 != 0) continue;
    cv::Mat half;
    cv::resize(picture, half, cv::Size(width / 2, height / 2), 0, 0, cv::INTER_AREA);
    written += cv::imwrite((folder / "copies" / (std::string(name) + "_half.png")).string(), half);
    written += cv::imwrite((folder / "copies" / (std::string(name) + "_q60.jpg")).string(), picture,
                           {cv::IMWRITE_JPEG_QUALITY, 60});
  }
  std::printf("%d pictures written to %s\n", written, folder.c_str());
  return 0;
}
