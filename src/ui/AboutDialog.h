// The modal about box: the program icon, the version line, the acknowledgement of the
// picture libraries and a link that opens the project's page in the web browser.
// User-interface thread only.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

namespace gq {

inline constexpr const char* kVersionSuffix = " 2.0.6 E";
inline constexpr const char* kProjectPage = "https://github.com/glimmerquorum/glimmerquorum";

class AboutDialog : public QDialog {
 public:
  // Opens an address in the web browser; QDesktopServices::openUrl unless replaced.
  std::function<bool(const QUrl&)> openUrl;

  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace gq
