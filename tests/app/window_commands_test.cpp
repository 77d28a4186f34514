#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <fstream>

#include "app/WindowCommands.h"
#include "db/DbFormat.h"
#include "db/FileLayer.h"
#include "frame/Settings.h"
#include "loading/LoaderTestSupport.h"
#include "search/SearchEngine.h"
#include "ui/FileDialogs.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"
#include "ui/ThumbsView.h"

namespace gq {
namespace {

constexpr int kCmdUpdateAll = 33861;
constexpr int kCmdCloseDb = 33821;

QMimeData* UriList(const std::vector<std::string>& paths) {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  for (const std::string& path : paths)
    urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
  data->setUrls(urls);
  return data;
}

// The main window over a real database, loader and thumbnail view, with the command
// layer between them and file dialogs that answer with the names set in chosen.
class WindowCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_settings = ProgramSettings{};
    folder = test::FolderForThisTest("wc_");
    status.m_PauseOnError = false;
    loading.Install(host);
    loading.onLoadingDone = [this](bool) { ++jobsDone; };
    loader.discardQueued = [this] { LoadingHost::DiscardQueuedHandOvers(host.Window()); };
    db.Host().stopLoading = [this](int ms) { return loader.Stop(false, ms); };
    db.Host().statusText = [this](const std::string& text, int hold) { status.Show(text, hold); };
    dialogs.SetRunner([this](FileDialogKind kind, const std::string&) {
      kinds.push_back(kind);
      return std::exchange(chosen, {});
    });
    window.commandHandler = [this](int id) { return commands.Run(id); };
    window.dropHandler = [this](const QMimeData& data) { commands.Drop(data); };
  }
  void TearDown() override { g_LoaderState.pause = false; }

  std::string Picture(const std::string& name, unsigned seed) {
    std::string path = folder + "/" + name;
    test::WritePicture(path, 40, 30, seed);
    return path;
  }
  // A database file holding one record.
  std::string DatabaseFile(const std::string& name) {
    ImageRecordDB other;
    other.AddRecord(test::MakeTestRecord("/elsewhere/1.jpg", 7), false);
    std::string path = folder + "/" + name;
    EXPECT_TRUE(SaveDatabase(other, path, false));
    other.ClearAll();
    return path;
  }
  void Drop(QMimeData* data) {
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    delete data;
  }
  void WaitForJobs(int n) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return jobsDone >= n; }, 10000)) << jobsDone;
  }

  QtHost host;  // before the scripted boxes, which replace its dialogs
  test::ScriptedMessageBox boxes;
  std::string folder;
  StatusBar status{[](const std::string&) {}};
  ImageRecordDB db;
  SearchEngine engine{db};
  LoadingHost loading{db, status};
  Loader loader{std::make_shared<WindowSink>(host.Target()), 1};
  MainWindow window{"GlimmerQuorumAppClass_t", host.Target(), &status};
  ThumbsView* view = new ThumbsView(db, engine, window.ClientArea());
  FileDialogs dialogs{&window};
  WindowCommands commands{CommandTargets{db, engine, loader, status, window, *view, dialogs}};
  std::vector<std::string> chosen;
  std::vector<FileDialogKind> kinds;
  int jobsDone = 0;
};

TEST_F(WindowCommandsTest, DropsAddFilesAndFoldersAndOpenDatabases) {
  std::string one = Picture("one.png", 1);
  std::string pictures = folder + "/pictures";
  mkdir(pictures.c_str(), 0755);
  test::WritePicture(pictures + "/a.png", 40, 30, 2);
  test::WritePicture(pictures + "/b.png", 40, 30, 3);
  std::vector<std::string> three = {Picture("x.png", 4), Picture("y.png", 5), Picture("z.png", 6)};
  std::string database = DatabaseFile("Other.GQDB");
  struct {
    std::vector<std::string> dropped;
    int jobs;
    int count;
  } cases[] = {
      {{one}, 1, 1},
      {three, 2, 4},
      {{pictures}, 3, 6},
      {{database}, 3, 1},
  };
  for (const auto& c : cases) {
    Drop(UriList(c.dropped));
    WaitForJobs(c.jobs);
    EXPECT_EQ(db.Count(), c.count) << c.dropped[0];
  }
  EXPECT_EQ(db.File().Name(), database);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Save Database?"});
  Drop(UriList({folder + "/gone.png"}));
  EXPECT_EQ(status.Current(), "Drag&Drop Error.");
}

TEST_F(WindowCommandsTest, PasteLoadsAFileListAndBeepsAtOtherText) {
  auto* copied = new QMimeData;
  std::string list = "copy\nfile://" + Picture("p 1.png", 1) + "\nfile://" + Picture("p2.png", 2);
  copied->setData("x-special/gnome-copied-files",
                  QByteArray::fromStdString(list).replace(" ", "%20"));
  QApplication::clipboard()->setMimeData(copied);
  window.RunCommand(kCmdPaste);
  WaitForJobs(1);
  EXPECT_EQ(db.Count(), 2);
  QApplication::clipboard()->setText("not a path at all\n" + QString::fromStdString(folder));
  window.RunCommand(kCmdPaste);
  EXPECT_EQ(boxes.Beeps().size(), 1u);
  EXPECT_FALSE(loader.IsLoading());
}

TEST_F(WindowCommandsTest, OpenWithTwoFilesLoadsBothThroughOneQuotedString) {
  std::string x = Picture("x.png", 1);
  std::string y = Picture("y.png", 2);
  EXPECT_EQ(DialogResult({x, y, folder + "/gone.png"}, ""), "\"" + x + "\" \"" + y + "\"");
  chosen = {x, y};
  window.RunCommand(kCmdOpen);
  WaitForJobs(1);
  EXPECT_EQ(db.Count(), 2);
  EXPECT_EQ(kinds, std::vector<FileDialogKind>{FileDialogKind::kOpen});
}

