// Loading throughput: pictures per second for a folder of generated JPEGs with 1 and
// with 2 decoding workers, and the user-interface thread's time per hand-over (adding
// the record to the database). Usage: bench_index FOLDER [COUNT [WIDTH HEIGHT]]
// The pictures are generated into FOLDER once (quality 90) and reused by later runs.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>

#include "db/ImageRecordDB.h"
#include "frame/HeadlessHost.h"
#include "frame/Messages.h"
#include "frame/StatusBar.h"
#include "loading/Loader.h"
#include "loading/LoadingHost.h"
#include "platform/MessageBox.h"

namespace gq {
namespace {

using Clock = std::chrono::steady_clock;

void Generate(const std::string& folder, int count, int width, int height) {
  mkdir(folder.c_str(), 0755);
  std::mt19937 random(1);
  cv::Mat picture(height, width, CV_8UC3);
  for (int i = 0; i < count; ++i) {
    std::string path = folder + "/p" + std::to_string(i) + ".jpg";
    struct stat info;
    if (stat(path.c_str(), &info) == 0) continue;
    cv::randu(picture, cv::Scalar::all(0), cv::Scalar::all(64));
    cv::rectangle(picture, cv::Point(i % width, 0), cv::Point(width - 1, height / 2),
                  cv::Scalar(random() % 256, random() % 256, random() % 256), cv::FILLED);
    cv::imwrite(path, picture, {cv::IMWRITE_JPEG_QUALITY, 90});
  }
}

struct Result {
  double picturesPerSecond = 0;
  double handOverMicroseconds = 0;
  int pictures = 0;
};

Result LoadOnce(const std::string& folder, int workers) {
  HeadlessHost host;
  ImageRecordDB db;
  StatusBar status([](const std::string&) {});
  status.m_PauseOnError = false;
  LoadingHost loading(db, status);
  loading.Install(host);
  double handOverSeconds = 0;
  host.SetHandler(MsgRecordLoaded, [&](unsigned, uintptr_t, intptr_t record) -> intptr_t {
    auto start = Clock::now();
    intptr_t taken = loading.OnRecordLoaded(record);
    handOverSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    return taken;
  });
  bool done = false;
  loading.onLoadingDone = [&](bool) { done = true; };
  auto loader = std::make_unique<Loader>(std::make_shared<WindowSink>(host.Target()), workers);
  auto start = Clock::now();
  loader->StartPathJob(folder);
  Message message;
  while (!done && GetMessage(&message)) DispatchMessage(message);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  loader.reset();
  Result result;
  result.pictures = db.Count();
  result.picturesPerSecond = result.pictures / seconds;
  result.handOverMicroseconds = result.pictures ? handOverSeconds * 1e6 / result.pictures : 0;
  return result;
}

}  // namespace
}  // namespace gq

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_index FOLDER [COUNT [WIDTH HEIGHT]]\n");
    return 2;
  }
  std::string folder = argv[1];
  int count = argc > 2 ? std::atoi(argv[2]) : 500;
  int width = argc > 4 ? std::atoi(argv[3]) : 1632;
  int height = argc > 4 ? std::atoi(argv[4]) : 1224;  // 2 MP
  gq::SetMessageBoxBackend(
      [](const gq::MessageBoxRequest& r) { return gq::DefaultButtonOf(r.flags); });
  gq::Generate(folder, count, width, height);
  double oneWorker = 0;
  for (int workers : {1, 2}) {
    gq::Result result = gq::LoadOnce(folder, workers);
    if (workers == 1) oneWorker = result.picturesPerSecond;
    std::printf(
        "%d worker%s: %d pictures, %.1f pictures/s, %.1f us per hand-over on the UI thread\n",
        workers, workers > 1 ? "s" : "", result.pictures, result.picturesPerSecond,
        result.handOverMicroseconds);
  }
  return oneWorker > 0 ? 0 : 1;
}
