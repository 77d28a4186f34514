#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "search/DuplicateSearch.h"
#include "search/SearchTestSupport.h"
#include "signature/CriteriaFile.h"
#include "support/ScriptedMessageBox.h"
#include "ui/AboutDialog.h"
#include "ui/BackgroundColourDialog.h"
#include "ui/CriteriaDialog.h"
#include "ui/DuplicatesDialog.h"
#include "ui/FindTextDialog.h"
#include "ui/ImportFilterDialog.h"
#include "ui/MosaicDialog.h"
#include "ui/ThumbsView.h"
#include "ui/ValueDialog.h"

namespace gq {
namespace {

namespace fs = std::filesystem;

fs::path FreshFolder() {
  const fs::path folder =
      fs::path(::testing::TempDir()) /
      ("gq-dialogs-" +
       std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

// Writes the picture as a binary PPM file.
void WritePpm(const std::string& path, const PackedImage& picture) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << picture.width << " " << picture.height << "\n255\n";
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t* p = picture.row(y) + 3 * x;
      const char rgb[3] = {static_cast<char>(p[2]), static_cast<char>(p[1]),
                           static_cast<char>(p[0])};
      out.write(rgb, 3);
    }
  }
}

// Restores the default criteria and drops the hooks after each criteria test.
class CriteriaDialogTest : public ::testing::Test {
 protected:
  CriteriaDialogTest() {
    SetCriteriaHooks({});
    SetCurrentCriteria(DefaultCriteria());
  }
  ~CriteriaDialogTest() override { SetCurrentCriteria(DefaultCriteria()); }
  int Slider(int control) { return dialog.findChild<QSlider*>(QString::number(control))->value(); }
  void Press(int control) {
    QTest::mouseClick(dialog.findChild<QPushButton*>(QString::number(control)), Qt::LeftButton);
  }
  CriteriaDialog dialog;
};

TEST_F(CriteriaDialogTest, PresetsAndSlidersChangeTheCurrentCriteria) {
  Press(1028);  // Global: important
  for (int control : {1004, 1037, 1038, 1039}) EXPECT_EQ(Slider(control), 100) << control;
  EXPECT_EQ(CurrentCriteria().value[kTexture], 100);
  EXPECT_EQ(Slider(1000), 50);
  Press(1016);  // Coarse: ignore leaves the centre
  for (int control : {1000, 1001, 1002}) EXPECT_EQ(Slider(control), 0) << control;
  dialog.findChild<QSlider*>("1003")->setValue(80);
  EXPECT_EQ(CurrentCriteria().value[kCoarseCentre], 80);
  Press(1017);  // Coarse: normal sets the centre to 50 too
  EXPECT_EQ(Slider(1003), 50);
  EXPECT_EQ(Slider(1000), 50);
  Press(1020);  // Local: ignore
  EXPECT_EQ(Slider(1015), 0);
  EXPECT_EQ(Slider(1005), 10);  // Format belongs to no group
}

TEST_F(CriteriaDialogTest, SaveAndLoadRoundTrip) {
  test::ScriptedMessageBox boxes;
  const fs::path folder = FreshFolder();
  const std::string file = (folder / "mine.txt").string();
  int loads = 0;
  dialog.hooks.askFileName = [&](bool) { return file; };
  dialog.hooks.criteriaLoaded = [&] { ++loads; };
  dialog.findChild<QSlider*>("1018")->setValue(7);
  dialog.findChild<QSlider*>("1010")->setValue(93);
  const Criteria saved = CurrentCriteria();
  QTest::mouseClick(dialog.findChild<QPushButton*>("save"), Qt::LeftButton);
  SetCurrentCriteria(DefaultCriteria());
  dialog.RefreshSliders();
  QTest::mouseClick(dialog.findChild<QPushButton*>("load"), Qt::LeftButton);
  EXPECT_EQ(CurrentCriteria(), saved);
  EXPECT_EQ(Slider(1018), 7);
  EXPECT_EQ(Slider(1010), 93);
  EXPECT_EQ(loads, 1);

  // A value out of range is shown clipped but kept as read.
  std::ofstream(file) << " 150" + CriteriaText(DefaultCriteria()).substr(3);
  EXPECT_TRUE(dialog.LoadCriteria(file));
  EXPECT_EQ(Slider(1000), 100);
  EXPECT_EQ(CurrentCriteria().value[kCoarseColour], 150);

  std::ofstream(file) << " 1 2 x";
  EXPECT_FALSE(dialog.LoadCriteria(file));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Can't read criterias file."});
  EXPECT_EQ(Slider(1001), 2);  // numbers before the failure are stored
}

// A shown view over a generated collection with near copies, and its engine.
class ToolDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = FreshFolder();
    for (uint32_t i = 0; i < 24; ++i) {
      const PackedImage picture = test::GeneratedPicture(i + 1);
      const std::string path = (folder / ("p" + std::to_string(100 + i) + ".ppm")).string();
      WritePpm(path, picture);
      ids.push_back(data.AddPicture(path, picture)->m_LfdNr);
      data.AddPicture((folder / ("q" + std::to_string(100 + i) + ".ppm")).string(),
                      test::Perturbed(picture, i));
    }
    view = std::make_unique<ThumbsView>(data.db, *data.engine);
    view->resize(500, 300);
    view->show();
    view->Refresh(true, false);
  }
  test::SearchFixture data;
  fs::path folder;
  std::vector<int32_t> ids;
  std::unique_ptr<ThumbsView> view;
};

