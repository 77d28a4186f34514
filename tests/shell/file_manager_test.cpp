#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QTest>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "ShellTestSupport.h"
#include "shell/FileManager.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

// A file manager on the bus that records what it is asked to show.
class FakeFileManager : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
 public:
  std::vector<std::string> calls;

 public slots:
  void ShowItems(const QStringList& uris, const QString&) { Record("ShowItems", uris); }
  void ShowItemProperties(const QStringList& uris, const QString&) {
    Record("ShowItemProperties", uris);
  }

 private:
  void Record(const char* method, const QStringList& uris) {
    calls.push_back(method + (" " + uris.join(' ')).toStdString());
  }
};

constexpr char kFakeConnection[] = "fake-file-manager";

class FileManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!getenv("GQ_TEST_PRIVATE_BUS")) GTEST_SKIP() << "runs only on the bus of private-bus.sh";
    test::Opened().urls.clear();
  }
  void TearDown() override { QDBusConnection::disconnectFromBus(kFakeConnection); }

  // Puts the fake on the bus through a connection of its own, as another program.
  void StartFileManager() {
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, kFakeConnection);
    ASSERT_TRUE(bus.registerObject("/org/freedesktop/FileManager1", &fake,
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService("org.freedesktop.FileManager1"));
  }

  // Runs a request and waits for its answer: whether the file manager took it.
  template <typename Request>
  std::optional<bool> Answer(Request request, const std::string& path) {
    std::optional<bool> answer;
    request(path, [&answer](bool byFileManager) { answer = byFileManager; });
    EXPECT_TRUE(QTest::qWaitFor([&answer] { return answer.has_value(); }, 10000));
    return answer;
  }

  FakeFileManager fake;
  test::ScriptedMessageBox boxes;
};

TEST_F(FileManagerTest, FileManagerOnTheBusShowsTheFileAndItsProperties) {
  StartFileManager();
  EXPECT_EQ(Answer(ExploreFile, "/pics/a b.jpg"), true);
  EXPECT_EQ(Answer(ShowFileProperties, "/pics/c.jpg"), true);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"ShowItems file:///pics/a%20b.jpg",
                                                  "ShowItemProperties file:///pics/c.jpg"}));
  EXPECT_TRUE(test::Opened().urls.empty());
  EXPECT_TRUE(boxes.Beeps().empty());
}

TEST_F(FileManagerTest, WithoutFileManagerTheFolderOpensAndPropertiesBeep) {
  EXPECT_EQ(Answer(ExploreFile, "/pics/a b.jpg"), false);
  EXPECT_EQ(test::Opened().urls, std::vector<std::string>{"file:///pics"});
  EXPECT_EQ(Answer(ShowFileProperties, "/pics/c.jpg"), false);
  EXPECT_EQ(boxes.Beeps().size(), 1u);
  EXPECT_TRUE(ViewExternal("/pics/a b.jpg"));
  EXPECT_EQ(test::Opened().urls.back(), "file:///pics/a%20b.jpg");
}

}  // namespace
}  // namespace gq

#include "file_manager_test.moc"
