#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ShellTestSupport.h"
#include "shell/tools/ToolsMenu.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

class ToolsMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QDir().mkpath(Q(tools)));
    test::Opened().urls.clear();
  }
  static QString Q(const std::string& text) { return QString::fromStdString(text); }
  static void Write(const std::string& path, const std::string& text, bool executable) {
    std::ofstream(path) << text;
    if (executable) QFile::setPermissions(Q(path), QFile::ReadOwner | QFile::ExeOwner);
  }
  // A script that writes each of its arguments as "[argument]" lines to out.
  void MakeRecorder(const std::string& path, const std::string& out) {
    Write(path,
          "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '" + out +
              ".part' && mv '" + out + ".part' '" + out + "'\n",
          true);
  }
  // The menu's items as "objectName text" (a separator as "-").
  std::vector<std::string> Items() {
    std::vector<std::string> items;
    for (QAction* action : menu.actions()) {
      items.push_back(action->isSeparator()
                          ? "-"
                          : (action->objectName() + " " + action->text()).toStdString());
    }
    return items;
  }
  void Trigger(const char* command) { menu.findChild<QAction*>(command)->trigger(); }
  std::string Recorded(const std::string& out) {
    EXPECT_TRUE(QTest::qWaitFor([&out] { return QFile::exists(Q(out)); }, 10000)) << out;
    std::ifstream file(out);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  QTemporaryDir dir;
  const std::string root = dir.path().toStdString();
  const std::string tools = root + "/GlimmerQuorum_cmd";
  const std::string picture = root + "/it's a \"pic\" $(touch x).jpg";
  QMenu menu;
  std::string status;
  test::ScriptedMessageBox boxes;
};

TEST_F(ToolsMenuTest, ListsTheToolsSortedThenEditTools) {
  FillToolsMenu(&menu, picture, tools);
  EXPECT_EQ(Items(), (std::vector<std::string>{"-", "32811 &Edit Tools..."}));

  MakeRecorder(tools + "/rec tool", root + "/out");
  Write(tools + "/painter.desktop", "[Desktop Entry]\nName=Arg & painter\nExec=paint %f\n", false);
  Write(tools + "/readme.txt", "not a tool", false);
  ASSERT_TRUE(QDir().mkpath(Q(tools + "/sub")));
  ASSERT_EQ(symlink("/nonexistent/gone", (tools + "/Zz gone").c_str()), 0);
  FillToolsMenu(&menu, picture, tools);
  EXPECT_EQ(Items(), (std::vector<std::string>{"32812 &Arg && painter", "32813 &rec tool",
                                               "32814 &Zz gone", "-", "32811 &Edit Tools..."}));

  // A screenshot of the submenu for review, under the build folder.
  const char* binary = std::getenv("GQ_TEST_BINARY_DIR");
  const QString shots = QString(binary ? binary : ".") + "/screenshots";
  QDir().mkpath(shots);
  menu.popup(QPoint(0, 0));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
  EXPECT_TRUE(menu.grab().save(shots + "/open-with-menu.png"));
}

TEST_F(ToolsMenuTest, ToolsGetThePathAsOneLiteralArgument) {
  MakeRecorder(tools + "/rec tool", root + "/out-exec");
  MakeRecorder(root + "/record", root + "/out-desktop");
  Write(tools + "/view.desktop",
        "[Desktop Entry]\nName=View\nExec=" + root + "/record --url %u %f\n", false);
  FillToolsMenu(&menu, picture, tools);
  Trigger("32812");
  Trigger("32813");
  EXPECT_EQ(Recorded(root + "/out-exec"), "[" + picture + "]\n");
  EXPECT_EQ(Recorded(root + "/out-desktop"),
            "[--url]\n[file://" + root + "/it%27s%20a%20%22pic%22%20%24%28touch%20x%29.jpg]\n[" +
                picture + "]\n");
  EXPECT_FALSE(QFile::exists(Q(root + "/x")));
  EXPECT_FALSE(QFile::exists("x"));
  EXPECT_TRUE(boxes.Beeps().empty());
}

TEST_F(ToolsMenuTest, FailuresBeep) {
  ASSERT_EQ(symlink("/nonexistent/gone", (tools + "/gone").c_str()), 0);
  FillToolsMenu(&menu, picture, tools, [this](const std::string& text) { status = text; });
  Trigger("32812");
  EXPECT_EQ(status, "Could not start gone.");
  EXPECT_EQ(boxes.Beeps().size(), 1u);

  FillToolsMenu(&menu, "", root + "/new/GlimmerQuorum_cmd");
  Trigger("32811");
  EXPECT_TRUE(QDir(Q(root + "/new/GlimmerQuorum_cmd")).exists());
  EXPECT_EQ(test::Opened().urls,
            std::vector<std::string>{"file://" + root + "/new/GlimmerQuorum_cmd"});

  const std::string blocked = root + "/file/GlimmerQuorum_cmd";
  Write(root + "/file", "", false);
  FillToolsMenu(&menu, picture, blocked);
  Trigger("32811");
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Could not open " + blocked});
  EXPECT_EQ(boxes.Beeps().size(), 2u);
}

}  // namespace
}  // namespace gq
