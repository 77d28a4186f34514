#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/tools/DesktopEntry.h"

namespace gq {
namespace {

using Args = std::vector<std::string>;

TEST(DesktopEntryTest, ReadsTheKeysOfItsOwnGroup) {
  const DesktopEntry entry = ParseDesktopEntry(
      "# tool\n[Desktop Entry]\nName = Edit with painter\nName[de]=Malen\nIcon=/i/p.png\n"
      "Exec=paint\\s--new \"a\\\\\\\\b\" %f\n[Desktop Action x]\nName=Other\nExec=other\n");
  EXPECT_EQ(entry.name, "Edit with painter");
  EXPECT_EQ(entry.icon, "/i/p.png");
  EXPECT_EQ(entry.exec, "paint --new \"a\\\\b\" %f");
  EXPECT_EQ(ExecArguments(entry.exec, "/p.jpg"), (Args{"paint", "--new", "a\\b", "/p.jpg"}));
}

TEST(DesktopEntryTest, ExecArgumentsKeepThePathOneWord) {
  const std::string path = "/my pics/it's \"x\" $(touch y) 5%.jpg";
  const std::string url = "file:///my%20pics/it%27s%20%22x%22%20%24%28touch%20y%29%205%25.jpg";
  const struct {
    std::string exec;
    Args expected;
  } cases[] = {
      {"viewer %f", {"viewer", path}},
      {"viewer --url=%u %U", {"viewer", "--url=" + url, url}},
      {"\"/opt/my viewer/run\" -a %F", {"/opt/my viewer/run", "-a", path}},
      {"viewer \"q\\\"\\`\\$\\\\ %%\" %f", {"viewer", "q\"`$\\ %%", path}},
      {"viewer 100%% %i %c %k", {"viewer", "100%", path}},   // no file code: path appended
      {"sh -c \"echo %f\"", {"sh", "-c", "echo %f", path}},  // quoted: literal
      {"", {}},
      {"viewer \"open %f", {}},  // unclosed quote
      {"%f --x", {}},            // the picture never becomes the program
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExecArguments(c.exec, path), c.expected) << c.exec;
  }
}

}  // namespace
}  // namespace gq
