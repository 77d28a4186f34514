#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <vector>

#include "ui/ViewerDecoder.h"
#include "viewer_test_support.h"

namespace gq {
namespace {

// A decoder whose deliveries are recorded; Await waits for the one of a path.
class DecoderRun {
 public:
  DecoderRun()
      : decoder([this](ViewerPicture picture) {
          std::lock_guard<std::mutex> lock(m_Mutex);
          delivered.push_back(std::move(picture));
          m_Changed.notify_all();
        }) {}
  ViewerPicture Await(const std::string& path, size_t after) {
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Changed.wait(lock, [&] { return delivered.size() > after && delivered.back().path == path; });
    return delivered.back();
  }
  std::vector<ViewerPicture> delivered;  // guarded by m_Mutex
  ViewerDecoder decoder;

 private:
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
};

TEST(ViewerDecoder, BurstDecodesOnlyAHandfulAndEndsOnTheNewest) {
  QTemporaryDir folder;
  const std::string first = folder.filePath("p0.jpg").toStdString();
  test::WriteViewerPicture(first, 1600, 1200, 1);
  std::vector<std::string> paths{first};
  for (int i = 1; i < 200; ++i) {
    paths.push_back(folder.filePath(QString("p%1.jpg").arg(i)).toStdString());
    std::filesystem::copy_file(first, paths.back());
  }
  DecoderRun run;
  for (const std::string& path : paths) run.decoder.Request({path, 800, 600, true, false});
  const ViewerPicture last = run.Await(paths.back(), 0);
  EXPECT_LE(run.decoder.DecodeCount(), 5);
  EXPECT_EQ(last.size, QSize(1600, 1200));
  EXPECT_EQ(last.scaled.size(), QSize(800, 600));
}

TEST(ViewerDecoder, CachedPictureIsOnlyScaledAgainUnlessReset) {
  QTemporaryDir folder;
  const std::string path = folder.filePath("a.png").toStdString();
  test::WriteViewerPicture(path, 400, 300, 1);
  DecoderRun run;
  run.decoder.Request({path, 800, 600, false, false});
  EXPECT_EQ(run.Await(path, 0).scaled.size(), QSize(800, 600));
  run.decoder.Request({path, 800, 600, true, false});
  EXPECT_EQ(run.Await(path, 1).scaled.size(), QSize(400, 300));
  run.decoder.Request({path, 200, 600, false, false});
  EXPECT_EQ(run.Await(path, 2).scaled.size(), QSize(200, 150));
  EXPECT_EQ(run.decoder.DecodeCount(), 1);

  run.decoder.Request({path, 200, 600, false, true});
  run.Await(path, 3);
  EXPECT_EQ(run.decoder.DecodeCount(), 2);
}

}  // namespace
}  // namespace gq
