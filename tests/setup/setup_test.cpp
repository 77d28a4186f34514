#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "frame/FileTypeRegistration.h"
#include "platform/Process.h"
#include "setup/EmbeddedFiles.h"
#include "setup/SetupBackground.h"
#include "setup/SetupDialog.h"
#include "setup/SetupMutex.h"
#include "support/ScriptedMessageBox.h"

extern char** environ;

namespace gq {
namespace {

namespace fs = std::filesystem;
using test::ScriptedMessageBox;
using Texts = std::vector<std::string>;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Every place setup writes to lies in a fresh folder, reached through the environment.
class SetupTest : public ::testing::Test {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/gq-setup-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_Root = pattern;
    m_Home = m_Root + "/home";
    fs::create_directories(m_Home);
    fs::create_directories(m_Root + "/run");
    chmod((m_Root + "/run").c_str(), 0700);
    setenv("HOME", m_Home.c_str(), 1);
    setenv("XDG_DATA_HOME", (m_Home + "/.local/share").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_Home + "/.config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (m_Root + "/run").c_str(), 1);
    setenv("GQ_SETUP_SYSTEM_ROOT", (m_Root + "/system").c_str(), 1);
    m_Folder = m_Root + "/opt/GlimmerQuorum";
    m_Started.clear();
    m_Opened.clear();
    m_Launchers.startProgram = [this](const std::string& program) {
      m_Started.push_back(program);
      return true;
    };
    m_Launchers.openAddress = [this](const std::string& address) {
      m_Opened.push_back(address);
      return true;
    };
  }
  void TearDown() override { fs::remove_all(m_Root); }

  std::string MenuEntry() const {
    return m_Home + "/.local/share/applications/GlimmerQuorum.desktop";
  }
  std::string AutostartEntry() const { return m_Home + "/.config/autostart/GlimmerQuorum.desktop"; }
  std::string DesktopEntry() const { return m_Home + "/Desktop/GlimmerQuorum.desktop"; }
  std::string Program() const { return m_Folder + "/GlimmerQuorum"; }
  std::string Tools() const { return m_Folder + "/GlimmerQuorum_cmd"; }

  // Drives a fresh dialog: sets the folder, the check boxes (by id) and presses a button.
  void Run(const char* button, const std::vector<std::pair<const char*, bool>>& boxes = {}) {
    SetupDialog dialog(m_Launchers);
    dialog.show();
    dialog.findChild<QLineEdit*>("1060")->setText(QString::fromStdString(m_Folder));
    for (auto [id, checked] : boxes) dialog.findChild<QCheckBox*>(id)->setChecked(checked);
    dialog.findChild<QPushButton*>(button)->click();
    m_StayedOpen = dialog.isVisible();
  }
  void Install(bool all = true) { Run("1", {{"1062", all}, {"1063", all}, {"1066", all}}); }

