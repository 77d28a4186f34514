#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "frame/AssertXL.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

class AssertXLTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetAssertXLForTest(); }
  void TearDown() override { ResetAssertXLForTest(); }
  void Report(const char* unit, int line) {
    assertXL("x > 0", unit, "Dec  7 2026", line);
    assertXL_unlock();
  }
};

TEST_F(AssertXLTest, ReportTextNamesUnitLineAndDate) {
  test::ScriptedMessageBox boxes({IDNO});
  SetAssertXLCaption("GlimmerQuorum -i x");
  Report("ImageRecordDB", 42);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  MessageBoxRequest box = boxes.Boxes()[0];
  EXPECT_EQ(box.caption, "GlimmerQuorum -i x");
  EXPECT_EQ(box.flags & 0xF, MB_YESNOCANCEL);
  EXPECT_EQ(box.flags & MB_DEFBUTTON2, MB_DEFBUTTON2);
  EXPECT_NE(box.text.find("\nUnexpected Program Behavior\n"), std::string::npos);
  EXPECT_NE(box.text.find("File: ImageRecordDB\nLine: 42\nDate: Dec  7 2026\n"), std::string::npos);
  EXPECT_NE(box.text.find("Cancel:\tterminate program; program data may be lost!!!\n"),
            std::string::npos);
}

TEST_F(AssertXLTest, YesIgnoresTheCheckPointNoAsksAgain) {
  test::ScriptedMessageBox boxes({IDNO, IDNO, IDYES});
  Report("unitA", 1);
  Report("unitA", 1);  // No: asked again
  Report("unitA", 1);  // Yes: ignored from now on
  Report("unitA", 1);
  Report("unitA", 1);
  EXPECT_EQ(boxes.Boxes().size(), 3u);
  Report("unitA", 2);   // another line is another check point
  Report("unitAB", 1);  // and so is another unit
  EXPECT_EQ(boxes.Boxes().size(), 5u);
}

TEST_F(AssertXLTest, TheIgnoreListGrowsAndStaysConsistent) {
  test::ScriptedMessageBox boxes;
  for (int i = 0; i < 20; ++i) boxes.Answer(IDYES);
  for (int line = 0; line < 20; ++line)
    Report(line % 2 ? "dragdrop\\RENDRDAT" : "ImageRecord", line);
  for (int line = 0; line < 20; ++line)
    Report(line % 2 ? "dragdrop\\RENDRDAT" : "ImageRecord", line);
  EXPECT_EQ(boxes.Boxes().size(), 20u);
}

TEST_F(AssertXLTest, AnOverwrittenMarkerIsReportedAndTheListIsReset) {
  test::ScriptedMessageBox boxes({IDYES, IDNO, IDNO});
  Report("unitA", 7);
  unsigned char* block = AssertXLIgnoreListForTest();
  ASSERT_NE(block, nullptr);
  uint32_t size;
  std::memcpy(&size, block, 4);
  ASSERT_EQ(block[size], 'X');
  block[size] = 'Y';
  // The lookup finds the damage, reports it at assertXL line 103, then asks for unitA.
  Report("unitA", 7);
  std::vector<std::string> texts = boxes.Texts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_NE(texts[1].find("File: assertXL\nLine: 103\n"), std::string::npos);
  EXPECT_NE(texts[2].find("File: unitA\nLine: 7\n"), std::string::npos);
  EXPECT_EQ(AssertXLIgnoreListForTest(), nullptr);
  std::free(block);  // dropped by the facility, not freed (it could not be trusted)
}

TEST_F(AssertXLTest, AWrongChecksumIsFoundWhenAdding) {
  test::ScriptedMessageBox boxes({IDYES, IDYES, IDNO});
  Report("unitA", 1);
  unsigned char* block = AssertXLIgnoreListForTest();
  block[4] ^= 0x55;    // checksum word
  Report("unitB", 2);  // the lookup skips the checksum; adding (Yes) checks it
  std::vector<std::string> texts = boxes.Texts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_NE(texts[2].find("File: assertXL\nLine: 103\n"), std::string::npos);
  std::free(block);
}

TEST_F(AssertXLTest, UnlockWithoutLockShowsAnError) {
  test::ScriptedMessageBox boxes;
  assertXL_unlock();
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"assertXL_unlock() error"}));
}

TEST_F(AssertXLTest, ReportsFromManyThreadsAreSerialised) {
  test::ScriptedMessageBox boxes;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 5; ++i) Report("threaded", t * 100 + i);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(boxes.Boxes().size(), 20u);
}

TEST(AssertXLDeathTest, CancelEndsTheProcessWithMinusOne) {
  EXPECT_EXIT(
      {
        test::ScriptedMessageBox boxes({IDCANCEL});
        assertXL("c", "unit", "date", 1);
      },
      ::testing::ExitedWithCode(255), "");
}

}  // namespace
}  // namespace gq
