// One of the picture viewer's two top-level windows (framed or full screen): paints the
// viewer's picture into its client area and turns keys, mouse buttons, the wheel and the
// close box into calls of its Viewer. The Viewer owns it; user-interface thread only.
#pragma once

#include <QWidget>

#include "ui/ViewerRules.h"

namespace gq {

class Viewer;

class ViewerWindow : public QWidget {
 public:
  ViewerWindow(Viewer& viewer, ViewerKind kind);

  ViewerKind Kind() const { return m_Kind; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Tab belongs to the viewer (it hides it), not to focus changes.
  bool focusNextPrevChild(bool next) override;

 private:
  Viewer& m_Viewer;
  const ViewerKind m_Kind;
  int m_WheelDelta = 0;  // wheel turn not yet worth a whole notch
};

}  // namespace gq
