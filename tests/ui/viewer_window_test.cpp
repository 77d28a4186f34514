#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "support/ScriptedMessageBox.h"
#include "ui/Viewer.h"
#include "ui/ViewerWindow.h"
#include "viewer_test_support.h"

namespace gq {
namespace {

// A viewer with every hook recorded and a folder for its pictures.
class ViewerTest : public ::testing::Test {
 protected:
  ViewerTest() {
    viewer.hooks.key = [this](int key, Qt::KeyboardModifiers) { keys.push_back(key); };
    viewer.hooks.selectPath = [this](const std::string& path) {
      selected.push_back(path);
      return 0;
    };
    viewer.hooks.searchSimilar = [this] { ++searches; };
    viewer.hooks.raiseMainWindow = [this] { ++raises; };
  }
  std::string Path(const char* name) { return folder.filePath(name).toStdString(); }
  void ShowAndWait(const std::string& path) {
    viewer.Show(ViewerKind::kFramed, path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return viewer.Loaded(); })) << path;
  }
  QWidget& Framed() { return viewer.Window(ViewerKind::kFramed); }

  QTemporaryDir folder;
  test::ScriptedMessageBox boxes;
  Viewer viewer;
  std::vector<int> keys;
  std::vector<std::string> selected;
  int searches = 0;
  int raises = 0;
};

TEST_F(ViewerTest, UndecodableFileShowsNoPictureUnderItsTitle) {
  const std::string path = Path("broken.jpg");
  std::ofstream(path) << std::string(3000, 'x');
  viewer.SetFile(path);
  EXPECT_EQ(viewer.DecodeCount(), 0);  // hidden: nothing decoded
  Framed().resize(400, 300);
  ShowAndWait("");
  EXPECT_EQ(Framed().windowTitle().toStdString(), "GlimmerQuorum - " + path + " 3 KB");
  EXPECT_EQ(viewer.DecodeCount(), 1);

  const QImage shot = Framed().grab().toImage();
  const QRgb background = shot.pixel(0, 0);
  QRect ink;
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = 0; x < shot.width(); ++x) {
      if (shot.pixel(x, y) != background) ink |= QRect(x, y, 1, 1);
    }
  }
  ASSERT_FALSE(ink.isEmpty());  // the text is there, small and centred
  EXPECT_LT(ink.height(), 40);
  EXPECT_LE(std::abs(ink.center().x() - 200), 3);
  EXPECT_LE(std::abs(ink.center().y() - 150), 3);
}

TEST_F(ViewerTest, FramedViewerStretchesSmoothly) {
  const std::string stripes = Path("stripes.png");
  cv::Mat picture(600, 800, CV_8UC3);
  for (int x = 0; x < 800; ++x) picture.col(x).setTo(cv::Scalar::all(x % 2 ? 255 : 0));
  ASSERT_TRUE(cv::imwrite(stripes, picture));
  Framed().resize(400, 300);
  ShowAndWait(stripes);
  const QColor middle = Framed().grab().toImage().pixelColor(200, 150);
  EXPECT_NEAR(middle.red(), 128, 40);  // filtered, not sampled black or white

  const char* binary = std::getenv("GQ_TEST_BINARY_DIR");
  const std::string shots = std::string(binary ? binary : ".") + "/screenshots";
  std::filesystem::create_directories(shots);
  const std::string holiday = Path("holiday-0042.jpg");
  test::WriteViewerPicture(holiday, 1600, 1000, 3);
  Framed().resize(720, 540);
  ShowAndWait(holiday);
  ASSERT_TRUE(QTest::qWaitFor([&] { return viewer.Picture().scaled.width() == 720; }));
  EXPECT_TRUE(Framed().grab().save(QString::fromStdString(shots + "/viewer_framed.png")));
}

