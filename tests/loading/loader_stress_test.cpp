// Stop and pause races: 200 runs start a load of two thousand small pictures and stop
// or pause and resume it at random moments. Afterwards every file is in the database
// at most once, every record is complete, and no thumbnail is left counted.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>

#include "loading/LoaderTestSupport.h"

namespace gq {
namespace {

class LoaderStressTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_Folder = new std::string(test::FreshFolder("loader_stress"));
    for (int i = 0; i < 2000; ++i) {
      test::WritePicture(*s_Folder + "/s" + std::to_string(i) + ".bmp", 16, 12, i);
    }
  }
  static void TearDownTestSuite() { delete s_Folder; }
  static std::string* s_Folder;
};

std::string* LoaderStressTest::s_Folder = nullptr;

void Wait(int milliseconds) {
  WaitHandlingSent([] { return false; }, std::chrono::milliseconds(milliseconds));
}

TEST_F(LoaderStressTest, StopAndPauseAtRandomMoments) {
  unsigned seed = 20261207;
  std::mt19937 random(seed);
  int32_t thumbnailsBefore = m_NrThumbsLoaded;
  int stoppedRuns = 0;
  for (int run = 0; run < 200; ++run) {
    {
      test::LoadingBench bench(1 + run % 3);
      bench.loader->StartPathJob(*s_Folder);
      Wait(static_cast<int>(random() % 120));
      if (random() % 3 == 0) {
        bench.loader->SetPause(true);
        Wait(static_cast<int>(random() % 40));
        bench.loader->SetPause(false);
        Wait(static_cast<int>(random() % 40));
      }
      ASSERT_TRUE(bench.loader->Stop(false)) << "seed " << seed << " run " << run;
      int count = bench.db.Count();
      bench.RunUntilJobsDone(1);
      stoppedRuns += bench.lastStopped;
      ASSERT_EQ(bench.db.Count(), count) << "a record arrived after the stop, run " << run;
      ASSERT_EQ(bench.Loading().m_Added, count);
      std::set<std::string> paths;
      for (ImageRecord* record : bench.db.Records()) {
        ASSERT_TRUE(paths.insert(record->m_Path).second) << record->m_Path;
        ASSERT_EQ(record->m_PictureWidth, 16);
        ASSERT_EQ(record->m_PictureHeight, 12);
        ASSERT_NE(record->m_ThumbPixels, nullptr);
        ASSERT_EQ(record->m_ThumbWidth, 16);
      }
      ASSERT_EQ(static_cast<int>(bench.db.TreeByPath().count), count);
    }
    ASSERT_EQ(m_NrThumbsLoaded, thumbnailsBefore) << "run " << run;
    ASSERT_EQ(g_LoaderState.activeLoaders, 0);
    ASSERT_EQ(g_LoaderState.activeCounters, 0);
  }
  EXPECT_GT(stoppedRuns, 150);
}

}  // namespace
}  // namespace gq
