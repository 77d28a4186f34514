// The first part of the status bar: the status text on one line with path ellipsis,
// over a progress bar that fills the left fraction in the highlight colour. Repaints
// only when the text or the filled width changes. User-interface thread.
#pragma once

#include <QWidget>

namespace gq {

class ProgressPane : public QWidget {
 public:
  explicit ProgressPane(QWidget* parent = nullptr);

  void SetText(const QString& text);
  // fraction 0..1 of the work done.
  void SetProgress(double fraction);

  const QString& Text() const { return m_Text; }
  double Progress() const { return m_Progress; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_Text;
  double m_Progress = 0;
};

// Shortens text in the middle of its last path so it fits width pixels in metrics
// (the folder part goes first, the file name stays as long as it can).
QString ElidePath(const QString& text, const QFontMetrics& metrics, int width);

}  // namespace gq
