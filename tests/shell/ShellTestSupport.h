// Test helpers of the shell tests: every URL the code asks the desktop to open is
// recorded here instead of starting a real program (installed by the tests' main).
#pragma once

#include <QDesktopServices>
#include <QObject>
#include <QUrl>
#include <string>
#include <vector>

namespace gq::test {

class OpenedUrls : public QObject {
  Q_OBJECT
 public:
  std::vector<std::string> urls;

 public slots:
  void Open(const QUrl& url) { urls.push_back(url.toString(QUrl::FullyEncoded).toStdString()); }
};

// The recorder of the whole test run.
OpenedUrls& Opened();

}  // namespace gq::test
