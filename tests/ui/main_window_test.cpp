#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QToolBar>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "frame/Settings.h"
#include "frame/StatusBar.h"
#include "platform/Beep.h"
#include "ui/CommandTable.h"
#include "ui/MainWindow.h"
#include "ui/ProgressCallbacks.h"
#include "ui/ProgressPane.h"
#include "ui/QtHost.h"

namespace gq {
namespace {

constexpr int kCmdCloseDb = 33821;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_settings = ProgramSettings{};
    m_PreviousBeep = SetBeepBackend([this](const BeepEvent&) { ++m_Beeps; });
    m_Window.show();
    QApplication::setActiveWindow(&m_Window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_Window));
  }
  void TearDown() override { SetBeepBackend(std::move(m_PreviousBeep)); }

  QtHost m_Host;
  StatusBar m_Status{[](const std::string&) {}};
  MainWindow m_Window{"GlimmerQuorumAppClass_t", m_Host.Target(), &m_Status};
  int m_Beeps = 0;
  BeepBackend m_PreviousBeep;
};

TEST_F(MainWindowTest, AcceleratorsRunTheirCommands) {
  m_Window.fillCommandState = [](CommandState& state) { state.canGoForward = true; };
  m_Window.RefreshCommandState();
  struct {
    int id;
    QKeyCombination key;
  } cases[] = {
      {32783, Qt::CTRL | Qt::Key_O},        {33870, Qt::ALT | Qt::Key_O},
      {33861, QKeyCombination(Qt::Key_F5)}, {33866, Qt::CTRL | Qt::ALT | Qt::Key_F5},
      {32804, Qt::CTRL | Qt::Key_S},        {33815, Qt::ALT | Qt::Key_Right},
      {33851, Qt::ALT | Qt::Key_F},         {33851, Qt::CTRL | Qt::Key_F},
      {33853, Qt::SHIFT | Qt::Key_F3},      {33850, Qt::ALT | Qt::Key_M},
  };
  for (const auto& c : cases) {
    QSignalSpy spy(m_Window.Action(c.id), &QAction::triggered);
    QTest::keyClick(&m_Window, c.key.key(), c.key.keyboardModifiers());
    EXPECT_EQ(spy.count(), 1) << c.id << " " << QKeySequence(c.key).toString().toStdString();
  }
}

TEST_F(MainWindowTest, ViewCommandsShowAndHideTheBars) {
  QToolBar* toolBar = m_Window.findChild<QToolBar*>("ToolBar");
  QTabBar* tabs = m_Window.findChild<QTabBar*>("Tabs");
  ASSERT_EQ(toolBar->actions().size(), 33);
  struct {
    int id;
    QWidget* bar;
  } cases[] = {{kCmdToolBar, toolBar}, {kCmdTabs, tabs}, {kCmdStatusBar, m_Window.statusBar()}};
  for (const auto& c : cases) {
    for (bool shown : {false, true}) {
      m_Window.RunCommand(c.id);
      EXPECT_EQ(c.bar->isVisible(), shown) << c.id;
      EXPECT_EQ(m_Window.Action(c.id)->isChecked(), shown) << c.id;
    }
  }
  m_Window.RunCommand(kCmdTabs);
  EXPECT_EQ(m_Window.ClientArea()->geometry(), m_Window.centralWidget()->rect())
      << "without tabs the client area fills the centre";
  EXPECT_EQ(m_Beeps, 0);
}

TEST_F(MainWindowTest, TabsAndListModeCommandsFollowEachOther) {
  QTabBar* tabs = m_Window.findChild<QTabBar*>("Tabs");
  const int modes[] = {kListUnsorted, kListSortedByFile, kListSearchSimilar, kListSearchDuplicates};
  const int commands[] = {kCmdListUnsorted, kCmdListSortedByFile, kCmdListSearchSimilar,
                          kCmdListSearchDuplicates};
  for (int tab : {2, 1, 3, 0}) {
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(tab).center());
    EXPECT_EQ(m_Window.ListMode(), modes[tab]) << "tab " << tab;
    EXPECT_TRUE(m_Window.Action(commands[tab])->isChecked()) << "tab " << tab;
  }
  for (int tab : {3, 2}) {
    m_Window.RunCommand(commands[tab]);
    EXPECT_EQ(tabs->currentIndex(), tab);
    EXPECT_EQ(m_Window.ListMode(), modes[tab]);
  }
}

