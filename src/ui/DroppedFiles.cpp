#include "ui/DroppedFiles.h"

#include <QMimeData>
#include <QUrl>

namespace gq {
namespace {

constexpr const char* kGnomeCopiedFiles = "x-special/gnome-copied-files";

std::vector<std::string> LocalFiles(const QList<QUrl>& urls) {
  std::vector<std::string> paths;
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  return paths;
}

// The addresses after the first line ("copy" or "cut").
std::vector<std::string> GnomeCopiedFiles(const QByteArray& bytes) {
  QList<QUrl> urls;
  const QList<QByteArray> lines = bytes.split('\n');
  for (qsizetype i = 1; i < lines.size(); ++i) {
    QByteArray line = lines[i].trimmed();
    if (!line.isEmpty()) urls.append(QUrl::fromEncoded(line));
  }
  return LocalFiles(urls);
}

}  // namespace

std::vector<std::string> DroppedPaths(const QMimeData& data) {
  return data.hasUrls() ? LocalFiles(data.urls()) : std::vector<std::string>();
}

std::vector<std::string> CopiedPaths(const QMimeData& data) {
  if (data.hasFormat(kGnomeCopiedFiles)) return GnomeCopiedFiles(data.data(kGnomeCopiedFiles));
  return DroppedPaths(data);
}

std::string FirstLine(const std::string& text, size_t limit) {
  std::string line = text.substr(0, text.find_first_of("\r\n"));
  return line.substr(0, limit);
}

}  // namespace gq
