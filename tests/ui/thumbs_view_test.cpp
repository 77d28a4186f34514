#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <cstdlib>
#include <memory>
#include <utility>

#include "db/DbTestSupport.h"
#include "ui/thumbs_view_fixture.h"

namespace gq {
namespace {

TEST_F(ThumbsViewTest, ClicksWithModifiers) {
  Fill(12);
  Show();
  Click(3);
  EXPECT_EQ(Current(), ids[3]);
  EXPECT_EQ(status, "/pics/p103.jpg (120x90) 0 KB");
  Click(5, Qt::ControlModifier);
  EXPECT_EQ(Current(), ids[5]);
  EXPECT_TRUE(Selected(3));
  Click(5, Qt::ControlModifier);  // Ctrl on the current picture toggles it off
  EXPECT_EQ(Current(), -1);
  EXPECT_TRUE(Selected(3));
  EXPECT_FALSE(Selected(5));
  Click(7, Qt::ShiftModifier);  // nothing to extend from: a plain click
  EXPECT_EQ(Current(), ids[7]);
  EXPECT_EQ(data.db.SelectionCount(), 0);
  Click(10, Qt::ShiftModifier);
  EXPECT_EQ(Current(), ids[10]);
  EXPECT_EQ(data.db.SelectionCount(), 4);
  EXPECT_TRUE(Selected(7) && Selected(8) && Selected(9) && Selected(10));
  WatchMenu();
  Click(8, {}, Qt::RightButton);  // keeps the selection for the menu
  EXPECT_EQ(Current(), ids[8]);
  EXPECT_TRUE(Selected(10) && !Selected(8));
  EXPECT_EQ(menus.size(), 1u);
  Click(30);  // empty cell
  EXPECT_EQ(Current(), -1);
  EXPECT_EQ(data.db.SelectionCount(), 3);
  QTest::mouseClick(view->viewport(), Qt::MiddleButton, {}, CellCentre(30));
  EXPECT_EQ(boxes.Beeps().size(), 1u);

  Click(2);
  bool renaming = false;
  WhenRenameBoxOpens([&](QLineEdit* box) {
    renaming = true;
    QTest::keyClick(box, Qt::Key_Escape);
  });
  Click(2);  // a second single click on the current picture renames it
  QTRY_VERIFY(renaming);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, CellCentre(2));
  EXPECT_EQ(commands.back(), kCmdSearchSimilar);
}

TEST_F(ThumbsViewTest, KeysMoveSelectAndSwitchModes) {
  Fill(10);
  Show();
  const int32_t columns = Layout().columns;
  ASSERT_LT(columns, 9);
  Key(Qt::Key_End);  // no current picture: the first visible one
  EXPECT_EQ(Current(), ids[0]);
  Key(Qt::Key_End);
  EXPECT_EQ(Current(), ids[9]);
  Key(Qt::Key_Home);
  EXPECT_EQ(Current(), ids[0]);
  Key(Qt::Key_Right);
  Key(Qt::Key_Down);
  EXPECT_EQ(Current(), ids[1 + columns]);
  Key(Qt::Key_Left, Qt::ShiftModifier);
  Key(Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(Current(), ids[columns - 1]);
  EXPECT_EQ(data.db.SelectionCount(), 3);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(Current(), ids[9]);
  EXPECT_EQ(data.db.SelectionCount(), 0);

  Key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(commands, (std::vector<int>{kCmdCopyToClipboard}));

  Key(Qt::Key_Tab);
  EXPECT_EQ(view->ListMode(), kListSortedByFile);
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(view->ListMode(), kListUnsorted);

  view->SetListMode(kListSearchSimilar, true);  // one window-full, mostly empty cells
  Key(Qt::Key_End);
  EXPECT_EQ(Current(), ShownAt(9));
  Key(Qt::Key_Home);
  EXPECT_EQ(Current(), ShownAt(0));
}

TEST_F(ThumbsViewTest, WheelAndScrollBar) {
  Fill(10);
  Show();
  Click(4);
  Wheel(-120);  // the whole list fits: a notch towards the user acts as Right
  EXPECT_EQ(Current(), ids[5]);
  Wheel(120);
  EXPECT_EQ(Current(), ids[4]);

  Fill(190, 50);
  view->Refresh(true, false);
  Wheel(-60);
  EXPECT_EQ(view->ScrollPosition(), 0);  // half a notch does nothing yet
  Wheel(-60);
  EXPECT_EQ(view->ScrollPosition(), kCellSide);
  const int32_t columns = Layout().columns;
  Wheel(-120);
  EXPECT_EQ(ShownAt(2 * columns), ids[2 * columns]);
  EXPECT_EQ(ShownAt(0), -1);  // scrolled out of the slice
  Wheel(120);
  Wheel(120);
  EXPECT_EQ(view->ScrollPosition(), 0);
  view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(view->ScrollPosition(), view->viewport()->height() / kCellSide * kCellSide);
  view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(view->ScrollPosition(),
            (200 / columns + 1) * kCellSide + 1 - view->viewport()->height() + 1);

  const QScrollBar* bar = view->verticalScrollBar();
  QTRY_VERIFY(bar->isVisible());  // shown once the event loop lays the view out
  EXPECT_GT(bar->mapTo(view.get(), QPoint()).x(), view->viewport()->geometry().x());
  view->SetScrollBarLeft(true);
  QTRY_VERIFY(bar->mapTo(view.get(), QPoint()).x() < view->viewport()->geometry().x());
}

TEST_F(ThumbsViewTest, DragStartsBeyondTheDragDistance) {
  Fill(10);
  Show();
  std::vector<ImageRecord*> dragged;
  view->hooks.startDrag = [&](const std::vector<ImageRecord*>& pictures) { dragged = pictures; };
  Click(1);
  Click(3, Qt::ControlModifier);
  const QPoint from = CellCentre(3);
  const QPoint near = from + QPoint(QApplication::startDragDistance() - 1, 0);
  WatchMenu();
  QTest::mousePress(view->viewport(), Qt::RightButton, {}, from);
  QTest::mouseMove(view->viewport(), near);
  EXPECT_TRUE(dragged.empty());
  QTest::mouseMove(view->viewport(), from + QPoint(0, QApplication::startDragDistance()));
  QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, from);
  const std::vector<ImageRecord*> expected = {data.db.FindByLfdNr(ids[1]),
                                              data.db.FindByLfdNr(ids[3])};
  EXPECT_EQ(dragged, expected);
  EXPECT_TRUE(menus.empty());  // a release that ends a drag opens no menu
}

TEST_F(ThumbsViewTest, ScrollPositionsFollowThePictures) {
  Fill(200);
  Show();
  auto inSight = [this](int32_t index) {
    const CellRect cell = CellOf(index, Layout(), view->ScrollPosition());
    return cell.top >= 0 && cell.bottom <= view->viewport()->height();
  };
  view->SetCurrentPicture(ids[150]);
  EXPECT_TRUE(inSight(150));
  const int32_t unsortedPosition = view->ScrollPosition();
  view->SetListMode(kListSortedByFile, false);  // a mode starts at the top
  EXPECT_EQ(view->ScrollPosition(), 0);
  view->SetListMode(kListUnsorted, false);  // and keeps its position
  EXPECT_EQ(view->ScrollPosition(), unsortedPosition);

  // Compact View goes off while no picture is current: the middle one stays in sight.
  AddCopiesAndGroup(100, 1);
  view->SetListMode(kListSearchDuplicates, false);
  view->verticalScrollBar()->setValue(10 * kCellSide);
  view->SetCurrentPicture(-1);
  const VisibleCells before =
      VisibleCellsOf(Layout(), view->ScrollPosition(), view->viewport()->height());
  const int32_t middle = ShownAt(before.first + before.count / 2);
  ASSERT_GE(middle, 0);
  GroupRows groupRows;
  view->Refresh(true, true);
  const VisibleCells after =
      VisibleCellsOf(Layout(), view->ScrollPosition(), view->viewport()->height());
  int32_t shownAt = -1;
  for (int32_t g = after.first; g < after.first + after.count; ++g) {
    if (ShownAt(g) == middle) shownAt = g;
  }
  ASSERT_GE(shownAt, 0);
  EXPECT_TRUE(inSight(shownAt));
}

TEST_F(ThumbsViewTest, HistoryWalksBackAndForwardAndSearchesAgain) {
  Fill(8);
  Show();
  for (int i : {0, 1, 2, 3}) Click(i);
  EXPECT_TRUE(view->HistoryBack(false));
  EXPECT_FALSE(view->HistoryForward(false));
  data.db.RemoveRecord(data.db.FindByLfdNr(ids[2]));
  view->Refresh(true, false);
  ASSERT_TRUE(view->HistoryBack(true));  // the removed picture is skipped
  EXPECT_EQ(Current(), ids[1]);
  ASSERT_TRUE(view->HistoryForward(true));
  EXPECT_EQ(Current(), ids[3]);

  view->SetListMode(kListSearchSimilar, true);
  EXPECT_EQ(ShownAt(0), ids[3]);
  const int32_t other = ShownAt(1);
  Click(1);
  ASSERT_TRUE(view->HistoryBack(true));
  EXPECT_EQ(Current(), ids[3]);
  EXPECT_EQ(ShownAt(0), ids[3]);
  ASSERT_TRUE(view->HistoryForward(true));
  EXPECT_EQ(Current(), other);
  EXPECT_EQ(ShownAt(0), other);  // searched again from the reached picture
}

TEST_F(ThumbsViewTest, ThumbnailsArePagedInWhenFirstDrawn) {
  const std::string folder = test::FolderForThisTest("thumbs_");
  data.db.File().SetName(folder + "/paged.gqdb");
  ASSERT_TRUE(data.db.File().Create());
  Fill(80);
  for (int32_t id : ids) ASSERT_TRUE(data.db.PageOut(data.db.FindByLfdNr(id)));
  Show();
  view->grab();
  EXPECT_NE(data.db.FindByLfdNr(ids[0])->m_ThumbPixels, nullptr);
  EXPECT_EQ(data.db.FindByLfdNr(ids[79])->m_ThumbPixels, nullptr);
}

// Saves a picture of the view in each list mode under the build folder and checks the
// colours that mark the current picture, the search picture and a group's first picture.
TEST_F(ThumbsViewTest, ScreenshotsInEachListMode) {
  Fill(14, 1000);
  AddCopiesAndGroup(3, 5000);  // three groups of two
  Show(720, 460);
  const char* binary = std::getenv("GQ_TEST_BINARY_DIR");
  const QString folder =
      QString(binary ? binary : QDir::tempPath().toUtf8().constData()) + "/screenshots";
  QDir().mkpath(folder);
  const QColor highlight = view->palette().color(QPalette::Highlight);
  auto corner = [this](const QImage& shot, int32_t grid) {
    const CellRect cell = CellOf(grid, Layout(), view->ScrollPosition());
    const QPoint at = view->viewport()->mapTo(view.get(), QPoint(cell.left + 2, cell.top + 3));
    return QColor(shot.pixel(at));
  };

  Click(2);
  data.db.Select(ids[4], kSelect);
  QImage shot = view->grab().toImage();
  EXPECT_EQ(corner(shot, 2), highlight);
  EXPECT_EQ(corner(shot, 4), highlight);
  EXPECT_EQ(corner(shot, 3), QColor(Qt::white));
  EXPECT_TRUE(shot.save(folder + "/thumbs_unsorted.png"));

  view->SetListMode(kListSortedByFile, true);
  EXPECT_TRUE(view->grab().save(folder + "/thumbs_sorted_by_file.png"));

  view->SetListMode(kListSearchSimilar, true);
  Click(1);
  shot = view->grab().toImage();
  const QColor contrast(0x7F, 0x7F, 0x7F);
  EXPECT_EQ(corner(shot, 0), contrast);
  EXPECT_TRUE(shot.save(folder + "/thumbs_search_similar.png"));

  GroupRows groupRows;
  view->SetListMode(kListSearchDuplicates, false);
  ASSERT_EQ(data.db.CountIn(kOrderGroups), 6);
  shot = view->grab().toImage();
  const int32_t columns = Layout().columns;
  EXPECT_EQ(corner(shot, 0), contrast);
  EXPECT_EQ(corner(shot, columns), contrast);  // each group starts a row
  EXPECT_EQ(corner(shot, columns + 1), QColor(Qt::white));
  EXPECT_TRUE(shot.save(folder + "/thumbs_search_duplicates.png"));
}

}  // namespace
}  // namespace gq

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
