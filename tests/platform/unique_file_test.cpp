#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "platform/FileReplace.h"
#include "platform/UniqueFile.h"

namespace gq {
namespace {

unsigned ModeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

TEST(UniqueFile, NewNamesBetweenPrefixAndSuffixWithTheAskedMode) {
  const std::string prefix = ::testing::TempDir() + "/unique_";
  const mode_t mask = umask(022);
  std::string first, second;
  int a = CreateUniqueFile(prefix, ".txt", &first);
  int b = CreateUniqueFile(prefix, ".txt", &second, 0600);
  umask(mask);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  EXPECT_NE(first, second);
  for (const std::string& name : {first, second}) {
    EXPECT_EQ(name.size(), prefix.size() + 6 + 4) << name;
    EXPECT_EQ(name.rfind(prefix, 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".txt") << name;
  }
  EXPECT_EQ(ModeOf(first), 0644u);
  EXPECT_EQ(ModeOf(second), 0600u);
  close(a);
  close(b);
  unlink(first.c_str());
  unlink(second.c_str());
}

// Settings and registrations are replaced by a private file, whatever the old one was.
TEST(UniqueFile, AReplacedFileIsPrivate) {
  const std::string target = ::testing::TempDir() + "/replaced.txt";
  std::ofstream(target) << "old";
  chmod(target.c_str(), 0644);
  ASSERT_TRUE(ReplaceFileContent(target, "new"));
  EXPECT_EQ(ModeOf(target), 0600u);
  std::ifstream in(target);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
  unlink(target.c_str());
}

}  // namespace
}  // namespace gq
