#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/MessageWindow.h"

namespace gq {
namespace {

constexpr unsigned kPing = kMessageBase + 1;
constexpr unsigned kPosted = kMessageBase + 2;
constexpr unsigned kQuit = kMessageBase + 3;

TEST(MessageWindow, SendFromOwnerCallsHandlerDirectly) {
  int calls = 0;
  MessageWindow window([&](unsigned message, uintptr_t wParam, intptr_t lParam) -> intptr_t {
    ++calls;
    return message == kPing ? static_cast<intptr_t>(wParam) + lParam : 0;
  });
  EXPECT_TRUE(window.IsOwnerThread());
  EXPECT_EQ(window.Send(kPing, 40, 2), 42);
  EXPECT_EQ(calls, 1);
}

TEST(MessageWindow, SendFromOtherThreadWaitsForTheOwnersResult) {
  MessageWindow window([](unsigned, uintptr_t wParam, intptr_t) -> intptr_t {
    return static_cast<intptr_t>(wParam * 2);
  });
  MessageTarget target = window.Target();
  std::atomic<intptr_t> result{0};
  std::thread sender([&] {
    result = target.Send(kPing, 21);
    target.Post(kQuit);
  });
  Message message;
  ASSERT_TRUE(GetMessage(&message));
  EXPECT_EQ(message.message, kQuit);
  EXPECT_EQ(result.load(), 42);
  sender.join();
}

TEST(MessageWindow, SendToAGoneWindowReturnsZeroAtOnce) {
  MessageTarget target;
  {
    MessageWindow window([](unsigned, uintptr_t, intptr_t) -> intptr_t { return 7; });
    target = window.Target();
    EXPECT_TRUE(target.Alive());
  }
  EXPECT_FALSE(target.Alive());
  std::thread sender([&] {
    EXPECT_EQ(target.Send(kPing), 0);
    EXPECT_FALSE(target.Post(kPing));
  });
  sender.join();
}

TEST(MessageWindow, PendingSendsGetZeroWhenTheWindowIsDestroyed) {
  auto window =
      std::make_unique<MessageWindow>([](unsigned, uintptr_t, intptr_t) -> intptr_t { return 5; });
  MessageTarget target = window->Target();
  std::atomic<bool> started{false};
  std::atomic<intptr_t> result{-1};
  std::thread sender([&] {
    started = true;
    result = target.Send(kPing);
  });
  while (!started) std::this_thread::yield();
  // Let the send reach the queue, then destroy the window without handling it.
  WaitHandlingSent([] { return false; }, std::chrono::milliseconds(0));
  window.reset();
  sender.join();
  EXPECT_TRUE(result == 0 || result == 5);
}

TEST(MessageWindow, PeekAndRemoveByRangeKeepOtherMessagesInOrder) {
  MessageWindow window([](unsigned, uintptr_t, intptr_t) -> intptr_t { return 0; });
  for (uintptr_t i = 0; i < 6; ++i) window.Post(i % 2 ? kPosted : kPing, i);
  Message message;
  ASSERT_TRUE(window.Peek(&message, kPosted, kPosted, false));
  EXPECT_EQ(message.wParam, 1u);
  int removed = 0;
  while (window.Peek(&message, kPosted, kPosted, true)) ++removed;
  EXPECT_EQ(removed, 3);
  std::vector<uintptr_t> left;
  while (window.Peek(&message, 0, 0, true)) left.push_back(message.wParam);
  EXPECT_EQ(left, (std::vector<uintptr_t>{0, 2, 4}));
}

TEST(MessageWindow, TwoThreadsSendingToEachOtherDoNotDeadlock) {
  // The worker owns a window and, while handling a send from main, sends back to main.
  std::unique_ptr<MessageWindow> mainWindow = std::make_unique<MessageWindow>(
      [](unsigned, uintptr_t wParam, intptr_t) -> intptr_t { return wParam + 1; });
  MessageTarget mainTarget = mainWindow->Target();
  std::atomic<bool> ready{false};
  MessageTarget workerTarget;
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    MessageWindow own([&](unsigned, uintptr_t wParam, intptr_t) -> intptr_t {
      return mainTarget.Send(kPing, wParam) * 10;
    });
    workerTarget = own.Target();
    ready = true;
    WaitHandlingSent([&] { return stop.load(); }, std::chrono::seconds(30));
  });
  while (!ready) std::this_thread::yield();
  EXPECT_EQ(workerTarget.Send(kPing, 4), 50);
  stop = true;
  worker.join();
}

TEST(MessageWindow, QuitEndsTheLoopAfterEarlierPostedMessages) {
  std::vector<uintptr_t> seen;
  MessageWindow window([&](unsigned, uintptr_t wParam, intptr_t) -> intptr_t {
    seen.push_back(wParam);
    return 0;
  });
  window.Post(kPosted, 1);
  window.Post(kPosted, 2);
  PostQuitMessage(3);
  EXPECT_EQ(RunMessageLoop(), 3);
  EXPECT_EQ(seen, (std::vector<uintptr_t>{1, 2}));
}

// Four threads send and post 100,000 messages in all to an owner that also runs
// nested waits; every message arrives once, in order per sender.
TEST(MessageWindow, StressNoLossNoDuplicateNoReorderPerSender) {
  constexpr int kSenders = 4;
  constexpr int kPerSender = 25000;
  std::vector<std::vector<int>> received(kSenders);
  std::atomic<int> finished{0};
  std::atomic<int> nestedWaits{0};
  MessageWindow* self = nullptr;
  MessageWindow window([&](unsigned message, uintptr_t wParam, intptr_t lParam) -> intptr_t {
    received[wParam].push_back(static_cast<int>(lParam));
    // Now and then the owner waits nested, handling sends but not posts.
    if (message == kPing && lParam % 997 == 0) {
      ++nestedWaits;
      WaitHandlingSent([] { return false; }, std::chrono::milliseconds(1));
    }
    (void)self;
    return lParam;
  });
  self = &window;
  MessageTarget target = window.Target();
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([&, s] {
      for (int i = 0; i < kPerSender; ++i) {
        // Sends and posts of one sender stay ordered relative to each other only
        // within their kind, so each sender uses one kind per half.
        if (s % 2 == 0) {
          EXPECT_EQ(target.Send(kPing, s, i), i);
        } else {
          target.Post(kPosted, s, i);
        }
      }
      if (++finished == kSenders) target.Post(kQuit);
    });
  }
  Message message;
  while (GetMessage(&message)) {
    if (message.message == kQuit) break;
    DispatchMessage(message);
  }
  for (auto& t : senders) t.join();
  EXPECT_GT(nestedWaits.load(), 0);
  for (int s = 0; s < kSenders; ++s) {
    ASSERT_EQ(received[s].size(), static_cast<size_t>(kPerSender)) << "sender " << s;
    for (int i = 0; i < kPerSender; ++i) ASSERT_EQ(received[s][i], i) << "sender " << s;
  }
}

}  // namespace
}  // namespace gq
