#include <gtest/gtest.h>

#include <QDir>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "db/DbTestSupport.h"
#include "ui/RenameRules.h"
#include "ui/thumbs_view_fixture.h"

namespace gq {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable while it lives.
struct ScopedEnv {
  ScopedEnv(const char* name, const std::string& value) : name(name) {
    const char* old = std::getenv(name);
    had = old != nullptr;
    if (had) saved = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { had ? setenv(name, saved.c_str(), 1) : unsetenv(name); }
  const char* name;
  bool had;
  std::string saved;
};

QString ScreenshotFolder() {
  const char* binary = std::getenv("GQ_TEST_BINARY_DIR");
  const QString folder = QString(binary ? binary : "/tmp") + "/screenshots";
  QDir().mkpath(folder);
  return folder;
}

class ThumbsCommandsTest : public ThumbsViewTest {
 protected:
  // One real file and its record per name, in a folder of this test's own.
  void FillFiles(const std::vector<std::string>& names) {
    folder = test::FolderForThisTest("thumbs_");
    for (const std::string& name : names) {
      std::ofstream(folder + "/" + name) << name;
      ids.push_back(
          data.AddPicture(folder + "/" + name, GeneratedPicture(ids.size() + 1))->m_LfdNr);
    }
  }
  std::string PathOf(size_t i) {
    const ImageRecord* record = data.db.FindByLfdNr(ids[i]);
    return record ? record->m_Path : "";
  }
  std::string folder;
};

TEST_F(ThumbsCommandsTest, ContextMenuOffersThePictureCommands) {
  Fill(12);
  Show();
  std::string filledFor;
  view->hooks.fillOpenWith = [&](QMenu* tools, const std::string& path) {
    filledFor = path;
    tools->addAction("Tool");
  };
  std::vector<int> modes;
  view->hooks.listModeChanged = [&](int mode) { modes.push_back(mode); };
  std::vector<std::string> items;
  int icons = 0;
  bool boldFirst = false, sortedList = false, hint = true;
  onMenu = [&](QMenu* menu) {
    EXPECT_EQ(menu->objectName(), "131");
    items.clear();
    icons = 0;
    for (const QAction* action : menu->actions()) {
      items.push_back(action->isSeparator() ? "-" : action->text().toStdString());
      icons += !action->icon().isNull();
      if (action->text().startsWith("Copy by")) hint = action->isEnabled();
    }
    boldFirst = menu->defaultAction() == menu->actions().first();
    sortedList = menu->findChild<QAction*>("32803")->isEnabled();
    emit menu->findChild<QMenu*>("OpenWith")->aboutToShow();
    if (menus.size() == 1) {
      EXPECT_TRUE(menu->grab().save(ScreenshotFolder() + "/thumbs_menu.png"));
    }
  };
  const std::vector<std::string> expected = {"&Search Similar\tReturn",
                                             "View in &Window\tSpace",
                                             "View &Fullscreen\tShift-Space",
                                             "View in Sorted &List\tCtrl-L",
                                             "&View External\tCtrl-Space",
                                             "&Open with...",
                                             "-",
                                             "&Copy to Clipboard\tCtrl-C",
                                             "Copy by Drag&&Drop\tMouse",
                                             "-",
                                             "&Rename File\tCtrl-R",
                                             "Dele&te File(s) from Disk\tCtrl-Del",
                                             "&Delete from DB\tDel",
                                             "-",
                                             "&Explore Directory\tCtrl-E",
                                             "&Properties"};
  Click(1);
  WatchMenu();
  Key(Qt::Key_Menu);  // at the bottom-left corner of the current picture's cell
  ASSERT_EQ(menus.size(), 1u);
  const CellRect cell = CellOf(1, Layout(), 0);
  EXPECT_EQ(menus[0], view->viewport()->mapToGlobal(QPoint(cell.left, cell.bottom)));
  EXPECT_EQ(items, expected);
  EXPECT_TRUE(boldFirst);
  EXPECT_EQ(icons, 8);
  EXPECT_TRUE(sortedList);
  EXPECT_FALSE(hint);
  EXPECT_EQ(filledFor, "/pics/p101.jpg");

  view->SetListMode(kListSortedByFile, false);
  WatchMenu();
  Key(Qt::Key_Menu);
  EXPECT_FALSE(sortedList);
  view->RunCommand(kCmdSearchSimilar);
  WatchMenu();
  Key(Qt::Key_Menu);
  EXPECT_EQ(items[0], "End Search Similar\tReturn");
  view->RunCommand(kCmdSearchSimilar);  // ends the search: back to the previous mode
  EXPECT_EQ(modes, (std::vector<int>{kListSortedByFile, kListSearchSimilar, kListSortedByFile}));

  view->SetCurrentPicture(-1);  // the view offers no menu without a current picture
  WatchMenu();
  Click(30, {}, Qt::RightButton);
  EXPECT_EQ(menus.size(), 3u);
  WatchMenu();  // the viewer's menu is offered anyway
  view->HandleMessage(MsgContextMenuAt, static_cast<uintptr_t>(InputWindow::kViewer),
                      PackScreenPoint(40, 50));
  ASSERT_EQ(menus.size(), 4u);
  EXPECT_EQ(menus.back(), QPoint(40, 50));
  EXPECT_EQ(view->LastInput(), InputWindow::kViewer);

  onMenu = nullptr;
  WatchMenu("33823");  // the chosen item runs its command
  view->SetCurrentPicture(ids[3]);
  Click(3, {}, Qt::RightButton);
  EXPECT_EQ(data.db.FindByLfdNr(ids[3]), nullptr);
  EXPECT_EQ(view->LastInput(), InputWindow::kView);
}

TEST_F(ThumbsCommandsTest, CommandsActOnTheCurrentOrTheViewersPicture) {
  Fill(6);
  Show();
  std::vector<std::string> calls;
  auto record = [&calls](const char* what) {
    return [&calls, what](const std::string& path) { calls.push_back(what + path); };
  };
  view->hooks.viewExternal = record("external ");
  view->hooks.showProperties = record("properties ");
  view->hooks.exploreDirectory = record("explore ");
  view->hooks.viewerCommand = [&](int command) { calls.push_back(std::to_string(command)); };
  view->hooks.copyToClipboard = [&](const std::vector<std::string>& paths, bool cut) {
    calls.push_back((cut ? "cut " : "copy ") + std::to_string(paths.size()));
    return true;
  };
  std::string viewerFile;
  view->hooks.viewerPath = [&] { return viewerFile; };

  for (int command : {kCmdViewExternal, kCmdProperties, kCmdExploreDirectory, kCmdRenameFile}) {
    EXPECT_TRUE(view->RunCommand(command));  // no current picture: a beep each
  }
  EXPECT_EQ(boxes.Beeps().size(), 4u);
  EXPECT_FALSE(view->RunCommand(kCmdOpen));
  Click(2);
  data.db.Select(ids[4], kSelect);
  for (int command : {kCmdViewExternal, kCmdProperties, kCmdExploreDirectory, kCmdViewInWindow,
                      kCmdCopyToClipboard}) {
    view->RunCommand(command);
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"external /pics/p102.jpg", "properties /pics/p102.jpg",
                                             "explore /pics/p102.jpg", "33846", "copy 2"}));