TEST_F(WindowCommandsTest, ClosingReportsWhetherASaveTookPlace) {
  db.AddRecord(test::MakeTestRecord("/n/1.jpg", 1), false);
  db.File().SetName(folder + "/saved.gqdb");
  db.SetClean(true);
  window.RunCommand(kCmdCloseDb);
  EXPECT_EQ(status.Current(), "Cleared Database");

  db.AddRecord(test::MakeTestRecord("/n/2.jpg", 2), false);
  chosen = {folder + "/chosen"};
  boxes.Answer(IDYES);
  window.RunCommand(kCmdCloseDb);
  EXPECT_EQ(kinds, std::vector<FileDialogKind>{FileDialogKind::kSaveDatabase});
  EXPECT_EQ(status.Current(), "Closed Database.");
  EXPECT_TRUE(FileExists(folder + "/chosen.gqdb"));
  EXPECT_TRUE(boxes.Beeps().empty());
}

TEST_F(WindowCommandsTest, TheLoadMessageCountsUnusedBytesInMiBAboveTenMiB) {
  std::string path = DatabaseFile("big.gqdb");
  struct {
    int64_t unusedKiB;
    const char* text;
  } cases[] = {
      {10240, "Loaded Database."},
      {10241, "Loaded Database. --- Use \"Save DB As\" to save 10 MB."},
      {20480, "Loaded Database. --- Use \"Save DB As\" to save 20 MB."},
  };
  for (const auto& c : cases) {
    commands.CloseDatabase(false);
    int64_t unused = c.unusedKiB * 1024;
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(kDbUnusedOffset);
    file.write(reinterpret_cast<const char*>(&unused), sizeof unused);
    file.close();
    chosen = {path};
    window.RunCommand(kCmdOpen);
    EXPECT_EQ(status.Current(), c.text) << c.unusedKiB;
    EXPECT_EQ(db.Count(), 1);
  }
}

TEST_F(WindowCommandsTest, UpdateAllWhileAnUpdateRunsBeepsAndLeavesItAlone) {
  db.AddRecord(test::MakeTestRecord("/u/1.jpg", 1), false);
  g_LoaderState.updateRunning = true;
  window.RunCommand(kCmdUpdateAll);
  EXPECT_EQ(boxes.Beeps().size(), 1u);
  EXPECT_EQ(status.Current(),
            "Update still in progress --- Use \"Stop Loading\" to cancel update.");
  EXPECT_TRUE(g_LoaderState.updateRunning);
  EXPECT_GT(db.Records()[0]->m_FileTime, 0);  // not marked for an update
  g_LoaderState.updateRunning = false;
}

TEST_F(WindowCommandsTest, OpeningAsksBeforeStoppingARunningLoad) {
  loader.SetPause(true);
  ASSERT_TRUE(loader.StartPathJob(Picture("held.png", 1)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return loader.IsLoading(); }));
  boxes.Answer(IDNO);
  window.RunCommand(kCmdOpen);
  EXPECT_TRUE(loader.IsLoading());
  boxes.Answer(IDYES);
  window.RunCommand(kCmdOpen);
  EXPECT_FALSE(loader.IsLoading());
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>(2, "Loading still in progress. Stop?"));
  EXPECT_EQ(kinds.size(), 2u);  // the dialog comes in both cases
}

TEST_F(WindowCommandsTest, ExitClosesTheDatabaseOnceWhileTheWindowIsThere) {
  InstallWindowCommands(db, engine, loader, status, window, *view, host);
  db.AddRecord(test::MakeTestRecord("/e/1.jpg", 1), false);
  db.File().SetName(folder + "/exit.gqdb");
  window.RunCommand(105);
  ASSERT_TRUE(QTest::qWaitFor([&] { return db.Count() == 0; }));
  CloseDatabase(db, false);  // what the program's shut-down does after the loop
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Save Database?"});
  EXPECT_TRUE(FileExists(folder + "/exit.gqdb"));
}

TEST_F(WindowCommandsTest, ASignalEndsTheProgramWithoutWaitingForAFileDialog) {
  InstallWindowCommands(db, engine, loader, status, window, *view, host);
  db.AddRecord(test::MakeTestRecord("/e/1.jpg", 1), false);  // no file: Save asks a name
  host.Target().Post(kMsgClose, kCloseBySignal);
  ASSERT_TRUE(QTest::qWaitFor([&] { return db.Count() == 0; }));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Save Database?"});
}

TEST(FileDialogsTest, OneDialogAtATimeWithTheFiltersOfItsKind) {
  EXPECT_EQ(NameFilters(FileDialogKind::kSaveDatabase),
            QStringList({"GlimmerQuorum DB (*.gqdb)", "All Files (*)"}));
  std::unique_ptr<QFileDialog> save = MakeFileDialog(FileDialogKind::kSaveText, nullptr, "/");
  EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
  EXPECT_EQ(save->defaultSuffix(), "txt");
  EXPECT_EQ(MakeFileDialog(FileDialogKind::kOpen, nullptr, "/")->fileMode(),
            QFileDialog::ExistingFiles);
  FileDialogs dialogs(nullptr);
  std::string inner = "not asked";
  dialogs.SetRunner([&](FileDialogKind, const std::string&) {
    inner = dialogs.SaveText();
    return std::vector<std::string>{"/tmp/list"};
  });
  EXPECT_EQ(dialogs.SaveText(), "/tmp/list.txt");
  EXPECT_EQ(inner, "");
}

}  // namespace
}  // namespace gq
