#include "ui/ViewerWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>

#include "ui/Viewer.h"

namespace gq {

namespace {

constexpr int kNotch = 120;  // wheel delta of one notch

// The text in black, or in white on a dark background.
void PaintNoPicture(QPainter& painter, const QRect& client, const QColor& background) {
  painter.setPen(qGray(background.rgb()) > 128 ? Qt::black : Qt::white);
  painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, QStringLiteral("No Picture"));
}

// Fills the client area around the picture's rectangle.
void FillBands(QPainter& painter, const QRect& client, const QRect& place, const QColor& colour) {
  const QRegion bands = QRegion(client).subtracted(place);
  for (const QRect& band : bands) painter.fillRect(band, colour);
}

}  // namespace

ViewerWindow::ViewerWindow(Viewer& viewer, ViewerKind kind)
    : QWidget(nullptr,
              kind == ViewerKind::kFullScreen ? Qt::Window | Qt::FramelessWindowHint : Qt::Window),
      m_Viewer(viewer),
      m_Kind(kind) {
  setObjectName(kind == ViewerKind::kFullScreen ? "ViewerFullScreen" : "ViewerFramed");
  setWindowTitle(QStringLiteral("GlimmerQuorum - View"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_QuitOnClose, false);
  setCursor(Qt::CrossCursor);
  setFocusPolicy(Qt::StrongFocus);
}

void ViewerWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor background = QColor::fromRgb(m_Viewer.BackgroundColour());
  const QRect client = rect();
  const ViewerPicture& shown = m_Viewer.Picture();
  if (shown.size.isEmpty()) {
    painter.fillRect(client, background);
    PaintNoPicture(painter, client, background);
    return;
  }
  const PictureRect target = PictureTarget(shown.size.width(), shown.size.height(), width(),
                                           height(), m_Viewer.DoNotZoom());
  const QRect place(target.x, target.y, target.width, target.height);
  FillBands(painter, client, place, background);
  if (shown.scaled.size() == place.size()) {
    painter.drawImage(place.topLeft(), shown.scaled);
  } else {
    painter.drawImage(place, shown.scaled);  // stretched until the worker has scaled it anew
  }
}

void ViewerWindow::resizeEvent(QResizeEvent*) { m_Viewer.WindowResized(m_Kind); }

void ViewerWindow::keyPressEvent(QKeyEvent* event) {
  m_Viewer.HandleKey(m_Kind, event->key(), event->modifiers());
}

void ViewerWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton || event->button() == Qt::MiddleButton) {
    m_Viewer.HandleKey(m_Kind, Qt::Key_Escape, Qt::NoModifier);
  }
}

void ViewerWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    m_Viewer.ContextMenu(m_Kind, event->globalPosition().toPoint());
  }
}

void ViewerWindow::wheelEvent(QWheelEvent* event) {
  m_WheelDelta += event->angleDelta().y();
  while (m_WheelDelta <= -kNotch) {  // towards the user: the next picture
    m_WheelDelta += kNotch;
    m_Viewer.HandleKey(m_Kind, Qt::Key_Right, Qt::NoModifier);
  }
  while (m_WheelDelta >= kNotch) {
    m_WheelDelta -= kNotch;
    m_Viewer.HandleKey(m_Kind, Qt::Key_Left, Qt::NoModifier);
  }
}

void ViewerWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  m_Viewer.Hide();
}

bool ViewerWindow::focusNextPrevChild(bool) { return false; }

}  // namespace gq
