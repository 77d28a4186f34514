#include <gtest/gtest.h>

#include <QWidget>
#include <string>
#include <vector>

#include "shell/dragdrop/FileTransfer.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

std::vector<std::string> Pictures(int count, size_t nameLength = 8) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    const std::string name = std::to_string(i);
    paths.push_back("/pics/" + name + std::string(nameLength - name.size(), 'x'));
  }
  return paths;
}

// The offscreen platform ends every drag at once without a drop; what is checked is
// what the program does around the drag.
TEST(DragTest, BeepAndWarningsAroundTheDrag) {
  const std::string limit = "Too many pictures selected.\n\nSee Options to turn off limit.";
  const struct {
    std::vector<std::string> paths;
    bool limitOn;
    size_t beeps;
    std::vector<std::string> boxes;
  } cases[] = {
      {Pictures(99), true, 0, {}},
      {Pictures(100), true, 1, {kLinkWarningText}},
      {Pictures(100), false, 0, {}},
      {Pictures(20000, 200), true, 0, {limit}},
      {{}, true, 1, {}},
  };
  QWidget source;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.paths.size() << " files, limit " << c.limitOn);
    test::ScriptedMessageBox boxes;
    EXPECT_EQ(DragFilesOut(&source, c.paths, c.limitOn), Qt::IgnoreAction);
    EXPECT_EQ(boxes.Beeps().size(), c.beeps);
    EXPECT_EQ(boxes.Texts(), c.boxes);
  }
}

}  // namespace
}  // namespace gq
