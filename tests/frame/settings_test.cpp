#include "frame/Settings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/RegStore.h"

namespace gq {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Dir = ::testing::TempDir() + "/settings_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::remove((m_Dir + "/settings.reg").c_str());
    setenv("GLIMMERQUORUM_CONFIG_DIR", m_Dir.c_str(), 1);
    g_settings = ProgramSettings();
  }
  void TearDown() override {
    unsetenv("GLIMMERQUORUM_CONFIG_DIR");
    g_settings = ProgramSettings();
  }
  std::string StorePath() const { return m_Dir + "/settings.reg"; }
  std::string m_Dir;
};

TEST_F(SettingsTest, FirstStartCreatesTheStoreAndExitWritesAllTenValues) {
  LoadOrSaveSettings(false);
  RegStore created;
  ASSERT_TRUE(created.Load(StorePath()));
  EXPECT_TRUE(created.Values().empty());

  LoadOrSaveSettings(true);
  RegStore saved;
  ASSERT_TRUE(saved.Load(StorePath()));
  EXPECT_EQ(saved.Values().size(), 10u);
  EXPECT_EQ(saved.GetDword("VTB"), 1u);
  EXPECT_EQ(saved.GetDword("SBL"), 0u);
  EXPECT_EQ(saved.GetString("ImportCmd"), "");
  EXPECT_EQ(saved.GetDword("BackColor"), SystemWindowColor());
}

TEST_F(SettingsTest, WrongTypesAreTreatedAsAbsentAndAnyNonZeroFlagIsTrue) {
  RegStore store;
  store.SetString("VTB", "0");  // text: ignored, the toolbar stays visible
  store.SetDword("VSB", 0);
  store.SetDword("NoZoom", 0x80000000);  // non-zero reads as true
  store.SetDword("BackColor", 0);        // black background
  store.SetDword("ImportCmd", 5);        // word where text belongs: ignored
  store.SetString("ImportTypes", "pcx;tga");
  ASSERT_TRUE(store.Save(StorePath()));
  g_settings.noZoom = false;
  g_settings.importCommand = "keep";
  LoadOrSaveSettings(false);
  EXPECT_TRUE(g_settings.showToolBar);
  EXPECT_FALSE(g_settings.showStatusBar);
  EXPECT_TRUE(g_settings.noZoom);
  EXPECT_EQ(g_settings.backColor, 0u);
  EXPECT_EQ(g_settings.importCommand, "keep");
  EXPECT_EQ(g_settings.importTypes, "pcx;tga");
}

TEST_F(SettingsTest, UnreadableStoreKeepsDefaultsSilently) {
  std::ofstream(StorePath(), std::ios::binary) << "\x01\x02garbage\n\"VTB\"=dword:";
  LoadOrSaveSettings(false);
  EXPECT_TRUE(g_settings.showToolBar);
  EXPECT_EQ(g_settings.similarCount, 0u);
}

TEST_F(SettingsTest, HistoryEntriesAndTheScrollBarHook) {
  EXPECT_EQ(ReadHistoryEntry(2), "");
  WriteHistoryEntry(0, "/a/one.gqdb");
  WriteHistoryEntry(3, "/d/four.gqdb");
  WriteHistoryEntry(4, "/out/of/range");
  EXPECT_EQ(ReadHistoryEntry(0), "/a/one.gqdb");
  EXPECT_EQ(ReadHistoryEntry(3), "/d/four.gqdb");
  EXPECT_EQ(ReadHistoryEntry(4), "");
  RegStore store;
  ASSERT_TRUE(store.Load(StorePath()));
  EXPECT_EQ(store.GetString("histd"), "/d/four.gqdb");

  int calls = 0;
  SetScrollBarSideHook([&](bool left) { calls += left ? 10 : 1; });
  g_settings.scrollBarLeft = true;
  LoadOrSaveSettings(true);
  LoadOrSaveSettings(false);
  SetScrollBarSideHook(nullptr);
  EXPECT_EQ(calls, 20);
}

}  // namespace
}  // namespace gq