TEST_F(ViewerTest, KeysMouseAndCloseBoxHideOrDriveTheView) {
  const std::string path = Path("a.png");
  test::WriteViewerPicture(path, 200, 100, 1);
  auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = {}) {
    return [this, k, m] { QTest::keyClick(&Framed(), k, m); };
  };
  struct Case {
    const char* what;
    std::function<void()> input;
    bool staysVisible;
    std::vector<int> keysHandedOn;
    int selects;
    int searches;
    bool raisesMainWindow = false;
  };
  const std::vector<Case> cases = {
      {"Right", key(Qt::Key_Right), true, {Qt::Key_Right}, 1, 0},
      {"Return after another window's key", key(Qt::Key_Return), false, {}, 1, 1},
      {"Return after a key of its own",
       [&] {
         key(Qt::Key_Down)();
         key(Qt::Key_Return)();
       },
       true,
       {Qt::Key_Down},
       2,
       1},
      {"Esc", key(Qt::Key_Escape), false, {}, 0, 0},
      {"Tab", key(Qt::Key_Tab), false, {}, 0, 0},
      {"Ctrl+Tab", key(Qt::Key_Tab, Qt::ControlModifier), true, {}, 0, 0, true},
      {"left click", [&] { QTest::mouseClick(&Framed(), Qt::LeftButton); }, false, {}, 0, 0},
      {"close box", [&] { Framed().close(); }, false, {}, 0, 0},
      {"wheel towards the user",
       [&] {
         const QPointF at(5, 5);
         QWheelEvent wheel(at, Framed().mapToGlobal(at), {}, {0, -120}, Qt::NoButton, {},
                           Qt::NoScrollPhase, false);
         QApplication::sendEvent(&Framed(), &wheel);
       },
       true,
       {Qt::Key_Right},
       1,
       0},
  };
  for (const Case& c : cases) {
    ShowAndWait(path);
    viewer.NoteInputElsewhere();
    keys.clear();
    selected.clear();
    searches = 0;
    raises = 0;
    c.input();
    EXPECT_EQ(viewer.VisibleKind().has_value(), c.staysVisible) << c.what;
    EXPECT_EQ(Framed().isVisible(), c.staysVisible) << c.what;
    EXPECT_EQ(keys, c.keysHandedOn) << c.what;
    EXPECT_EQ(selected.size(), static_cast<size_t>(c.selects)) << c.what;
    EXPECT_EQ(searches, c.searches) << c.what;
    if (c.raisesMainWindow) {
      EXPECT_EQ(raises, 1) << c.what;
    }
  }
  EXPECT_TRUE(boxes.Beeps().empty());
}

TEST_F(ViewerTest, CommandsSwitchWindowsAndReachTheFileManager) {
  const std::string path = Path("a.png");
  test::WriteViewerPicture(path, 200, 100, 1);
  QWidget& full = viewer.Window(ViewerKind::kFullScreen);
  viewer.SetFile(path);
  ASSERT_TRUE(viewer.Command(kCmdPictureSwitchKind));
  EXPECT_TRUE(full.isVisible() && full.isFullScreen() && !Framed().isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return viewer.Loaded(); }));
  viewer.Command(kCmdPictureToggle);
  EXPECT_FALSE(viewer.VisibleKind());
  viewer.Command(kCmdPictureToggle);  // back in the kind used last
  EXPECT_EQ(viewer.VisibleKind(), ViewerKind::kFullScreen);
  viewer.Command(kCmdPictureInWindow);
  EXPECT_TRUE(Framed().isVisible() && !full.isVisible());

  const bool zoomBefore = viewer.DoNotZoom();
  viewer.Command(kCmdZoomSmallPictures);
  EXPECT_NE(viewer.DoNotZoom(), zoomBefore);
  viewer.SetDoNotZoom(zoomBefore);

  EXPECT_TRUE(viewer.Command(Viewer::kExploreDirectory));  // no hook yet: a beep
  std::vector<std::string> explored;
  viewer.hooks.exploreDirectory = [&](const std::string& p) {
    explored.push_back(p);
    return true;
  };
  viewer.hooks.openWith = [&](int command, const std::string& p) {
    explored.push_back(std::to_string(command) + p);
    return true;
  };
  viewer.Command(Viewer::kExploreDirectory);
  viewer.Command(Viewer::kFirstOpenWith);
  EXPECT_EQ(explored, (std::vector<std::string>{path, "32811" + path}));
  EXPECT_EQ(boxes.Beeps().size(), 1u);
  EXPECT_FALSE(viewer.Command(33848));

  viewer.Shutdown();
  EXPECT_FALSE(viewer.VisibleKind() || Framed().isVisible());
  EXPECT_FALSE(viewer.Show(ViewerKind::kFramed));
}

}  // namespace
}  // namespace gq
