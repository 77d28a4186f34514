// The main of the shell tests: one QApplication on the offscreen platform, and a
// recorder that takes every URL the code would hand to the desktop.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "ShellTestSupport.h"

namespace gq::test {

OpenedUrls& Opened() {
  static OpenedUrls recorder;
  return recorder;
}

}  // namespace gq::test

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QDesktopServices::setUrlHandler("file", &gq::test::Opened(), "Open");
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  QDesktopServices::unsetUrlHandler("file");
  return result;
}