TEST_F(MainWindowTest, CommandsWithoutTheirActionYetBeepAndKeepTheirState) {
  m_Window.RunCommand(kCmdCloseDb);
  m_Window.Action(kCmdZoomSmall)->trigger();
  EXPECT_EQ(m_Beeps, 2);
  EXPECT_FALSE(m_Window.Action(kCmdZoomSmall)->isChecked());
  m_Window.RunCommand(kCmdPauseOnError);
  EXPECT_FALSE(m_Status.m_PauseOnError);
  EXPECT_EQ(m_Beeps, 2);
}

TEST_F(MainWindowTest, ExitAndTheCloseBoxEndTheProgramThroughTheClosePath) {
  int closes = 0;
  m_Host.SetHandler(kMsgClose, [&](unsigned, uintptr_t, intptr_t) {
    ++closes;
    PostQuitMessage(0);
    return 0;
  });
  m_Window.RunCommand(kCmdExit);
  EXPECT_EQ(m_Host.Run(), 0);
  m_Window.close();
  EXPECT_EQ(m_Host.Run(), 0);
  EXPECT_EQ(closes, 2);
}

TEST_F(MainWindowTest, TitleAndRecentDatabasesInTheFileMenu) {
  std::string folder = std::getenv("GLIMMERQUORUM_CONFIG_DIR");
  std::vector<std::string> paths = {folder + "/one.gqdb", folder + "/two.gqdb"};
  for (const std::string& path : paths) std::fclose(std::fopen(path.c_str(), "w"));
  m_Window.RefreshTitle(paths[0], true, true);
  m_Window.RefreshTitle(paths[1], true, false);
  EXPECT_EQ(m_Window.windowTitle(), "GlimmerQuorum - two*");
  QMenu* file = m_Window.menuBar()->actions().first()->menu();
  QStringList labels;
  for (QAction* action : file->actions()) labels << (action->isSeparator() ? "|" : action->text());
  EXPECT_EQ(labels.mid(labels.indexOf("&Pause Loading")),
            (QStringList{"&Pause Loading", "|", "&1 two", "&2 one", "|", "E&xit"}));
  EXPECT_EQ(m_Window.Action(kCmdFirstRecent + 1)->text(), "&2 one");

  std::filesystem::remove(paths[0]);
  m_Window.PruneRecent(1);
  EXPECT_EQ(m_Window.Action(kCmdFirstRecent + 1), nullptr);
  EXPECT_EQ(ReadHistoryEntry(0), paths[1]);
  EXPECT_EQ(ReadHistoryEntry(1), "");
}

TEST_F(MainWindowTest, ThePaneShortensLongPathsInTheMiddle) {
  QFontMetrics metrics(m_Window.Pane()->font());
  QString text = "Loading DB /home/someone/a/rather/long/folder/of/pictures/holiday.gqdb";
  for (int width : {80, 200, 400, 2000}) {
    QString shown = ElidePath(text, metrics, width);
    EXPECT_LE(metrics.horizontalAdvance(shown), std::max(width, metrics.horizontalAdvance("...")));
    if (width >= 200) {
      EXPECT_TRUE(shown.endsWith("/holiday.gqdb")) << shown.toStdString();
    }
    if (width >= 400) {
      EXPECT_TRUE(shown.startsWith("Loading DB /")) << shown.toStdString();
    }
  }
}

