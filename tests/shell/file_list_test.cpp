#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/dragdrop/DropEffect.h"
#include "shell/dragdrop/ZeroSepFileList.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

std::vector<std::string> PathsOf200Bytes(int count) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    std::string path = "/pics/" + std::to_string(i);
    paths.push_back(path + std::string(200 - path.size(), 'x'));
  }
  return paths;
}

// Each 200-byte path takes 201 bytes; the room doubles from 263 bytes, so the 10719th
// path would need a room of 263 * 2^14 bytes, more than 4 MiB.
TEST(FileListTest, LimitRefusesAListThatNeedsMoreThanFourMiB) {
  const struct {
    int files;
    bool limitOn;
    bool allowed;
  } cases[] = {{10718, true, true}, {10719, true, false}, {10719, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.files << " files, limit " << c.limitOn);
    test::ScriptedMessageBox boxes;
    EXPECT_EQ(FileListAllowed(PathsOf200Bytes(c.files), c.limitOn), c.allowed);
    const std::vector<std::string> expected =
        c.allowed ? std::vector<std::string>{} : std::vector<std::string>{LimitMessageText(true)};
    EXPECT_EQ(boxes.Texts(), expected);
  }
  EXPECT_EQ(LimitMessageText(true),
            "Too many pictures selected.\n\nSee Options to turn off limit.");
  EXPECT_EQ(LimitMessageText(false), "Too many pictures selected.");
}

TEST(FileListTest, BytesAndCommonFolder) {
  const struct {
    std::vector<std::string> paths;
    std::string folder;
  } cases[] = {
      {{"/p/q.jpg"}, "/p/"},
      {{"/a/b/c.jpg", "/a/b/d.jpg", "/a/b/e/f.jpg"}, "/a/b/"},
      {{"/a/bc.jpg", "/a/bd.jpg"}, "/a/"},
      {{"/a/B/x.jpg", "/a/b/x.jpg"}, "/a/"},  // differing case: different folders
      {{"/x.jpg", "/home/y.jpg"}, "/"},
  };
  for (const auto& c : cases) {
    ZeroSepFileList list(true);
    ASSERT_TRUE(BuildFileList(c.paths, true, &list));
    std::string bytes;
    for (const std::string& path : c.paths) bytes += path + '\0';
    EXPECT_EQ(list.Bytes(), bytes + '\0');
    EXPECT_EQ(list.FileCount(), static_cast<int>(c.paths.size()));
    EXPECT_EQ(list.CommonFolder(), c.folder) << c.paths[0];
  }
}

TEST(DropEffectTest, HeldKeysAndLinks) {
  EXPECT_EQ(PreferredDropEffect(false, false), DropEffect::Copy);
  EXPECT_EQ(PreferredDropEffect(false, true), DropEffect::Copy);
  EXPECT_EQ(PreferredDropEffect(true, false), DropEffect::Move);
  EXPECT_EQ(PreferredDropEffect(true, true), DropEffect::Link);
  EXPECT_TRUE(LinksOffered(99, true));
  EXPECT_FALSE(LinksOffered(100, true));
  EXPECT_TRUE(LinksOffered(100, false));
}

}  // namespace
}  // namespace gq