  calls.clear();
  view->SetLastInput(InputWindow::kViewer);  // the viewer's picture becomes current first
  viewerFile = "/pics/p105.jpg";
  view->RunCommand(kCmdViewFullscreen);
  EXPECT_EQ(Current(), ids[5]);
  viewerFile = "/elsewhere/x.jpg";  // not in the database: only Explore Directory works
  view->RunCommand(kCmdExploreDirectory);
  view->RunCommand(kCmdProperties);
  EXPECT_EQ(calls, (std::vector<std::string>{"33847", "explore /elsewhere/x.jpg"}));
  EXPECT_EQ(boxes.Beeps().size(), 5u);

  const auto select = [this](const char* path) {
    return view->HandleMessage(MsgSelectPath, reinterpret_cast<uintptr_t>(path), 0);
  };
  EXPECT_EQ(select("/pics/p101.jpg"), 0);
  EXPECT_EQ(Current(), ids[1]);
  EXPECT_EQ(select("/pics/p101.jpg"), 0);
  EXPECT_EQ(select("/pics/P101.jpg"), -1);

  calls.clear();
  view->SetLastInput(InputWindow::kView);
  view->RunCommand(kCmdCutToClipboard);  // copied, then removed from the database
  EXPECT_EQ(calls, (std::vector<std::string>{"cut 1"}));
  EXPECT_EQ(data.db.FindByLfdNr(ids[1]), nullptr);
}