TEST_F(ToolDialogTest, DuplicatesDialogSearchesCancelsAndQuits) {
  DuplicatesDialog dialog(*data.engine);
  int switches = 0;
  dialog.hooks.showDuplicatesView = [&] { ++switches; };
  auto* search = dialog.findChild<QPushButton*>("search");
  auto* result = dialog.findChild<QLabel*>("result");
  EXPECT_EQ(result->text(), "No search done yet.");

  QTest::mouseClick(search, Qt::LeftButton);
  EXPECT_EQ(switches, 1);
  const int32_t grouped = static_cast<int32_t>(data.db.GroupList().count);
  EXPECT_GT(grouped, 0);
  EXPECT_EQ(result->text().toStdString(), std::to_string(grouped) + " potential duplicates.");
  EXPECT_EQ(search->text(), "&Search");

  // A press while it runs (dispatched between the first steps) cancels at once.
  QMetaObject::invokeMethod(search, "click", Qt::QueuedConnection);
  EXPECT_EQ(dialog.Search(), RunOutcome::kCancelled);
  EXPECT_TRUE(result->text().startsWith("Search canceled. ")) << result->text().toStdString();
  EXPECT_LT(static_cast<int32_t>(data.db.GroupList().count), grouped);
  EXPECT_FALSE(DuplicateSearchBusy());

  // A quit request ends the run at once and is posted again for the event loop.
  QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
  EXPECT_EQ(dialog.Search(), RunOutcome::kQuit);
  EXPECT_FALSE(DuplicateSearchBusy());
  QCoreApplication::removePostedEvents(QCoreApplication::instance(), QEvent::Quit);
}

class MosaicDialogTest : public ToolDialogTest {
 protected:
  void SetUp() override {
    ToolDialogTest::SetUp();
    out = (folder / "mosaic.bmp").string();
    dialog = std::make_unique<MosaicDialog>(*data.engine, *view);
    dialog->hooks.viewFile = [this](const std::string& path) { viewed.push_back(path); };
    view->SetCurrentPicture(ids[5]);
    SetFields();
  }
  void SetFields() {
    Field("1027")->setText("4");
    Field("1026")->setText("3");
    Field("1030")->setText("80");
    Field("1031")->setText("60");
    Field("1028")->setText(QString::fromStdString(out));
  }
  QLineEdit* Field(const char* control) { return dialog->findChild<QLineEdit*>(control); }
  std::string out;
  std::unique_ptr<MosaicDialog> dialog;
  std::vector<std::string> viewed;
};

