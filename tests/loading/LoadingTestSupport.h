// Shared helpers of the loading tests: a private temporary folder (also set as TMPDIR, so
// the import filter's folders land in it), a message-box recorder, picture files written
// with OpenCV and with ImageMagick's convert.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "loading/OpenCvHighGui/opencv_stubs.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"

namespace gq::testing {

inline constexpr const char* kConvert = "/usr/bin/convert";

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "gqpicXXXXXX").string();
    m_path = mkdtemp(pattern.data());
    m_tmp = m_path / "tmp";
    std::filesystem::create_directory(m_tmp);
    const char* old = getenv("TMPDIR");
    m_oldTmp = old ? old : "";
    m_hadTmp = old != nullptr;
    setenv("TMPDIR", m_tmp.c_str(), 1);
  }
  ~ScratchFolder() {
    if (m_hadTmp)
      setenv("TMPDIR", m_oldTmp.c_str(), 1);
    else
      unsetenv("TMPDIR");
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  std::string File(const std::string& name) const { return (m_path / name).string(); }
  // What the import filter left behind in the temporary directory.
  size_t LeftInTmp() const {
    size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(m_tmp);
         it != std::filesystem::directory_iterator(); ++it)
      ++n;
    return n;
  }

 private:
  std::filesystem::path m_path, m_tmp;
  std::string m_oldTmp;
  bool m_hadTmp = false;
};

// Records every message box instead of showing it.
class BoxRecorder {
 public:
  BoxRecorder() {
    m_old = SetMessageBoxBackend([this](const MessageBoxRequest& r) {
      boxes.push_back(r);
      return IDOK;
    });
    cvGetErrStatus();
  }
  ~BoxRecorder() { SetMessageBoxBackend(m_old); }
  std::vector<MessageBoxRequest> boxes;

 private:
  MessageBoxBackend m_old;
};

// A colour test picture: a horizontal gradient in red, vertical in green, blue constant,
// with a dark square in the top-left quarter so orientation shows.
inline cv::Mat TestPicture(int width, int height) {
  cv::Mat m(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool mark = x < width / 4 && y < height / 4;
      m.at<cv::Vec3b>(y, x) = mark ? cv::Vec3b(0, 0, 0)
                                   : cv::Vec3b(90, static_cast<uchar>(255 * y / height),
                                               static_cast<uchar>(255 * x / width));
    }
  return m;
}

inline bool Convert(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {kConvert};
  argv.insert(argv.end(), args.begin(), args.end());
  const ProcessResult r = RunProcess(argv, 60000);
  return r.exited && r.exitCode == 0;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The largest channel difference between an image of the layer and a picture.
inline int MaxDifference(const IplImage* image, const cv::Mat& expected) {
  const cv::Mat actual(image->height, image->width, CV_8UC(image->nChannels), image->imageData,
                       image->widthStep);
  if (actual.size() != expected.size() || actual.type() != expected.type()) return 1000;
  cv::Mat difference;
  cv::absdiff(actual, expected, difference);
  double largest = 0;
  cv::minMaxLoc(difference.reshape(1), nullptr, &largest);
  return static_cast<int>(largest);
}

}  // namespace gq::testing
