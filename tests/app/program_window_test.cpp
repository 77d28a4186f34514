// The program's window as the program builds it: the viewer, the tool dialogs and the
// desktop side reached by the window's keys and commands.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "app/ProgramWindow.h"
#include "db/DbTestSupport.h"
#include "frame/Settings.h"
#include "loading/LoaderTestSupport.h"
#include "ui/QtHost.h"
#include "ui/ThumbsView.h"

namespace gq {
namespace {

constexpr int kPictureInWindow = 33846;
constexpr int kCriteria = 32806;

class ProgramWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_settings = ProgramSettings{};
    const std::string folder = test::FolderForThisTest("pw_");
    for (unsigned i = 0; i < 3; ++i) {
      const std::string path = folder + "/p" + std::to_string(i) + ".png";
      test::WritePicture(path, 320, 200, i * 70);
      ImageRecord* record = test::MakeTestRecord(path, i, 96, 60);
      program.Db().AddRecord(record, false);
      pictures.push_back(record);
    }
    window = OpenProgramWindow(program, host, false);
    window->resize(800, 500);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    view = window->findChild<ThumbsView*>();
    view->Refresh(true, false);
    view->SetCurrentPicture(pictures[1]->m_LfdNr);
  }
  void TearDown() override { window.reset(); }
  QWidget* Viewer() const { return window->ToolWindowOf(ToolWindow::kViewer); }
  bool PictureInWindowChecked() const {
    window->RefreshCommandState();
    return window->Action(kPictureInWindow)->isChecked();
  }

  QtHost host;
  ProgramHost program{host};
  std::unique_ptr<MainWindow> window;
  ThumbsView* view = nullptr;
  std::vector<ImageRecord*> pictures;
};

TEST_F(ProgramWindowTest, SpaceTogglesTheViewerOnTheCurrentPicture) {
  QTest::keyClick(view, Qt::Key_Space);
  ASSERT_TRUE(Viewer()->isVisible());
  EXPECT_TRUE(PictureInWindowChecked());
  QTRY_VERIFY(Viewer()->windowTitle().contains(QString::fromStdString(pictures[1]->m_Path)));
  QTest::keyClick(Viewer(), Qt::Key_Space);  // the viewer hands its key to the window
  EXPECT_FALSE(Viewer()->isVisible());
  EXPECT_FALSE(PictureInWindowChecked());
  // Return in the viewer hides it only when the last key went elsewhere.
  QTest::keyClick(view, Qt::Key_Space);
  QTest::keyClick(Viewer(), Qt::Key_Left);
  QTest::keyClick(Viewer(), Qt::Key_Return);
  EXPECT_TRUE(Viewer()->isVisible());
  QTest::keyClick(view, Qt::Key_Right);
  QTest::keyClick(Viewer(), Qt::Key_Return);
  EXPECT_FALSE(Viewer()->isVisible());
}

TEST_F(ProgramWindowTest, CommandsReachTheDialogsAndTheDesktop) {
  QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(window->ToolWindowOf(ToolWindow::kFind)->isVisible());
  // Criteria, the first List Search Duplicates (the database holds pictures), Mosaic.
  for (auto [command, role] : {std::pair{32806, ToolWindow::kCriteria},
                               {33803, ToolWindow::kDuplicates},
                               {33850, ToolWindow::kMosaic}}) {
    window->RunCommand(command);
    EXPECT_TRUE(window->ToolWindowOf(role)->isVisible()) << command;
  }
  for (int copy : {33829, 0}) {  // the Edit menu's Copy, then the view's Ctrl+C
    QApplication::clipboard()->clear();
    if (copy) {
      window->RunCommand(copy);
    } else {
      QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    }
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(data && data->hasUrls()) << copy;
    EXPECT_EQ(data->urls().value(0).toLocalFile().toStdString(), pictures[1]->m_Path) << copy;
  }
}

// Writes screenshots of the program window with the viewer and the criteria dialog.
TEST_F(ProgramWindowTest, Screenshots) {
  const char* binary = std::getenv("GQ_TEST_BINARY_DIR");
  const std::string folder = std::string(binary ? binary : ".") + "/screenshots";
  std::filesystem::create_directories(folder);
  window->RunCommand(kPictureInWindow);
  Viewer()->resize(480, 320);
  const QPoint inPicture(100, 100);  // away from the "No Picture" text
  QTRY_VERIFY(Viewer()->grab().toImage().pixel(inPicture) !=
              Viewer()->grab().toImage().pixel(0, 0));
  EXPECT_TRUE(window->grab().save(QString::fromStdString(folder + "/program-window.png")));
  EXPECT_TRUE(Viewer()->grab().save(QString::fromStdString(folder + "/program-viewer.png")));
  window->RunCommand(kCriteria);
  QWidget* criteria = window->ToolWindowOf(ToolWindow::kCriteria);
  ASSERT_TRUE(criteria->isVisible());
  EXPECT_TRUE(criteria->grab().save(QString::fromStdString(folder + "/program-criteria.png")));
}

}  // namespace
}  // namespace gq