TEST_F(MosaicDialogTest, CreatesViewsAndCancels) {
  test::ScriptedMessageBox boxes;
  EXPECT_EQ(dialog->Create(), RunOutcome::kFinished);
  EXPECT_TRUE(fs::exists(out));
  EXPECT_EQ(viewed, std::vector<std::string>{out});
  EXPECT_EQ(dialog->findChild<QPushButton*>("create")->text(), "&Create");

  fs::remove(out);
  QMetaObject::invokeMethod(dialog->findChild<QPushButton*>("create"), "click",
                            Qt::QueuedConnection);
  EXPECT_EQ(dialog->Create(), RunOutcome::kCancelled);
  EXPECT_TRUE(fs::exists(out)) << "a cancelled run writes its partial mosaic";
  EXPECT_FALSE(MosaicBusy());

  QTest::mouseClick(dialog->findChild<QPushButton*>("widthToHeight"), Qt::LeftButton);
  EXPECT_EQ(Field("1031")->text(), "60");  // 80 wide keeps the source's 4:3
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(MosaicDialogTest, BadParametersAreReportedBeforeTheRun) {
  struct Case {
    const char* what;
    const char* control;
    const char* text;
    const char* writtenBack;  // the field afterwards
    const char* box;          // the start of the error box
  };
  const Case cases[] = {
      {"not a number", "1027", "4x", "4x", "Error reading parameters."},
      {"columns beyond 1000", "1027", "5000", "1000", "Error reading parameters."},
      {"height below the rows", "1031", "2", "3", "Error reading parameters."},
      {"a folder that does not exist", "1028", "/no/such/folder/m.bmp", nullptr,
       "The folder of the mosaic file does not exist"},
      {"an unknown extension", "1028", "m.xyz", nullptr, "The mosaic file must end in"},
      {"cells under 3 pixels", "1027", "50", "50",
       "Picture is too small for given number of rows and columns."},
  };
  for (const Case& c : cases) {
    SetFields();
    test::ScriptedMessageBox boxes;
    Field(c.control)->setText(c.text);
    EXPECT_EQ(dialog->Create(), RunOutcome::kSetupFailed) << c.what;
    if (c.writtenBack) {
      EXPECT_EQ(Field(c.control)->text(), c.writtenBack) << c.what;
    }
    ASSERT_EQ(boxes.Texts().size(), 1u) << c.what;
    EXPECT_EQ(boxes.Texts()[0].rfind(c.box, 0), 0u) << c.what << ": " << boxes.Texts()[0];
    EXPECT_FALSE(fs::exists(out)) << c.what;
    EXPECT_TRUE(viewed.empty()) << c.what;
  }
  SetFields();
  test::ScriptedMessageBox boxes;
  view->SetCurrentPicture(-1);
  EXPECT_EQ(dialog->Create(), RunOutcome::kSetupFailed);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"No picture selected."});
}

// Each dialog shown and saved as a picture under the build folder.
TEST_F(ToolDialogTest, Screenshots) {
  const char* binary = std::getenv("GQ_TEST_BINARY_DIR");
  const fs::path shots = fs::path(binary ? binary : ".") / "screenshots";
  fs::create_directories(shots);
  auto save = [&](QWidget* dialog, const char* name) {
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog)) << name;
    const QString path = QString::fromStdString((shots / name).string());
    EXPECT_TRUE(dialog->grab().save(path)) << name;
    dialog->hide();
  };
  FindTextDialog find(data.db, *view);
  save(&find, "dialog-find.png");
  AboutDialog about;
  save(&about, "dialog-about.png");
  ImportFilterDialog import;
  save(&import, "dialog-import-filter.png");
  ValueDialog value(250);
  save(&value, "dialog-value.png");
  std::unique_ptr<QColorDialog> colour(MakeBackgroundColourDialog(0x00F0E0D0, nullptr));
  save(colour.get(), "dialog-background-colour.png");
  CriteriaDialog criteria;
  save(&criteria, "dialog-criteria.png");
  DuplicatesDialog duplicates(*data.engine);
  save(&duplicates, "dialog-duplicates.png");
  MosaicDialog mosaic(*data.engine, *view);
  save(&mosaic, "dialog-mosaic.png");
}

}  // namespace
}  // namespace gq
