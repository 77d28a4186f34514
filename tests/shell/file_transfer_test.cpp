#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QUrl>
#include <string>
#include <vector>

#include "shell/dragdrop/FileTransfer.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

std::string Offered(const char* type) {
  const QByteArray bytes = QApplication::clipboard()->mimeData()->data(type);
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

TEST(FileTransferTest, ClipboardOffersTheListByteForByte) {
  const struct {
    std::vector<std::string> paths;
    bool cut;
    std::string uris, text, gnome, kde;
  } cases[] = {
      {{"/pics/a b.jpg"},
       false,
       "file:///pics/a%20b.jpg\r\n",
       "/pics/a b.jpg",
       "copy\nfile:///pics/a%20b.jpg",
       "0"},
      {{"/p/1.jpg", "/p/\xC3\xBC.png", "/p/50%#.bmp"},
       true,
       "file:///p/1.jpg\r\nfile:///p/%C3%BC.png\r\nfile:///p/50%25%23.bmp\r\n",
       "/p/1.jpg\r\n/p/\xC3\xBC.png\r\n/p/50%#.bmp\r\n",
       "cut\nfile:///p/1.jpg\nfile:///p/%C3%BC.png\nfile:///p/50%25%23.bmp",
       "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.paths[0]);
    ASSERT_TRUE(CopyFilesToClipboard(c.paths, c.cut));
    EXPECT_EQ(Offered("text/uri-list"), c.uris);
    EXPECT_EQ(Offered("text/plain"), c.text);
    EXPECT_EQ(Offered("x-special/gnome-copied-files"), c.gnome);
    EXPECT_EQ(Offered("application/x-kde-cutselection"), c.kde);
    const QList<QUrl> urls = QApplication::clipboard()->mimeData()->urls();
    ASSERT_EQ(urls.size(), static_cast<qsizetype>(c.paths.size()));
    for (size_t i = 0; i < c.paths.size(); ++i) {
      EXPECT_EQ(urls[i].toLocalFile().toStdString(), c.paths[i]);
    }
  }
}

TEST(FileTransferTest, RefusedSelectionLeavesTheClipboard) {
  test::ScriptedMessageBox boxes;
  QApplication::clipboard()->setText("before");
  const std::vector<std::string> tooMany(30000, "/pics/" + std::string(200, 'x'));
  EXPECT_FALSE(CopyFilesToClipboard(tooMany, false));
  EXPECT_FALSE(CopyFilesToClipboard({}, false));
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "before");
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{
                               "Too many pictures selected.\n\nSee Options to turn off limit."});
  EXPECT_EQ(boxes.Beeps().size(), 1u);
}

}  // namespace
}  // namespace gq
