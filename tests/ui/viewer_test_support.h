// Test helpers for the picture viewer: picture files written with OpenCV.
#pragma once

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

namespace gq::test {

// A gradient with a few shapes whose colours follow from seed.
inline void WriteViewerPicture(const std::string& path, int width, int height, int seed) {
  cv::Mat picture(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.at<cv::Vec3b>(y, x) =
          cv::Vec3b(static_cast<uchar>(x * 255 / width), static_cast<uchar>(y * 255 / height),
                    static_cast<uchar>(seed * 37));
    }
  }
  const int unit = std::min(width, height) / 8;
  cv::circle(picture, {width / 3, height / 2}, 2 * unit, cv::Scalar(40, 160, 250), cv::FILLED);
  cv::rectangle(picture, cv::Rect(width / 2, height / 4, 3 * unit, 2 * unit),
                cv::Scalar(200, 80, 30 + seed % 200), cv::FILLED);
  ASSERT_TRUE(cv::imwrite(path, picture)) << path;
}

}  // namespace gq::test