TEST_F(ThumbsCommandsTest, RenameInPlace) {
  FillFiles({"a.jpg", "taken.jpg"});
  Show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
  enum class End { kEnter, kEsc, kFocusLoss, kClickInCell };
  struct Case {
    const char* typed;
    End end;
    const char* name;  // the file's name afterwards
    const char* box;   // the error box shown, or ""
  } cases[] = {
      {"b", End::kEnter, "b.jpg", ""},
      {"c", End::kEsc, "b.jpg", ""},
      {"d", End::kFocusLoss, "d.jpg", ""},
      {"e", End::kClickInCell, "e.jpg", ""},
      {"f?g", End::kEnter, "e.jpg", kForbiddenNameMessage},
      {"taken", End::kEnter, "e.jpg", "Renaming failed."},
  };
  view->SetCurrentPicture(ids[0]);
  for (const Case& c : cases) {
    const std::string before = BaseNameOf(PathOf(0));
    bool opened = false;
    WhenRenameBoxOpens([&](QLineEdit* box) {
      opened = true;
      EXPECT_EQ(box->selectedText().toStdString(), before);
      const QPoint cellTop = view->viewport()->mapToGlobal(QPoint(CellOf(0, Layout(), 0).left, 0));
      EXPECT_EQ(box->mapToGlobal(QPoint()).y(), cellTop.y() + 1 + kCellSide);
      EXPECT_EQ(box->width(), kCellSide + 2 * (kCellSide / 3) + 1);
      QTest::keyClicks(box, c.typed);
      if (c.end == End::kEnter) QTest::keyClick(box, Qt::Key_Return);
      if (c.end == End::kEsc) QTest::keyClick(box, Qt::Key_Escape);
      if (c.end == End::kFocusLoss) view->setFocus();
      if (c.end == End::kClickInCell) Click(0);
    });
    const size_t shownBoxes = boxes.Texts().size();
    view->RunCommand(kCmdRenameFile);
    ASSERT_TRUE(opened) << c.typed;
    EXPECT_EQ(PathOf(0), folder + "/" + c.name) << c.typed;
    EXPECT_TRUE(fs::exists(folder + "/" + c.name)) << c.typed;
    const std::vector<std::string> texts = boxes.Texts();
    EXPECT_EQ(texts.size() > shownBoxes ? texts.back() : "", c.box) << c.typed;
    EXPECT_EQ(Current(), ids[0]) << c.typed;
  }
  EXPECT_EQ(status, folder + "/e.jpg");
  std::string kept;
  std::ifstream(folder + "/taken.jpg") >> kept;
  EXPECT_EQ(kept, "taken.jpg");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

TEST_F(ThumbsCommandsTest, DeleteFilesMovesThemToTheTrash) {
  FillFiles({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"});
  const ScopedEnv home("HOME", folder);
  const ScopedEnv data("XDG_DATA_HOME", folder + "/share");
  const std::string trash = folder + "/share/Trash/files/";
  fs::create_directory(folder + "/share");
  Show();
  bool allowed = false;
  view->hooks.fileListAllowed = [&](const std::vector<std::string>&) { return allowed; };
  Click(0);
  view->RunCommand(kCmdDeleteFiles);  // refused by the list rule: a beep, no question
  EXPECT_EQ(boxes.Beeps().size(), 1u);
  EXPECT_TRUE(boxes.Texts().empty());
  allowed = true;
  boxes.Answer(IDNO);
  view->RunCommand(kCmdDeleteFiles);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Move 1 file to the trash?"}));
  EXPECT_EQ(PathOf(0), folder + "/a.jpg");
  EXPECT_TRUE(fs::exists(folder + "/a.jpg"));

  Click(1, Qt::ControlModifier);
  view->RunCommand(kCmdDeleteFiles);
  EXPECT_EQ(boxes.Texts().back(), "Move 2 files to the trash?");
  EXPECT_EQ(status, "2 Files Deleted.");
  for (const char* name : {"a.jpg", "b.jpg"}) {
    EXPECT_FALSE(fs::exists(folder + "/" + name)) << name;
    EXPECT_TRUE(fs::exists(trash + name)) << name;
  }
  EXPECT_EQ(PathOf(0), "");
  EXPECT_EQ(PathOf(1), "");
  EXPECT_EQ(Current(), ids[3]);  // now at the deleted current picture's place

  fs::remove(folder + "/e.jpg");  // one file is gone already: the other still goes
  Click(2, Qt::ControlModifier);
  EXPECT_EQ(Current(), ids[4]);
  view->RunCommand(kCmdDeleteFiles);
  EXPECT_EQ(status, "Could not delete file(s).");
  EXPECT_EQ(boxes.Beeps().size(), 2u);
  EXPECT_TRUE(fs::exists(trash + "d.jpg"));
  EXPECT_EQ(PathOf(3), "");
  EXPECT_EQ(PathOf(4), folder + "/e.jpg");
}

TEST_F(ThumbsCommandsTest, RemoveFromDbKeepsThePlace) {
  Fill(8);
  Show();
  view->RunCommand(kCmdDeleteFromDb);  // nothing concerned
  EXPECT_EQ(boxes.Beeps().size(), 1u);
  for (int i : {0, 1, 2}) Click(i);
  Key(Qt::Key_Delete);
  EXPECT_EQ(status, "Picture removed from DB.");
  EXPECT_EQ(Current(), ids[3]);
  Click(3, Qt::ControlModifier);  // ids[4] current, ids[3] selected
  view->RunCommand(kCmdDeleteFromDb);
  EXPECT_EQ(status, "2 pictures removed from DB.");
  EXPECT_EQ(Current(), ids[6]);
  EXPECT_EQ(data.db.Count(), 5);
  EXPECT_EQ(data.db.SelectionCount(), 0);
  ASSERT_TRUE(view->HistoryBack(true));  // the removed pictures are dropped when met
  EXPECT_EQ(Current(), ids[1]);
  Key(Qt::Key_End);
  Key(Qt::Key_Delete);  // the last picture: the new last one becomes current
  EXPECT_EQ(Current(), ids[6]);
}

}  // namespace
}  // namespace gq
