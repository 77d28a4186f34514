#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "db/PathOrder.h"

namespace gq {
namespace {

TEST(PathOrder, DigitRunsSeparatorsAndCase) {
  EXPECT_LT(ComparePaths("a9", "a10"), 0);
  EXPECT_LT(ComparePaths("/p/img2.jpg", "/p/img10.jpg"), 0);
  EXPECT_LT(ComparePaths("a/z", "a0"), 0);  // a separator sorts before anything
  EXPECT_LT(ComparePaths("a\\z", "a0"), 0);
  EXPECT_LT(ComparePaths("a0", "ab"), 0);  // a digit before a non-digit
  EXPECT_LT(ComparePaths("/a/b/x.jpg", "/a/bx.jpg"), 0);
  EXPECT_LT(ComparePaths("x007", "x7a"), 0);  // equal numbers: the characters go on
  EXPECT_EQ(ComparePathsIgnoringCase("ABC", "abc"), 0);
  EXPECT_NE(ComparePaths("ABC", "abc"), 0);  // two files here, ordered by their bytes
  EXPECT_EQ(ComparePaths("abc", "abc"), 0);
  EXPECT_LT(ComparePaths("abc", "abcd"), 0);         // a path extended by another sorts first,
  EXPECT_LT(ComparePaths("abc", "abc\xc3\xa4"), 0);  // whatever character extends it
  EXPECT_LT(ComparePaths("abcd", "abc\xc3\xa4"), 0);
  EXPECT_EQ(ComparePaths("n99999999999999999999", "n99999999999999999999"), 0);
  // Shared prefixes that end inside a number or a multibyte character.
  EXPECT_LT(ComparePaths("/p/x12.jpg", "/p/x123.jpg"), 0);
  EXPECT_GT(ComparePaths("/p/x129.jpg", "/p/x13.jpg"), 0);
  EXPECT_LT(ComparePaths("/p/\xc3\xa4"
                         "b",
                         "/p/\xc3\x84"
                         "C"),
            0);  // äb before ÄC
}

TEST(PathOrder, IsATotalOrderOnRandomPaths) {
  std::mt19937 random(7);
  const std::string alphabet = "aAbB09/._\xc3\xa4";
  std::vector<std::string> paths;
  for (int i = 0; i < 400; ++i) {
    std::string path;
    for (int n = random() % 8; n >= 0; --n) path += alphabet[random() % alphabet.size()];
    paths.push_back(path);
  }
  std::sort(paths.begin(), paths.end(),
            [](const std::string& a, const std::string& b) { return ComparePaths(a, b) < 0; });
  for (size_t i = 0; i < paths.size(); ++i) {
    for (size_t j = i; j < paths.size(); ++j) {
      int ij = ComparePaths(paths[i], paths[j]);
      ASSERT_LE(ij, 0) << paths[i] << " vs " << paths[j];
      ASSERT_EQ(ij == 0, paths[i] == paths[j]);
      ASSERT_EQ(ComparePaths(paths[j], paths[i]), -ij);
    }
  }
}

}  // namespace
}  // namespace gq