TEST_F(MainWindowTest, MenuItemAndToolButtonTakeTheStateWhenAMenuOpens) {
  CommandState state;
  m_Window.fillCommandState = [&state](CommandState& s) { s = state; };
  QToolBar* toolBar = m_Window.findChild<QToolBar*>("ToolBar");
  QMenu* file = m_Window.menuBar()->actions().first()->menu();
  for (bool saved : {true, false}) {
    state.hasFile = true;
    state.saved = saved;
    emit file->aboutToShow();
    EXPECT_EQ(m_Window.Action(kCmdSaveDb)->isEnabled(), !saved);
    EXPECT_EQ(toolBar->widgetForAction(m_Window.Action(kCmdSaveDb))->isEnabled(), !saved);
  }
}

TEST_F(MainWindowTest, TabClicksSelectDoubleAndRightClicksSearch) {
  QTabBar* tabs = m_Window.findChild<QTabBar*>("Tabs");
  std::vector<std::pair<int, bool>> changes;
  m_Window.listModeChanged = [&](int mode, bool search) { changes.emplace_back(mode, search); };
  auto at = [tabs](int tab) { return tabs->tabRect(tab).center(); };
  QTest::mouseClick(tabs, Qt::LeftButton, {}, at(1));
  QTest::mouseClick(tabs, Qt::LeftButton, {}, at(1), 2 * QApplication::doubleClickInterval());
  QTest::mouseDClick(tabs, Qt::LeftButton, {}, at(1));
  QTest::mouseClick(tabs, Qt::RightButton, {}, at(2));
  QTest::mouseClick(tabs, Qt::RightButton, {}, at(0));
  EXPECT_EQ(changes, (std::vector<std::pair<int, bool>>{{kListSortedByFile, false},
                                                        {kListSortedByFile, true},
                                                        {kListSearchSimilar, true},
                                                        {kListUnsorted, true}}));
  QTest::mouseClick(tabs, Qt::RightButton, {}, at(0));
  EXPECT_EQ(m_Beeps, 1) << "the Unsorted tab has no options menu";
  QTest::mouseClick(tabs, Qt::LeftButton, {}, at(3));
  QTest::mouseClick(tabs, Qt::RightButton, {}, at(3));
  QMenu* options = QApplication::activePopupWidget()
                       ? qobject_cast<QMenu*>(QApplication::activePopupWidget())
                       : nullptr;
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(options->title(), "Search Duplicates");
  options->hide();
  EXPECT_EQ(changes.size(), 5u);
}

TEST_F(MainWindowTest, AutosavePostsSaveDbAtTheThirteenthTick) {
  m_Window.fillHousekeepingFacts = [](HousekeepingFacts& facts) {
    facts = {.freeMemoryMiB = 4096, .freeDiskMiB = 4096, .hasFile = true, .saved = false};
  };
  QSignalSpy saves(m_Window.Action(kCmdSaveDb), &QAction::triggered);
  for (int tick = 1; tick <= 13; ++tick) {
    m_Window.HousekeepingTick();
    QCoreApplication::processEvents();
    EXPECT_EQ(saves.count(), tick == 13 ? 1 : 0) << tick;
  }
}

