// The channel between two starts: blocks reach the window whole whatever their size and
// however long the runtime folder's path, and stopping the channel under a stream of blocks neither
// deadlocks nor drops one that a sender was told was taken.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/InstanceChannel.h"

namespace gq {
namespace {

std::string ClassName(const std::string& what) {
  return "GlimmerQuorumAppClass_channel" + std::to_string(getpid()) + "_" + what;
}

// A main window owned by the test thread that records the blocks it takes.
struct RecordingWindow {
  MessageWindow window{[this](unsigned message, uintptr_t, intptr_t lParam) -> intptr_t {
    if (message != kMsgCopyData) return 0;
    blocks.push_back(reinterpret_cast<const CopyData*>(lParam)->data);
    return 1;
  }};
  std::vector<std::string> blocks;
};

// Sends from another thread while the test thread handles what is sent to it.
int SendHandlingSent(const std::string& className, const std::string& data) {
  auto result = std::async(std::launch::async, [&] { return SendCopyData(className, 0, 7, data); });
  WaitHandlingSent(
      [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
      std::chrono::minutes(5));
  return result.get();
}

TEST(InstanceChannel, BlocksOfAnySizeArriveWholeAlsoUnderALongRuntimeFolder) {
  std::string saved = getenv("XDG_RUNTIME_DIR") ? getenv("XDG_RUNTIME_DIR") : "";
  std::string longRuntime = ::testing::TempDir() + "/" + std::string(110, 'r');
  mkdir(longRuntime.c_str(), 0700);
  for (const std::string& runtime : {saved, longRuntime}) {
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    RecordingWindow main;
    InstanceChannelServer channel;
    ASSERT_TRUE(channel.Start(ClassName("size"), main.window.Target())) << runtime;
    for (size_t size : {size_t{1}, (size_t{1} << 20) + 1, size_t{5} << 20}) {
      std::string data(size, '\0');
      for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>('a' + i % 23);
      EXPECT_EQ(SendHandlingSent(ClassName("size"), data), 1) << size;
      EXPECT_TRUE(!main.blocks.empty() && main.blocks.back() == data) << size;
    }
  }
  setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

TEST(InstanceChannel, StoppingUnderAStreamOfBlocksNeitherDeadlocksNorLosesATakenOne) {
  RecordingWindow main;
  std::mutex mutex;
  std::condition_variable arrival;
  bool arrived = false;  // guarded by mutex
  SetArrivalCallback([&] {
    std::lock_guard<std::mutex> lock(mutex);
    arrived = true;
    arrival.notify_all();
  });
  InstanceChannelServer channel;
  ASSERT_TRUE(channel.Start(ClassName("stop"), main.window.Target()));
  std::atomic<bool> stopped{false};
  std::atomic<int> taken{0};
  std::vector<std::thread> senders;
  for (int i = 0; i < 4; ++i) {
    senders.emplace_back([&] {
      while (!stopped) {
        if (SendCopyData(ClassName("stop"), 0, 7, "x") == 1) ++taken;
      }
    });
  }
  // A block now waits for this thread, which stops the channel without handling it first.
  {
    std::unique_lock<std::mutex> lock(mutex);
    arrival.wait(lock, [&] { return arrived; });
  }
  channel.Stop();
  stopped = true;
  for (std::thread& sender : senders) sender.join();
  SetArrivalCallback(nullptr);
  HandleSentMessages();
  EXPECT_GE(main.blocks.size(), 1u);
  EXPECT_EQ(static_cast<size_t>(taken.load()), main.blocks.size());
}

}  // namespace
}  // namespace gq
