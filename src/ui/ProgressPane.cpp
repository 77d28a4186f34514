#include "ui/ProgressPane.h"

#include <QPainter>

#include "ui/WindowFormulas.h"

namespace gq {

ProgressPane::ProgressPane(QWidget* parent) : QWidget(parent) {
  setObjectName("StatusBarPane1");
  setMinimumWidth(120);
}

void ProgressPane::SetText(const QString& text) {
  if (text == m_Text) return;
  m_Text = text;
  update();
}

void ProgressPane::SetProgress(double fraction) {
  bool repaint = ProgressFillWidth(fraction, width()) != ProgressFillWidth(m_Progress, width());
  m_Progress = fraction;
  if (repaint) update();
}

void ProgressPane::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QRect all = rect().adjusted(1, 1, -1, -1);
  int filled = ProgressFillWidth(m_Progress, all.width());
  QRect done(all.left(), all.top(), filled, all.height());
  QRect rest = all.adjusted(filled, 0, 0, 0);
  QRect textArea = all.adjusted(4, 0, -4, 0);
  QString shown = ElidePath(m_Text, fontMetrics(), textArea.width());
  int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;

  const QPalette& colors = palette();
  painter.fillRect(rest, colors.color(QPalette::Active, QPalette::Window));
  painter.fillRect(done, colors.color(QPalette::Active, QPalette::Highlight));
  painter.setClipRect(rest);
  painter.setPen(colors.color(QPalette::Active, QPalette::WindowText));
  painter.drawText(textArea, flags, shown);
  painter.setClipRect(done);
  painter.setPen(colors.color(QPalette::Active, QPalette::HighlightedText));
  painter.drawText(textArea, flags, shown);
}

QString ElidePath(const QString& text, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(text) <= width) return text;
  qsizetype slash = text.lastIndexOf('/');
  if (slash < 0) return metrics.elidedText(text, Qt::ElideRight, width);
  QString name = text.mid(slash);
  for (qsizetype keep = slash; keep > 0; --keep) {
    QString candidate = text.left(keep) + "..." + name;
    if (metrics.horizontalAdvance(candidate) <= width) return candidate;
  }
  return metrics.elidedText("..." + name, Qt::ElideRight, width);
}

}  // namespace gq
