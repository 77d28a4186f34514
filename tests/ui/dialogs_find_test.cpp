#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <set>

#include "db/FindWalk.h"
#include "search/SearchTestSupport.h"
#include "support/ScriptedMessageBox.h"
#include "ui/FindTextDialog.h"
#include "ui/ThumbsView.h"

namespace gq {
namespace {

TEST(FindWalkTest, VisitsTheListFromTheStartInTheChosenDirection) {
  const std::set<int32_t> all = {0, 1, 2, 3, 4, 10, 11, 12};
  struct Case {
    const char* what;
    int32_t first, count, start;
    bool forward, wrap;
    std::set<int32_t> matching;
    int32_t expected;
  };
  const Case cases[] = {
      {"both texts empty: the next picture", 0, 5, 2, true, false, all, 3},
      {"backward: the previous picture", 0, 5, 2, false, false, all, 1},
      {"forward from the last without wrap", 0, 5, 4, true, false, all, -1},
      {"backward from the first without wrap", 0, 5, 0, false, false, all, -1},
      {"forward from the last with wrap", 0, 5, 4, true, true, all, 0},
      {"backward from the first with wrap", 0, 5, 0, false, true, all, 4},
      {"wrap never returns the start", 0, 5, 2, true, true, {2}, -1},
      {"wrap passes the start's side last", 0, 5, 2, true, true, {1}, 1},
      {"no wrap stops at the end", 0, 5, 2, true, false, {1}, -1},
      {"start not in the list: from the top", 0, 5, -1, true, false, {2, 3}, 2},
      {"start not in the list: from the bottom", 0, 5, -1, false, false, {2, 3}, 3},
      {"a list window from position 10", 10, 3, 12, true, true, all, 10},
      {"an empty list", 0, 0, -1, true, true, all, -1},
  };
  for (const Case& c : cases) {
    std::vector<int32_t> visited;
    const int32_t found = FindWalk(c.first, c.count, c.start, c.forward, c.wrap, [&](int32_t p) {
      visited.push_back(p);
      return c.matching.count(p) > 0;
    });
    EXPECT_EQ(found, c.expected) << c.what;
    for (int32_t p : visited) {
      EXPECT_TRUE(p >= c.first && p < c.first + c.count && p != c.start) << c.what << ": " << p;
    }
  }
}

// The dialog over a shown view of pictures in two folders.
class FindTextDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* paths[] = {"/pics/a/sun.jpg", "/pics/b/moon.jpg", "/pics/a/Moon2.png",
                           "/pics/b/star.jpg"};
    for (int i = 0; i < 4; ++i) {
      ids.push_back(data.AddPicture(paths[i], test::GeneratedPicture(i + 1))->m_LfdNr);
    }
    view = std::make_unique<ThumbsView>(data.db, *data.engine);
    view->resize(500, 300);
    view->show();
    view->Refresh(true, false);
    dialog = std::make_unique<FindTextDialog>(data.db, *view);
  }
  template <class T>
  T* Child(const char* name) {
    T* child = dialog->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  test::SearchFixture data;
  std::vector<int32_t> ids;
  std::unique_ptr<ThumbsView> view;
  std::unique_ptr<FindTextDialog> dialog;
};

TEST_F(FindTextDialogTest, FindsByNameAndFolderAndBeepsWhenNothingMatches) {
  test::ScriptedMessageBox boxes;
  view->SetCurrentPicture(ids[0]);
  data.db.Select(ids[3], kSelect);
  Child<QLineEdit>("name")->setText("MOON");
  QTest::mouseClick(Child<QPushButton>("find"), Qt::LeftButton);
  EXPECT_EQ(view->CurrentPicture(), ids[1]);
  EXPECT_EQ(data.db.SelectionCount(), 0);  // without Ctrl the selection is cleared

  EXPECT_TRUE(dialog->Find(true));  // Ctrl held: the old current picture joins
  EXPECT_EQ(view->CurrentPicture(), ids[2]);
  EXPECT_TRUE(data.db.IsSelected(ids[1]));

  EXPECT_FALSE(dialog->Find(false));  // the end, no wrap
  EXPECT_EQ(boxes.Beeps().size(), 1u);
  Child<QCheckBox>("wrap")->setChecked(true);
  EXPECT_TRUE(dialog->Find(false));
  EXPECT_EQ(view->CurrentPicture(), ids[1]);

  Child<QRadioButton>("up")->setChecked(true);
  Child<QLineEdit>("name")->clear();
  Child<QLineEdit>("folder")->setText("/a");
  EXPECT_TRUE(dialog->Find(false));  // upward
  EXPECT_EQ(view->CurrentPicture(), ids[0]);
  EXPECT_TRUE(dialog->FindInDirection(false, false));  // Find Up, wrapping to the bottom
  EXPECT_EQ(view->CurrentPicture(), ids[2]);
  EXPECT_TRUE(dialog->FindInDirection(true, false));  // Find Down whatever the radio says
  EXPECT_EQ(view->CurrentPicture(), ids[0]);
}

TEST_F(FindTextDialogTest, ADroppedFileFillsTheFieldsAndSeveralGoToTheHook) {
  test::ScriptedMessageBox boxes;
  std::vector<std::string> handedOn;
  dialog->hooks.dropFiles = [&](const std::vector<std::string>& paths) { handedOn = paths; };
  dialog->TakeDroppedFiles({"/home/me/trip/beach.2024.jpg"});
  EXPECT_EQ(Child<QLineEdit>("name")->text(), "beach.2024");
  EXPECT_EQ(Child<QLineEdit>("folder")->text(), "/home/me/trip");
  dialog->TakeDroppedFiles({"/x/1.jpg", "/x/2.jpg"});
  EXPECT_EQ(handedOn.size(), 2u);
  EXPECT_EQ(Child<QLineEdit>("name")->text(), "beach.2024");
}

}  // namespace
}  // namespace gq
