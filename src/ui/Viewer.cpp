#include "ui/Viewer.h"

#include <QApplication>
#include <filesystem>

#include "frame/Settings.h"
#include "platform/Beep.h"
#include "ui/ThumbsBrushes.h"
#include "ui/ViewerWindow.h"

namespace gq {

namespace {

uint64_t FileBytes(const std::string& path) {
  std::error_code error;
  const uintmax_t bytes = std::filesystem::file_size(path, error);
  return error ? 0 : bytes;
}

bool IsModifierKey(int key) {
  return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt ||
         key == Qt::Key_Meta || key == Qt::Key_AltGr;
}

void Beep() { MessageBeep(MB_BEEP_DEFAULT); }

}  // namespace

Viewer::Viewer()
    : m_Framed(std::make_unique<ViewerWindow>(*this, ViewerKind::kFramed)),
      m_FullScreen(std::make_unique<ViewerWindow>(*this, ViewerKind::kFullScreen)),
      m_Background(FromWindowsRgb(g_settings.backColor)) {
  m_Framed->resize(800, 600);
}

Viewer::~Viewer() { Shutdown(); }

ViewerWindow& Viewer::Window(ViewerKind kind) const {
  return kind == ViewerKind::kFullScreen ? *m_FullScreen : *m_Framed;
}

bool Viewer::Show(ViewerKind kind, const std::string& path) {
  if (m_ShutDown) return false;
  Ensure();
  const std::string& shown = path.empty() ? m_CurrentPath : path;
  if (shown.empty()) {
    SwitchKind(kind);
  } else {
    ShowPath(shown, kind, true);
  }
  return true;
}

void Viewer::Ensure() {
  if (!m_Decoder) {
    m_Decoder = std::make_unique<ViewerDecoder>([this](ViewerPicture picture) {
      QMetaObject::invokeMethod(
          this, [this, picture = std::move(picture)]() mutable { Delivered(std::move(picture)); },
          Qt::QueuedConnection);
    });
  }
  m_Visible = true;
  if (hooks.commandStateChanged) hooks.commandStateChanged();
}

void Viewer::Hide() {
  ViewerWindow& current = Window(m_Kind);
  if (current.isActiveWindow() && hooks.raiseMainWindow) hooks.raiseMainWindow();
  current.hide();
  m_Visible = false;
  if (hooks.commandStateChanged) hooks.commandStateChanged();
}

std::optional<ViewerKind> Viewer::VisibleKind() const {
  if (!m_Visible) return std::nullopt;
  return m_Kind;
}

void Viewer::SetFile(const std::string& path) {
  if (!path.empty()) ShowPath(path, std::nullopt, false);
}

void Viewer::ShowPath(const std::string& path, std::optional<ViewerKind> kind, bool reset) {
  if (reset) m_Loaded = false;
  if (path != m_CurrentPath) {
    m_CurrentPath = path;
    m_Loaded = false;
    m_Framed->setWindowTitle(QString::fromStdString(ViewerTitle(path, FileBytes(path))));
  }
  if (kind) SwitchKind(*kind);
  if (m_Visible && !m_Loaded) RequestPicture(reset);
}

void Viewer::SwitchKind(ViewerKind kind) {
  const bool programInFront = QApplication::activeWindow() != nullptr;
  Window(kind == ViewerKind::kFramed ? ViewerKind::kFullScreen : ViewerKind::kFramed).hide();
  m_Kind = kind;
  ViewerWindow& current = Window(kind);
  if (kind == ViewerKind::kFullScreen) {
    current.showFullScreen();
  } else {
    current.show();
  }
  if (programInFront) {
    current.raise();
    current.activateWindow();
  }
}

void Viewer::RequestPicture(bool reset) {
  if (!m_Decoder || m_CurrentPath.empty()) return;
  const ViewerWindow& current = Window(m_Kind);
  m_Decoder->Request({m_CurrentPath, current.width(), current.height(), DoNotZoom(), reset});
}

void Viewer::Delivered(ViewerPicture picture) {
  m_Loaded = picture.path == m_CurrentPath;
  m_Picture = std::move(picture);
  ViewerWindow& current = Window(m_Kind);
  current.repaint();
  if (hooks.pictureShown) hooks.pictureShown(m_Picture.path);
}

void Viewer::WindowResized(ViewerKind kind) {
  const ViewerWindow& window = Window(kind);
  const bool scaledForIt = m_Picture.clientWidth == window.width() &&
                           m_Picture.clientHeight == window.height() &&
                           m_Picture.doNotZoom == DoNotZoom();
  if (m_Visible && kind == m_Kind && !m_Picture.size.isEmpty() && !scaledForIt) {
    RequestPicture(false);
  }
}

bool Viewer::DoNotZoom() const { return g_settings.noZoom; }

void Viewer::SetDoNotZoom(bool doNotZoom) {
  g_settings.noZoom = doNotZoom;
  WindowResized(m_Kind);
  Window(m_Kind).update();
}

void Viewer::SetBackgroundColour(uint32_t rgb) {
  m_Background = rgb & 0xFFFFFF;
  m_Framed->update();
  m_FullScreen->update();
}

bool Viewer::Command(int command) {
  if (command == kCmdZoomSmallPictures) {
    SetDoNotZoom(!DoNotZoom());
  } else if (command == kExploreDirectory) {
    ExploreDirectory();
  } else if (command >= kFirstOpenWith && command <= kLastOpenWith) {
    OpenWith(command);
  } else if (const auto action = ActionForCommand(command, VisibleKind(), m_Kind)) {
    if (action->hide) {
      Hide();
    } else {
      Show(action->kind);
    }
  } else {
    return false;
  }
  return true;
}

void Viewer::HandleKey(ViewerKind from, int key, Qt::KeyboardModifiers modifiers) {
  if (IsModifierKey(key)) return;
  const std::optional<ViewerKind> previous = m_LastInput;
  m_LastInput = from;
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (previous != from) Hide();
      SelectViewerPicture();
      if (hooks.searchSimilar) {
        hooks.searchSimilar();
      } else {
        Beep();
      }
      return;
    case Qt::Key_Escape:
      Hide();
      return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      if (!(modifiers & Qt::ControlModifier)) {
        Hide();
      } else if (hooks.raiseMainWindow) {
        hooks.raiseMainWindow();
      }
      return;
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Menu:
      SelectViewerPicture();
      break;
  }
  PassKey(key, modifiers);
}

void Viewer::ContextMenu(ViewerKind from, const QPoint& globalPos) {
  m_LastInput = from;
  SelectViewerPicture();
  if (hooks.contextMenuAt) {
    hooks.contextMenuAt(globalPos);
  } else {
    Beep();
  }
}

void Viewer::SelectViewerPicture() {
  if (hooks.selectPath && !m_CurrentPath.empty()) hooks.selectPath(m_CurrentPath);
}

void Viewer::PassKey(int key, Qt::KeyboardModifiers modifiers) {
  if (hooks.key) {
    hooks.key(key, modifiers);
  } else {
    Beep();
  }
}

void Viewer::ExploreDirectory() {
  if (m_CurrentPath.empty() || !hooks.exploreDirectory || !hooks.exploreDirectory(m_CurrentPath)) {
    Beep();
  }
}

void Viewer::OpenWith(int command) {
  if (m_CurrentPath.empty() || !hooks.openWith || !hooks.openWith(command, m_CurrentPath)) Beep();
}

void Viewer::Shutdown() {
  m_ShutDown = true;
  m_Decoder.reset();
  m_Framed->hide();
  m_FullScreen->hide();
  m_Visible = false;
}

}  // namespace gq
