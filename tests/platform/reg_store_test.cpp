#include <gtest/gtest.h>

#include <fstream>

#include "platform/RegStore.h"

namespace gq {
namespace {

TEST(RegStore, RoundTripKeepsTypesAndAwkwardText) {
  RegStore store;
  store.SetDword("VTB", 1);
  store.SetDword("BackColor", 0);
  store.SetString("ImportCmd", "/usr/bin/convert \"%1\" \"%2\" \\ end\nsecond");
  store.SetString("hista", "");
  std::string path = ::testing::TempDir() + "/reg_roundtrip/settings.reg";
  ASSERT_TRUE(store.Save(path));

  RegStore loaded;
  ASSERT_TRUE(loaded.Load(path));
  EXPECT_EQ(loaded.GetDword("VTB"), 1u);
  EXPECT_EQ(loaded.GetDword("BackColor"), 0u);
  EXPECT_EQ(loaded.GetString("ImportCmd"), store.GetString("ImportCmd"));
  EXPECT_EQ(loaded.GetString("hista"), "");
  // A word is not a text and a text is not a word.
  EXPECT_FALSE(loaded.GetString("VTB").has_value());
  EXPECT_FALSE(loaded.GetDword("ImportCmd").has_value());
  EXPECT_FALSE(loaded.GetDword("absent").has_value());
}

TEST(RegStore, GarbageAndTruncatedLinesAreSkipped) {
  std::string path = ::testing::TempDir() + "/reg_garbage.reg";
  std::ofstream(path, std::ios::binary)
      << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\GlimmerQuorum]\n"
      << "\"VTB\"=\"1\"\n"            // text, not a word
      << "\"VSB\"=dword:0000\n"       // short but valid hex
      << "\"SSN\"=dword:123456789\n"  // too many digits
      << "\"SBL\"=dword:zz\n"
      << "\"Imp\n"  // truncated name
      << "\"ImportCmd\"=\"unterminated\n"
      << "\xff\xfe garbage \x01\n"
      << "\"NoZoom\"=dword:00000000\r\n";
  RegStore store;
  ASSERT_TRUE(store.Load(path));
  EXPECT_EQ(store.GetString("VTB"), "1");
  EXPECT_EQ(store.GetDword("VSB"), 0u);
  EXPECT_FALSE(store.GetDword("SSN").has_value());
  EXPECT_FALSE(store.GetDword("SBL").has_value());
  EXPECT_FALSE(store.GetString("ImportCmd").has_value());
  EXPECT_EQ(store.GetDword("NoZoom"), 0u);
}

TEST(RegStore, OnlyOurSectionIsReadAndEveryOtherLineSurvivesASave) {
  std::string path = ::testing::TempDir() + "/reg_sections.reg";
  const std::string other =
      "[HKEY_CURRENT_USER\\Software\\Other]\n\"VTB\"=dword:00000000\n\"Name\"=\"x\"\n\n";
  const std::string later = "[HKEY_CURRENT_USER\\Software\\Later]\r\n\"SSN\"=dword:00000005\r\n";
  std::ofstream(path, std::ios::binary)
      << "Windows Registry Editor Version 5.00\n\n"
      << other << "[hkey_current_user\\software\\glimmerquorum]\n\"VSB\"=dword:00000000\n"
      << "; kept comment\n\"Future\"=hex:01,02\n\n"
      << later;
  RegStore store;
  ASSERT_TRUE(store.Load(path));
  EXPECT_EQ(store.Values().size(), 1u);
  EXPECT_EQ(store.GetDword("VSB"), 0u);

  store.SetDword("VSB", 1);
  store.SetDword("VTB", 1);
  ASSERT_TRUE(store.Save(path));
  std::ifstream in(path, std::ios::binary);
  std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(saved.find(other), std::string::npos) << saved;
  EXPECT_NE(saved.find(later), std::string::npos) << saved;
  EXPECT_NE(saved.find("; kept comment\n\"Future\"=hex:01,02\n"), std::string::npos) << saved;
  RegStore reloaded;
  ASSERT_TRUE(reloaded.Load(path));
  EXPECT_EQ(reloaded.GetDword("VSB"), 1u);
  EXPECT_EQ(reloaded.GetDword("VTB"), 1u);
  EXPECT_EQ(reloaded.Values().size(), 2u);
}

TEST(RegStore, MissingFileLoadsEmpty) {
  RegStore store;
  store.SetDword("x", 1);
  EXPECT_FALSE(store.Load(::testing::TempDir() + "/no/such/settings.reg"));
  EXPECT_TRUE(store.Values().empty());
}

TEST(RegStore, DefaultPathFollowsTheOverrideVariable) {
  setenv("GLIMMERQUORUM_CONFIG_DIR", "/some/dir", 1);
  EXPECT_EQ(RegStore::DefaultPath(), "/some/dir/settings.reg");
  unsetenv("GLIMMERQUORUM_CONFIG_DIR");
  setenv("XDG_CONFIG_HOME", "/xdg", 1);
  EXPECT_EQ(RegStore::DefaultPath(), "/xdg/GlimmerQuorum/settings.reg");
}

}  // namespace
}  // namespace gq
