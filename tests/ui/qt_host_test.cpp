#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageBox.h"
#include "ui/QtHost.h"

namespace gq {
namespace {

constexpr unsigned kMsgA = kMessageBase + 100;
constexpr unsigned kMsgB = kMessageBase + 101;
constexpr unsigned kMsgC = kMessageBase + 102;

TEST(QtHost, SentAndPostedMessagesReachTheirHandlersInOrderUntilClose) {
  QtHost host;
  std::vector<intptr_t> posted;
  host.SetHandler(kMsgA, [&](unsigned, uintptr_t w, intptr_t) {
    posted.push_back(static_cast<intptr_t>(w));
    return 0;
  });
  host.SetHandler(kMsgB,
                  [](unsigned, uintptr_t w, intptr_t) { return static_cast<intptr_t>(w * 2); });
  intptr_t answer = 0;
  MessageTarget target = host.Target();
  target.Post(kMsgA, 1);  // before the loop runs
  std::thread worker([&] {
    answer = target.Send(kMsgB, 21);
    for (uintptr_t i = 2; i <= 4; ++i) target.Post(kMsgA, i);
    target.Post(kMsgClose);
  });
  EXPECT_EQ(host.Run(), 0);
  worker.join();
  EXPECT_EQ(answer, 42);
  EXPECT_EQ(posted, (std::vector<intptr_t>{1, 2, 3, 4}));
}

// A loader sends while the window runs a nested loop (a box is open): the send is
// answered at once, but the posted message queued before it waits for the top level.
TEST(QtHost, ANestedLoopAnswersSendsAndLeavesPostedMessagesForTheTopLevel) {
  QtHost host;
  std::vector<std::string> order;
  std::thread worker;
  QEventLoop nested;
  MessageTarget target = host.Target();
  host.SetHandler(kMsgA, [&](unsigned, uintptr_t, intptr_t) {
    order.push_back("A begins");
    worker = std::thread([target] {
      target.Post(kMsgC);
      target.Send(kMsgB);
    });
    nested.exec();
    order.push_back("A ends");
    target.Post(kMsgClose);
    return 0;
  });
  host.SetHandler(kMsgB, [&](unsigned, uintptr_t, intptr_t) {
    order.push_back("B");
    nested.quit();
    return 1;
  });
  host.SetHandler(kMsgC, [&](unsigned, uintptr_t, intptr_t) {
    order.push_back("C");
    return 0;
  });
  target.Post(kMsgA);
  host.Run();
  worker.join();
  EXPECT_EQ(order, (std::vector<std::string>{"A begins", "B", "A ends", "C"}));
}

TEST(QtHost, TerminationSignalsEndTheLoopThroughTheClosePath) {
  HeadlessHost::BlockTerminationSignals();
  for (int signal : {SIGTERM, SIGINT}) {
    QtHost host;
    int closes = 0;
    int saveAnswer = 0;
    host.SetHandler(kMsgClose, [&](unsigned, uintptr_t, intptr_t) {
      ++closes;
      saveAnswer = MessageBox("Save Database?", "GlimmerQuorum", MB_YESNO | MB_ICONQUESTION);
      PostQuitMessage(7);
      return 0;
    });
    host.SetHandler(kMsgA, [signal](unsigned, uintptr_t, intptr_t) { return raise(signal); });
    bool boxShown = false;  // closed at once, so a fault fails instead of hanging
    QTimer boxCloser;
    QObject::connect(&boxCloser, &QTimer::timeout, [&boxShown] {
      if (QWidget* box = QApplication::activeModalWidget()) {
        boxShown = true;
        box->close();
      }
    });
    boxCloser.start(5);
    host.Target().Post(kMsgA);
    EXPECT_EQ(host.Run(), 7) << "signal " << signal;
    EXPECT_FALSE(boxShown) << "signal " << signal;
    EXPECT_EQ(closes, 1) << "signal " << signal;
    EXPECT_EQ(saveAnswer, IDYES) << "the shut-down's box takes its default, nobody waits";
  }
}

}  // namespace
}  // namespace gq
