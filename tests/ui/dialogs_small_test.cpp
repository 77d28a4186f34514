#include <gtest/gtest.h>

#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <mutex>

#include "frame/Settings.h"
#include "loading/ImportFilter.h"
#include "support/ScriptedMessageBox.h"
#include "ui/AboutDialog.h"
#include "ui/BackgroundColourDialog.h"
#include "ui/ImportFilterDialog.h"
#include "ui/ValueDialog.h"

namespace gq {
namespace {

TEST(ImportFilterDialogTest, TypesAreNormalised) {
  const std::pair<const char*, const char*> cases[] = {
      {"gif, .raw;img", "gif raw img"},
      {"  tif ; ", "tif"},
      {"a\t\t\"b\"|<c>", "a b c"},
      {"", ""},
  };
  for (const auto& [typed, stored] : cases) EXPECT_EQ(NormaliseTypesField(typed), stored) << typed;
}

TEST(ImportFilterDialogTest, TestRunsTheCommandAsTypedAndOkStoresIt) {
  test::ScriptedMessageBox boxes;
  g_settings.importCommand = "old %1 %2";
  g_settings.importTypes = "gif";
  SetImportFilterTimeLimit(300);
  struct Case {
    const char* command;
    bool ok;
  };
  const Case cases[] = {
      {"/usr/bin/convert %1 %2", true},
      {"/no/such/converter %1 %2", false},
      {"/bin/sh -c \"sleep 30\" %1 %2", false},  // killed at the time limit
  };
  for (const Case& c : cases) {
    ImportFilterDialog dialog;
    EXPECT_EQ(dialog.findChild<QLineEdit*>("command")->text(), "old %1 %2");
    dialog.findChild<QLineEdit*>("command")->setText(c.command);
    dialog.findChild<QLineEdit*>("types")->setText("gif, .raw;img");
    QTest::mouseClick(dialog.findChild<QPushButton*>("test"), Qt::LeftButton);
    EXPECT_EQ(dialog.findChild<QLineEdit*>("types")->text(), "gif raw img");
    ASSERT_FALSE(boxes.Texts().empty());
    const std::string text = boxes.Texts().back();
    if (c.ok) {
      EXPECT_EQ(text, "Test OK");
    } else {
      EXPECT_EQ(text.rfind("Test failed.\n\nUsed 32x32 picture of type PPM (ASCII).\n\n"
                           "Command was:\n\n",
                           0),
                0u);
      EXPECT_NE(text.find("t e s t.ppm"), std::string::npos) << text;
    }
    EXPECT_EQ(g_settings.importCommand, "old %1 %2") << "a test changes no setting";
  }
  SetImportFilterTimeLimit(60000);

  ImportFilterDialog dialog;
  dialog.findChild<QLineEdit*>("command")->setText("/usr/bin/convert %1 %2");
  dialog.findChild<QLineEdit*>("types")->setText(" pcx;tga ");
  QTest::mouseClick(dialog.findChild<QPushButton*>("ok"), Qt::LeftButton);
  std::lock_guard<std::mutex> lock(ImportFilterLock());
  EXPECT_EQ(g_settings.importCommand, "/usr/bin/convert %1 %2");
  EXPECT_EQ(g_settings.importTypes, "pcx tga");
}

TEST(ValueDialogTest, OkReadsASignedNumberAndLettersLeaveTheValue) {
  const std::pair<const char*, int32_t> cases[] = {{"-5", -5}, {"  120", 120}, {"12abc", 12},
                                                   {"abc", 7}, {"", 7},        {"+3", 3}};
  for (const auto& [text, expected] : cases) {
    ValueDialog dialog(7);
    EXPECT_EQ(dialog.findChild<QLineEdit*>("value")->text(), "7");
    dialog.findChild<QLineEdit*>("value")->setText(text);
    QTest::mouseClick(dialog.findChild<QPushButton*>("ok"), Qt::LeftButton);
    EXPECT_EQ(dialog.Value(), expected) << text;
  }
}

TEST(ValueDialogTest, StaysOnTheDesktop) {
  const QRect desktop(0, 0, 1000, 800);
  const QSize size(200, 80);
  struct Case {
    QPoint mouse;
    QPoint expected;
  };
  const Case cases[] = {
      {{300, 300}, {300, 280}},  // raised by the caption
      {{950, 790}, {800, 720}},  // kept inside at the right and bottom
      {{-50, 5}, {0, 0}},        // never beyond the left and top
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ValueDialogPosition(c.mouse, 20, size, desktop), c.expected) << c.mouse.x();
  }
}

TEST(AboutDialogTest, ShowsTheVersionAndTheLinkOpensTheProjectPage) {
  AboutDialog dialog;
  std::vector<QUrl> opened;
  dialog.openUrl = [&](const QUrl& url) {
    opened.push_back(url);
    return true;
  };
  EXPECT_EQ(dialog.findChild<QLabel*>("version")->text(), "GlimmerQuorum Version 2.0.6 E");
  QLabel* link = dialog.findChild<QLabel*>("link");
  EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
  QTest::mouseClick(link, Qt::LeftButton);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toString(), "https://github.com/glimmerquorum/glimmerquorum");
  EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::red));
}

TEST(BackgroundColourDialogTest, StartsAtTheCurrentColourWhichIsTheFirstCustomColour) {
  const uint32_t colorRef = 0x00336699;  // red 0x99, green 0x66, blue 0x33
  std::unique_ptr<QColorDialog> dialog(MakeBackgroundColourDialog(colorRef, nullptr));
  EXPECT_EQ(dialog->currentColor(), QColor(0x99, 0x66, 0x33));
  EXPECT_EQ(QColorDialog::customColor(0), QColor(0x99, 0x66, 0x33));
  EXPECT_EQ(ColorRefOfColour(dialog->currentColor()), colorRef);
}

}  // namespace
}  // namespace gq
