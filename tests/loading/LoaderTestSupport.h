// Test helpers for load jobs: a window on the test thread with the real handlers of
// loading, a database, recorded status texts, and pictures written with OpenCV.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <functional>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <random>
#include <string>
#include <vector>

#include "db/DbTestSupport.h"
#include "frame/HeadlessHost.h"
#include "frame/StatusBar.h"
#include "loading/Loader.h"
#include "loading/LoadingHost.h"
#include "support/ScriptedMessageBox.h"

namespace gq::test {

// A picture file of the given size whose content follows from seed.
inline void WritePicture(const std::string& path, int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  cv::Mat picture(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>((x * 255) / width + seed),
                                              static_cast<uchar>((y * 255) / height),
                                              static_cast<uchar>(random() % 64 + seed * 13));
    }
  }
  ASSERT_TRUE(cv::imwrite(path, picture)) << path;
}

inline void SetFileTime(const std::string& path, time_t time) {
  utimbuf times{time, time};
  utime(path.c_str(), &times);
}

// Runs load jobs against a database on the test thread, as the main window does.
class LoadingBench {
 public:
  explicit LoadingBench(int workers)
      : m_Status([this](const std::string& text) { texts.push_back(text); }),
        m_Loading(db, m_Status) {
    m_Status.m_PauseOnError = false;
    m_Loading.Install(m_Host);
    m_Loading.onLoadingDone = [this](bool stopped) {
      lastStopped = stopped;
      ++jobsDone;
    };
    loader = std::make_unique<Loader>(std::make_shared<WindowSink>(m_Host.Target()), workers);
    loader->discardQueued = [this] { LoadingHost::DiscardQueuedHandOvers(m_Host.Window()); };
    db.Host().stopLoading = [this](int ms) { return loader->Stop(false, ms); };
  }
  ~LoadingBench() { loader.reset(); }

  // Handles messages until n jobs have ended.
  void RunUntilJobsDone(int n) {
    RunUntil([&] { return jobsDone >= n; });
  }
  // Handles messages until done() holds.
  void RunUntil(const std::function<bool()>& done) {
    Message message;
    while (!done() && GetMessage(&message)) DispatchMessage(message);
  }
  void Load(const std::string& path) {
    int before = jobsDone;
    loader->StartPathJob(path);
    RunUntilJobsDone(before + 1);
  }
  // Handles what is queued now (without waiting for more).
  void Pump() {
    Message message;
    HandleSentMessages();
    while (m_Host.Window().Peek(&message, 0, 0, true)) DispatchMessage(message);
  }
  std::vector<std::string> Paths() {
    std::vector<std::string> paths;
    for (ImageRecord* record : db.Records()) paths.push_back(record->m_Path);
    return paths;
  }
  size_t Count(const std::string& text) {
    size_t n = 0;
    for (const std::string& t : texts) n += t == text;
    return n;
  }
  HeadlessHost& Host() { return m_Host; }
  LoadingHost& Loading() { return m_Loading; }

  ScriptedMessageBox boxes;
  ImageRecordDB db;
  std::vector<std::string> texts;
  std::unique_ptr<Loader> loader;
  int jobsDone = 0;
  bool lastStopped = false;

 private:
  HeadlessHost m_Host;
  StatusBar m_Status;
  LoadingHost m_Loading;
};

}  // namespace gq::test
