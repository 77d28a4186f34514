#include "base/Words.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "base/HighResClock.h"
#include "frame/StatusLine.h"
#include "base/Text.h"

namespace gq {
namespace {

TEST(Words, QuotedPlainAndUnclosedWords) {
  std::string text = "\"a b\"  c \"unclosed rest";
  size_t cursor = 0;
  EXPECT_EQ(ReadWord(text, &cursor), "a b");
  EXPECT_EQ(cursor, 7u);
  EXPECT_EQ(ReadWord(text, &cursor), "c");
  EXPECT_EQ(ReadWord(text, &cursor), "unclosed rest");
  EXPECT_EQ(cursor, text.size());
  EXPECT_EQ(ReadWord(text, &cursor), "");
}

TEST(Words, NumbersAndWholeNumbers) {
  std::string text = "12 0 x7";
  size_t cursor = 0;
  int value = -1;
  EXPECT_TRUE(ReadNumber(text, &cursor, &value));
  EXPECT_EQ(value, 12);
  EXPECT_TRUE(ReadNumber(text, &cursor, &value));
  EXPECT_EQ(value, 0);
  EXPECT_FALSE(ReadNumber(text, &cursor, &value));
  size_t end = 0;
  EXPECT_TRUE(ReadNumber("", &end, &value));  // an empty run reads as 0
  EXPECT_EQ(value, 0);
  end = 0;
  EXPECT_FALSE(ReadNumber("99999999999", &end, &value));

  EXPECT_TRUE(ReadWholeNumber("5555", &value));
  EXPECT_EQ(value, 5555);
  for (const char* bad : {"", "12a", "-1", "2147483648", " 1"}) {
    EXPECT_FALSE(ReadWholeNumber(bad, &value)) << bad;
    EXPECT_EQ(value, 0);
  }
}

TEST(Words, NormalizePath) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  std::string here = cwd;
  EXPECT_EQ(NormalizePath("  /a/b/../c/./d/  "), "/a/c/d");
  EXPECT_EQ(NormalizePath("\"/x y/z\" trailing"), "/x y/z");
  EXPECT_EQ(NormalizePath("rel/file.jpg"), here + "/rel/file.jpg");
  EXPECT_EQ(NormalizePath("/"), "/");
  EXPECT_EQ(NormalizePath("/.."), "/");
  EXPECT_EQ(NormalizePath(""), "");
  EXPECT_EQ(NormalizePath("c:"), "c:");
  std::string tooLong = "/" + std::string(5000, 'a');
  EXPECT_EQ(NormalizePath(tooLong), tooLong);
}

TEST(Text, CaseInsensitiveComparisonOverUtf8) {
  EXPECT_EQ(CompareNoCase("ABC", "abc"), 0);
  EXPECT_LT(CompareNoCase("abc", "ABD"), 0);
  EXPECT_GT(CompareNoCase("abcd", "ABC"), 0);
  EXPECT_TRUE(EqualsNoCase("ÄÖÜ Straße", "äöü STRAßE"));
  EXPECT_TRUE(EqualsNoCase("ΑΒΓ ДЖ", "αβγ дж"));
  EXPECT_TRUE(EndsWithNoCase("/x/Bild.GQDB", ".gqdb"));
  EXPECT_FALSE(EndsWithNoCase("db", ".gqdb"));
  // Invalid bytes are characters of their own, never equal to a real letter.
  EXPECT_NE(CompareNoCase("\xff", "\xc3\xbf"), 0);
  EXPECT_EQ(CompareNoCase("a\xff", "A\xff"), 0);
  size_t pos = 0;
  EXPECT_EQ(NextCharacter("\xe2\x82", &pos), 0x110000u + 0xe2);  // truncated sequence
  EXPECT_EQ(pos, 1u);
}

TEST(StatusLine, FormatsParsesAndKnowsEveryCode) {
  EXPECT_EQ(StatusLine(102, StatusText(102)), "!status: 102 - Picture not in database.\n");
  int code = 0;
  EXPECT_TRUE(ParseStatusLine("!status: 667 - Incompatible protocol version.", &code));
  EXPECT_EQ(code, 667);
  EXPECT_FALSE(ParseStatusLine("status: 1", &code));
  for (int known : {0, 1, 2, 3, 4, 5, 6, 100, 101, 102, 111, 667}) {
    EXPECT_STRNE(StatusText(known), "") << known;
  }
  EXPECT_STREQ(StatusText(7), "");
  EXPECT_FALSE(WriteStatusIntoResultFile("1 2", 1, "x"));
}

TEST(HighResClock, ReadsWallTimeAndMeasuresIntervals) {
  HighResTime start = HighResNow();
  EXPECT_NEAR(static_cast<double>(start.seconds), static_cast<double>(time(nullptr)), 2.0);
  EXPECT_GE(start.microseconds, 0);
  EXPECT_LT(start.microseconds, 1000000);
  usleep(20000);
  HighResTime stored = start;
  int64_t elapsed = MillisecondsSinceAndUpdate(&stored);
  EXPECT_GE(elapsed, 19);
  // The update moved the stored reading on by the interval it returned.
  int64_t moved =
      (stored.seconds - start.seconds) * 1000 + (stored.microseconds - start.microseconds) / 1000;
  EXPECT_NEAR(static_cast<double>(moved), static_cast<double>(elapsed), 1.0);
}

}  // namespace
}  // namespace gq