TEST_F(MainWindowTest, CtrlTabCyclesAmongShownToolWindows) {
  QWidget find, criteria, mosaic;
  auto* findText = new QLineEdit(&find);
  m_Window.SetToolWindow(ToolWindow::kFind, &find);
  m_Window.SetToolWindow(ToolWindow::kCriteria, &criteria);
  m_Window.SetToolWindow(ToolWindow::kMosaic, &mosaic);
  find.show();
  mosaic.show();
  m_Window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&m_Window));
  QTest::keyClick(&m_Window, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_TRUE(QTest::qWaitForWindowActive(&mosaic));
  QTest::keyClick(&mosaic, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_TRUE(QTest::qWaitForWindowActive(&find)) << "criteria is hidden";
  QTest::keyClick(&find, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(QTest::qWaitForWindowActive(&mosaic));
  QSignalSpy findDown(m_Window.Action(kCmdFindDown), &QAction::triggered);
  QTest::keyClick(findText, Qt::Key_F3);
  EXPECT_EQ(findDown.count(), 1) << "F3 in the find dialog finds from the main window";
}

TEST_F(MainWindowTest, ModalProgressBeepsOnInputAndEndsOnCloseOrQuit) {
  auto* progress = new ProgressCallbacks(m_Window, m_Host.Window());
  QWidget* client = m_Window.ClientArea();
  QCoreApplication::postEvent(client, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, {}, "a"));
  QCoreApplication::postEvent(client, new QKeyEvent(QEvent::KeyPress, Qt::Key_Left, {}));
  QCoreApplication::postEvent(client, new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5),
                                                      client->mapToGlobal(QPointF(5, 5)),
                                                      Qt::LeftButton, Qt::LeftButton, {}));
  EXPECT_TRUE(progress->Modal(0.5));
  EXPECT_EQ(m_Beeps, 2) << "a typed character and a click beep, the arrow key does not";
  EXPECT_EQ(m_Window.Pane()->Progress(), 0.5);

  int closes = 0;
  m_Host.SetHandler(kMsgClose, [&](unsigned, uintptr_t, intptr_t) {
    ++closes;
    PostQuitMessage(0);
    return 0;
  });
  QCoreApplication::postEvent(&m_Window, new QCloseEvent);
  EXPECT_FALSE(progress->Modal(0.6)) << "the close box ends the operation";
  EXPECT_EQ(m_Beeps, 3);
  EXPECT_TRUE(m_Window.isVisible());
  EXPECT_TRUE(progress->Modal(0.7));

  m_Host.Target().Post(kMsgClose);
  EXPECT_FALSE(progress->Modal(0.8));
  EXPECT_FALSE(progress->Interruptible(0.8));
  EXPECT_EQ(closes, 0);
  EXPECT_EQ(m_Host.Run(), 0);
  EXPECT_EQ(closes, 1) << "the close request stays queued for after the operation";
}

TEST_F(MainWindowTest, InterruptibleProgressEndsAfterAPress) {
  auto* progress = new ProgressCallbacks(m_Window, m_Host.Window());
  EXPECT_TRUE(progress->Interruptible(0.2));
  QCoreApplication::postEvent(m_Window.ClientArea(),
                              new QKeyEvent(QEvent::KeyPress, Qt::Key_Left, {}));
  EXPECT_FALSE(progress->Interruptible(0.3));
  EXPECT_EQ(m_Beeps, 0);
}

// Writes screenshots of the window for review (under the build folder).
TEST_F(MainWindowTest, Screenshots) {
  const char* binary = std::getenv("GQ_TEST_BINARY_DIR");
  std::string folder = std::string(binary ? binary : ".") + "/screenshots";
  std::filesystem::create_directories(folder);
  m_Window.resize(900, 560);
  m_Window.ShowStatusText("Loading /home/someone/Pictures/holiday/beach-0042.jpg");
  m_Window.SetProgress(0.4);
  m_Window.SetPictureCount(1234);
  const char* names[] = {"unsorted", "sorted", "similar", "duplicates"};
  const int commands[] = {kCmdListUnsorted, kCmdListSortedByFile, kCmdListSearchSimilar,
                          kCmdListSearchDuplicates};
  for (int i = 0; i < 4; ++i) {
    m_Window.RunCommand(commands[i]);
    QString path = QString::fromStdString(folder + "/main-window-" + names[i] + ".png");
    EXPECT_TRUE(m_Window.grab().save(path)) << path.toStdString();
  }
  QMenu* file = m_Window.menuBar()->actions().first()->menu();
  file->popup(m_Window.mapToGlobal(QPoint(0, 20)));
  EXPECT_TRUE(file->grab().save(QString::fromStdString(folder + "/file-menu.png")));
  file->hide();
}

}  // namespace
}  // namespace gq