  std::string m_Root, m_Home, m_Folder;
  SetupLaunchers m_Launchers;
  Texts m_Started, m_Opened;
  bool m_StayedOpen = false;
};

TEST(SetupBackgroundTest, DerivesFromTheButtonFace) {
  struct Case {
    Rgb face, expected;
  } cases[] = {
      {{240, 240, 240}, {199, 198, 255}},  // blue overflows: the excess darkens more
      {{212, 208, 200}, {189, 185, 246}}, {{53, 53, 53}, {38, 38, 83}},
      {{10, 100, 100}, {0, 77, 133}},  // red below half the step: red 0
      {{0, 0, 200}, {0, 0, 128}},      // too close to pure blue: dark blue
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SetupBackground(c.face), c.expected)
        << c.face.red << "," << c.face.green << "," << c.face.blue;
  }
}

TEST_F(SetupTest, InstallWritesTheFilesAndShortcutsThatStartTheProgram) {
  ScriptedMessageBox boxes;
  Install();
  EXPECT_EQ(boxes.Texts(),
            (Texts{"Create directory " + m_Folder + "?", "Installation completed."}));
  EXPECT_FALSE(m_StayedOpen);
  EXPECT_EQ(ReadFile(Program()), EmbeddedFile(kFileProgram));
  EXPECT_EQ(access(Program().c_str(), X_OK), 0);
  EXPECT_EQ(ReadFile(Tools() + "/QuickGlance"), EmbeddedFile(kFileQuickGlance));
  EXPECT_NE(ReadFile(Tools() + "/ReadMe.txt").find(".desktop"), std::string::npos);
  EXPECT_NE(
      ReadFile(Tools() + "/QuickGlance.desktop").find("Exec=\"" + Tools() + "/QuickGlance\" %f"),
      std::string::npos);
  std::string menu = ReadFile(MenuEntry());
  for (std::string line :
       {"Exec=\"" + Program() + "\" %f\n", "Icon=" + m_Folder + "/GlimmerQuorum.svg\n",
        "Path=" + m_Folder + "\n", std::string("Categories=Graphics;Viewer;\n")}) {
    EXPECT_NE(menu.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(ReadFile(DesktopEntry()), menu);
  EXPECT_NE(ReadFile(AutostartEntry()).find("Exec=\"" + Program() + "\" -m %f"), std::string::npos);
  EXPECT_EQ(m_Started, Texts{Program()});
  EXPECT_EQ(m_Opened, Texts{"https://github.com/glimmerquorum/glimmerquorum"});

  // The program's own registration at start leaves the menu entry alone.
  EXPECT_TRUE(RegisterDatabaseFileType(Program()));
  EXPECT_EQ(ReadFile(MenuEntry()), menu);
  std::string registration = ReadFile(m_Home + "/.local/share/applications/" + kFileTypeEntryName);
  EXPECT_NE(registration.find("NoDisplay=true"), std::string::npos);
}

TEST_F(SetupTest, AllUsersPlacesAreUsedWhenWritable) {
  fs::create_directories(m_Root + "/system/usr/share/applications");
  fs::create_directories(m_Root + "/system/etc/xdg/autostart");
  ScriptedMessageBox boxes;
  Install();
  EXPECT_TRUE(fs::exists(m_Root + "/system/usr/share/applications/GlimmerQuorum.desktop"));
  EXPECT_TRUE(fs::exists(m_Root + "/system/etc/xdg/autostart/GlimmerQuorum.desktop"));
  EXPECT_FALSE(fs::exists(MenuEntry()));
  EXPECT_FALSE(fs::exists(AutostartEntry()));
  EXPECT_TRUE(fs::exists(DesktopEntry()));
}

TEST_F(SetupTest, ClearedBoxesRemoveShortcutsOfAnEarlierInstallation) {
  ScriptedMessageBox boxes;
  Install(true);
  Install(false);
  EXPECT_EQ(boxes.Texts().back(), "Installation completed.");
  for (const std::string& entry : {MenuEntry(), AutostartEntry(), DesktopEntry()}) {
    EXPECT_FALSE(fs::exists(entry)) << entry;
  }
  EXPECT_TRUE(fs::exists(Program()));
}

TEST_F(SetupTest, InstallFailuresAreReported) {
  struct Case {
    const char* name;
    std::function<void(SetupTest&)> damage;
    std::deque<int> answers;
    Texts expected;
  } cases[] = {
      {"cancelled folder",
       [](SetupTest&) {},
       {IDCANCEL},
       {"Create directory %F?", "Installation failed."}},
      {"folder under a file",
       [](SetupTest& t) {
         WriteFile(t.m_Root + "/file", "x");
         t.m_Folder = t.m_Root + "/file/GlimmerQuorum";
       },
       {},
       {"Create directory %F?", "Can not create directory %F.", "Installation failed."}},
      {"program path taken by a folder",
       [](SetupTest& t) { fs::create_directories(t.Program()); },
       {},
       {"Can not create %F/GlimmerQuorum.", "Installation failed."}},
      {"menu folder is a file",
       [](SetupTest& t) {
         fs::create_directories(t.m_Home + "/.local/share");
         WriteFile(t.m_Home + "/.local/share/applications", "x");
       },
       {},
       {"Create directory %F?", "Could not install program menu entry.",
        "Installation partially successful."}},
      {"program does not start",
       [](SetupTest& t) {
         t.Install(false);
         t.m_Launchers.startProgram = [](const std::string&) { return false; };
       },
       {},
       {"Could not start GlimmerQuorum.", "Installation partially successful."}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    {
      ScriptedMessageBox quiet;
      c.damage(*this);
    }
    ScriptedMessageBox boxes(c.answers);
    Run("1", {{"1062", false}});
    Texts expected;
    for (std::string text : c.expected) {
      if (size_t at = text.find("%F"); at != std::string::npos) text.replace(at, 2, m_Folder);
      expected.push_back(text);
    }
    EXPECT_EQ(boxes.Texts(), expected);
  }
}

TEST_F(SetupTest, UninstallRemovesEverythingAndKeepsAFolderWithUserFiles) {
  for (bool userFile : {false, true}) {
    SCOPED_TRACE(userFile);
    TearDown();
    SetUp();
    ScriptedMessageBox boxes;
    Install();
    if (userFile) WriteFile(m_Folder + "/notes.txt", "mine");
    Run("3");
    EXPECT_TRUE(m_StayedOpen);
    Texts all = boxes.Texts();
    Texts last(all.end() - (userFile ? 2 : 1), all.end());
    Texts expected = {"Uninstall completed."};
    if (userFile) {
      expected = {"Consider deleting directory manually: " + m_Folder,
                  "Uninstall partially successful."};
    }
    EXPECT_EQ(last, expected);
    EXPECT_EQ(fs::exists(m_Folder), userFile);
    EXPECT_FALSE(fs::exists(Program()));
    EXPECT_FALSE(fs::exists(Tools()));
    EXPECT_TRUE(fs::exists(m_Home + "/.local/share/Trash/files/GlimmerQuorum_cmd/ReadMe.txt"));
    for (const std::string& entry : {MenuEntry(), AutostartEntry(), DesktopEntry()}) {
      EXPECT_FALSE(fs::exists(entry)) << entry;
    }
  }
}

TEST_F(SetupTest, UninstallRefusesToDeleteARunningProgram) {
  ScriptedMessageBox boxes;
  Install();
  fs::copy_file("/bin/sleep", Program(), fs::copy_options::overwrite_existing);
  char seconds[] = "600";
  char* argv[] = {seconds, seconds, nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, Program().c_str(), nullptr, nullptr, argv, environ), 0);
  Run("3");
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  Texts texts = boxes.Texts();
  EXPECT_EQ(texts.at(2), "Can not delete " + Program() + ".\nIs GlimmerQuorum still running?");
  EXPECT_EQ(texts.back(), "Uninstall failed.");
  EXPECT_TRUE(fs::exists(Program()));
}

TEST_F(SetupTest, ASecondSetupIsRefused) {
  ScriptedMessageBox boxes;
  NamedMutex first;
  ASSERT_TRUE(TakeSetupMutex(&first));
  NamedMutex second;
  EXPECT_FALSE(TakeSetupMutex(&second));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "GlimmerQuorum Setup is already in progress.");
  EXPECT_EQ(boxes.Boxes()[0].caption, "GlimmerQuorum Setup");
  first.Release();
  EXPECT_TRUE(TakeSetupMutex(&second));
}

TEST_F(SetupTest, QuickGlanceStartsTheDesktopViewer) {
  // The stand-in viewer writes its argument into a pipe that the test reads.
  std::string bin = m_Root + "/bin";
  fs::create_directories(bin);
  ASSERT_EQ(mkfifo((bin + "/opened").c_str(), 0600), 0);
  WriteFile(bin + "/xdg-open", "#!/bin/sh\necho \"$1\" > '" + bin + "/opened'\n");
  chmod((bin + "/xdg-open").c_str(), 0755);
  std::string path = std::getenv("PATH");
  struct Case {
    std::string path;
    std::vector<std::string> arguments;
    int exitCode;
  } cases[] = {{bin, {"/pics/a b.jpg"}, 0}, {bin, {}, 1}, {m_Root + "/run", {"/pics/c.jpg"}, 1}};
  for (const Case& c : cases) {
    setenv("PATH", c.path.c_str(), 1);
    std::vector<std::string> argv{QUICKGLANCE_PATH};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    ProcessResult result = RunProcess(argv, 10000);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.path;
    if (result.exitCode == 0) {
      EXPECT_EQ(ReadFile(bin + "/opened"), c.arguments[0] + "\n");
    }
  }
  setenv("PATH", path.c_str(), 1);
}

TEST_F(SetupTest, Screenshot) {
  const char* binary = std::getenv("GQ_TEST_BINARY_DIR");
  std::string folder = std::string(binary ? binary : ".") + "/screenshots";
  fs::create_directories(folder);
  SetupDialog dialog(m_Launchers);
  dialog.show();
  EXPECT_TRUE(dialog.grab().save(QString::fromStdString(folder + "/setup-dialog.png")));
}

}  // namespace
}  // namespace gq
