// Timing of the Qt host and of loading with the window open, as a timed driver:
// 1. the latency of posted and sent messages from a worker thread to an idle Qt host
//    (median and 99th percentile, over 2,000 messages each);
// 2. the worst lateness of a 1 ms timer of the user-interface thread while 2,000
//    generated pictures load with the main window open;
// 3. the loading time of the same pictures with the window open against
//    `gqtool index` in a child process.
// Usage: bench_host [PICTURE_FOLDER] (default: 2,000 generated 1024 x 768 JPEGs in a
// temporary folder). Runs on Qt's offscreen platform unless QT_QPA_PLATFORM is set.
#include <stdlib.h>
#include <unistd.h>

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <thread>
#include <vector>

#include "app/ProgramHost.h"
#include "app/ProgramWindow.h"
#include "frame/Settings.h"
#include "platform/Process.h"
#include "ui/QtHost.h"

namespace gq {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kMessages = 2000;
constexpr int kPictures = 2000;
constexpr unsigned kMsgBenchSent = kMessageBase + 0x200;
constexpr unsigned kMsgBenchPosted = kMessageBase + 0x201;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p * (values.size() - 1))];
}

void WritePictures(const std::string& folder) {
  std::filesystem::create_directories(folder);
  cv::RNG rng(11);
  for (int i = 0; i < kPictures; ++i) {
    cv::Mat picture(768, 1024, CV_8UC3, cv::Scalar(rng.uniform(0, 255), 90, 160));
    for (int k = 0; k < 12; ++k) {
      cv::circle(
          picture, cv::Point(rng.uniform(0, 1024), rng.uniform(0, 768)), rng.uniform(20, 200),
          cv::Scalar(rng.uniform(0, 255), rng.uniform(0, 255), rng.uniform(0, 255)), cv::FILLED);
    }
    cv::imwrite(folder + "/p" + std::to_string(i) + ".jpg", picture);
  }
}

// Messages from a worker thread to the idle host: sent ones by their round trip, posted
// ones by the time from posting to handling. The worker waits a little between
// messages, so that each finds the loop idle.
void MessageLatency(QtHost& host) {
  std::vector<double> sent, posted;
  host.SetHandler(kMsgBenchSent, [](unsigned, uintptr_t, intptr_t) { return intptr_t{1}; });
  host.SetHandler(kMsgBenchPosted, [&posted](unsigned, uintptr_t, intptr_t at) {
    posted.push_back(Ms(Clock::now() - Clock::time_point(Clock::duration(at))));
    if (posted.size() == kMessages) PostQuitMessage(0);
    return intptr_t{0};
  });
  MessageTarget target = host.Target();
  std::thread worker([&] {
    for (int i = 0; i < kMessages; ++i) {
      Clock::time_point start = Clock::now();
      target.Send(kMsgBenchSent);
      sent.push_back(Ms(Clock::now() - start));
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    for (int i = 0; i < kMessages; ++i) {
      target.Post(kMsgBenchPosted, 0, Clock::now().time_since_epoch().count());
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
  });
  host.Run();
  worker.join();
  std::printf("sent message round trip:   median %.3f ms, 99%% %.3f ms\n", Percentile(sent, 0.5),
              Percentile(sent, 0.99));
  std::printf("posted message latency:    median %.3f ms, 99%% %.3f ms\n", Percentile(posted, 0.5),
              Percentile(posted, 0.99));
}

// Loads folder with the main window open; returns the seconds the load took.
double LoadWithWindow(QtHost& host, const std::string& folder, const std::string& work) {
  auto program = std::make_unique<ProgramHost>(host);
  auto window = OpenProgramWindow(*program, host, false);
  auto finish = program->LoadingSide().onLoadingDone;
  program->LoadingSide().onLoadingDone = [finish](bool stopped) {
    finish(stopped);
    PostQuitMessage(0);
  };
  double worstLateMs = 0;
  Clock::time_point last = Clock::now();
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    Clock::time_point now = Clock::now();
    worstLateMs = std::max(worstLateMs, Ms(now - last) - 1.0);
    last = now;
  });
  timer.start(1);
  ParsedCommand parsed;
  parsed.databasePath = work + "/window.gqdb";
  parsed.rest = "\"" + folder + "\"";
  Clock::time_point start = Clock::now();
  program->Start(parsed);
  host.Run();
  double seconds = Ms(Clock::now() - start) / 1000;
  timer.stop();
  std::printf("1 ms timer while loading:  worst lateness %.1f ms (%d pictures)\n", worstLateMs,
              program->Db().Count());
  program->ShutDown();
  program.reset();
  window.reset();
  return seconds;
}

double IndexWithTool(const std::string& folder, const std::string& work) {
  Clock::time_point start = Clock::now();
  ProcessResult result =
      RunProcess({GQ_GQTOOL_PATH, "index", work + "/tool.gqdb", folder, "--quiet"}, 600000);
  if (!result.exited || result.exitCode != 0) std::printf("gqtool index failed\n");
  return Ms(Clock::now() - start) / 1000;
}

}  // namespace
}  // namespace gq

int main(int argc, char** argv) {
  const std::string work =
      std::filesystem::temp_directory_path().string() + "/bench_host_" + std::to_string(getpid());
  std::filesystem::create_directories(work);
  setenv("GLIMMERQUORUM_CONFIG_DIR", work.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string folder = argc > 1 ? argv[1] : work + "/pictures";
  if (argc <= 1) gq::WritePictures(folder);
  gq::QtHost host;
  gq::MessageLatency(host);
  double window = gq::LoadWithWindow(host, folder, work);
  double tool = gq::IndexWithTool(folder, work);
  std::printf("loading with the window:   %.2f s; gqtool index: %.2f s (window / tool %.2f)\n",
              window, tool, window / tool);
  std::filesystem::remove_all(work);
  return 0;
}
