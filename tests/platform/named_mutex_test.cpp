#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/InstanceChannel.h"
#include "platform/NamedMutex.h"

namespace gq {
namespace {

TEST(NamedMutex, SecondHolderSeesAlreadyExistedUntilReleased) {
  NamedMutex first;
  NamedMutex second;
  ASSERT_EQ(first.Create("GlimmerQuorum_test/label"), NamedMutex::Result::Created);
  EXPECT_EQ(second.Create("GlimmerQuorum_test/label"), NamedMutex::Result::AlreadyExisted);
  first.Release();
  EXPECT_EQ(second.Create("GlimmerQuorum_test/label"), NamedMutex::Result::Created);
}

TEST(NamedMutex, AnotherProcessSeesTheMutexAndTheSystemReleasesItAtExit) {
  NamedMutex mine;
  ASSERT_EQ(mine.Create("GlimmerQuorum_test_process"), NamedMutex::Result::Created);
  pid_t child = fork();
  if (child == 0) {
    NamedMutex theirs;
    _exit(theirs.Create("GlimmerQuorum_test_process") == NamedMutex::Result::AlreadyExisted ? 0
                                                                                            : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(NamedMutex, RuntimeFolderIsPrivate) {
  std::string folder = RuntimeFolder();
  ASSERT_FALSE(folder.empty());
  struct stat info;
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(NamedMutex, NamesThatDifferOnlyInAwkwardBytesAreDifferentMutexes) {
  std::string base = "GlimmerQuorum_names" + std::to_string(getpid());
  std::string longName = base + std::string(300, 'x');
  const std::pair<std::string, std::string> pairs[] = {
      {base + "a/b", base + "a_b"},  {base + "a/b", base + "a%2Fb"},
      {base + "c\nd", base + "c_d"}, {longName + "1", longName + "2"},
      {base + "%", base + "%25"},
  };
  for (const auto& [one, two] : pairs) {
    NamedMutex first;
    NamedMutex second;
    EXPECT_EQ(first.Create(one), NamedMutex::Result::Created) << one;
    EXPECT_EQ(second.Create(two), NamedMutex::Result::Created) << one << " / " << two;
    EXPECT_NE(InstanceChannelPath(one), InstanceChannelPath(two)) << one << " / " << two;
  }
}

}  // namespace
}  // namespace gq
