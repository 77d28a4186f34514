#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <thread>

#include "platform/MessageBox.h"
#include "ui/QtHost.h"

namespace gq {
namespace {

constexpr unsigned kMsgAsk = kMessageBase + 110;

struct BoxCase {
  unsigned flags;
  QMessageBox::StandardButton press;  // NoButton: Escape
  int answer;
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton byDefault;
};

struct SeenBox {
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton byDefault = QMessageBox::NoButton;
};

// Waits in the event loop for the box, notes what it shows and answers it.
void AnswerTheBox(QTimer& timer, const BoxCase& c, SeenBox* seen) {
  QObject::connect(&timer, &QTimer::timeout, [&timer, c, seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    timer.stop();
    *seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
             box->standardButton(box->defaultButton())};
    if (c.press == QMessageBox::NoButton) {
      QTest::keyClick(box, Qt::Key_Escape);
    } else {
      box->button(c.press)->click();
    }
  });
  timer.start(5);
}

TEST(QtMessageBox, ShowsTheRequestedBoxOnTheMainThreadForAnyCaller) {
  using B = QMessageBox;
  const BoxCase cases[] = {
      {MB_OK, B::Ok, IDOK, B::NoIcon, B::Ok, B::Ok},
      {MB_OK | MB_ICONERROR, B::NoButton, IDOK, B::Critical, B::Ok, B::Ok},
      {MB_OKCANCEL | MB_ICONQUESTION, B::Cancel, IDCANCEL, B::Question, B::Ok | B::Cancel, B::Ok},
      {MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, B::Yes, IDYES, B::Warning, B::Yes | B::No, B::No},
      {MB_YESNO | MB_ICONQUESTION, B::NoButton, IDNO, B::Question, B::Yes | B::No, B::Yes},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, B::No, IDNO, B::NoIcon, B::Yes | B::No | B::Cancel,
       B::Cancel},
      {MB_ABORTRETRYIGNORE | MB_ICONINFORMATION, B::Ignore, IDIGNORE, B::Information,
       B::Abort | B::Retry | B::Ignore, B::Abort},
      {MB_RETRYCANCEL, B::Retry, IDRETRY, B::NoIcon, B::Retry | B::Cancel, B::Retry},
  };
  for (bool fromWorker : {false, true}) {
    for (const BoxCase& c : cases) {
      SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags << " from "
                                      << (fromWorker ? "a worker" : "the main thread"));
      QtHost host;
      QTimer timer;
      SeenBox seen;
      AnswerTheBox(timer, c, &seen);
      int answer = 0;
      std::thread worker;
      MessageTarget target = host.Target();
      auto ask = [&answer, &c, target] {
        answer = MessageBox("Save Database?", "GlimmerQuorum", c.flags);
        target.Post(kMsgClose);
      };
      host.SetHandler(kMsgAsk, [&](unsigned, uintptr_t, intptr_t) {
        if (fromWorker) {
          worker = std::thread(ask);
        } else {
          ask();
        }
        return 0;
      });
      target.Post(kMsgAsk);
      host.Run();
      if (worker.joinable()) worker.join();
      EXPECT_EQ(answer, c.answer);
      EXPECT_EQ(seen.caption, "GlimmerQuorum");
      EXPECT_EQ(seen.text, "Save Database?");
      EXPECT_EQ(seen.icon, c.icon);
      EXPECT_EQ(seen.buttons, c.buttons);
      EXPECT_EQ(seen.byDefault, c.byDefault);
    }
  }
  EXPECT_TRUE(IsConsoleMessageBox());  // the host gave the backend back
}

}  // namespace
}  // namespace gq
