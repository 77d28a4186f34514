// The main of the user-interface tests: one QApplication for the whole run, on the
// offscreen platform, so the tests never open a window on a developer's display, and
// settings of their own in a fresh folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char config[] = "/tmp/gq-ui-test-XXXXXX";
  if (mkdtemp(config)) setenv("GLIMMERQUORUM_CONFIG_DIR", config, 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
