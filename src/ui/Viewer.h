// The picture viewer: the current picture of the thumbnail view shown large, in a
// framed window or full screen (two windows, one of them current). Its windows live on
// the user-interface thread; decoding and scaling run on a worker of their own (started
// with the first show), which hands each picture back by a queued call, so a large
// picture never blocks the window and only the newest request is decoded. Keys and the
// wheel in the viewer drive the thumbnail view through the hooks; the view's new current
// picture comes back through SetFile. What belongs to the rest of the program (the
// thumbnail view, the main window, the file manager) goes out through the hooks; an
// action whose hook is absent beeps. Owned by the main window; user-interface thread only.
#pragma once

#include <QObject>
#include <QPoint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/ViewerDecoder.h"
#include "ui/ViewerRules.h"

namespace gq {

class ViewerWindow;

class Viewer : public QObject {
 public:
  struct Hooks {
    // Hands a key of a viewer window to the main window, which runs its shortcut or
    // gives it to the thumbnail view (Right: the next picture, and so on).
    std::function<void(int key, Qt::KeyboardModifiers modifiers)> key;
    // Makes the thumbnail view select the picture of this path as a keyboard move does:
    // 0 when done, -1 when no record has that path.
    std::function<int(const std::string& path)> selectPath;
    // Return in the viewer: the main window's Search Similar.
    std::function<void()> searchSimilar;
    // Brings the main window to the front.
    std::function<void()> raiseMainWindow;
    // Opens the thumbnail view's context menu (for the picture selected just before) at
    // a point of the screen.
    std::function<void(const QPoint& globalPos)> contextMenuAt;
    // Shows a file's folder in the file manager with the file selected; false on failure.
    std::function<bool(const std::string& path)> exploreDirectory;
    // Runs an Open with command (kFirstOpenWith..kLastOpenWith) on a file; false on failure.
    std::function<bool(int command, const std::string& path)> openWith;
    // The viewer was shown or hidden: menus and tool-bar buttons must be refreshed.
    std::function<void()> commandStateChanged;
    // A decoded picture (of this path) has just been put on screen.
    std::function<void(const std::string& path)> pictureShown;
  };
  Hooks hooks;

  static constexpr int kExploreDirectory = 33825;
  static constexpr int kFirstOpenWith = 32811;
  static constexpr int kLastOpenWith = 33812;

  Viewer();
  ~Viewer() override;

  // Shows the viewer in a kind of window: with a path, or else the current path, that
  // picture (decoded afresh); with neither only the window. Always true: the windows
  // exist from the start.
  bool Show(ViewerKind kind, const std::string& path = {});
  // Hides the current window; the main window comes to the front when the viewer had it.
  void Hide();
  // The kind shown, none while hidden.
  std::optional<ViewerKind> VisibleKind() const;
  // The kind of the current window: the one used last.
  ViewerKind LastKind() const { return m_Kind; }
  // The thumbnail view's current picture: becomes the viewer's, keeping its visibility;
  // decoded only while the viewer is visible.
  void SetFile(const std::string& path);
  const std::string& CurrentPath() const { return m_CurrentPath; }
  // Whether the picture on screen belongs to the current path.
  bool Loaded() const { return m_Loaded; }
  // Small pictures keep their own size (the program's setting); changing it repaints.
  bool DoNotZoom() const;
  void SetDoNotZoom(bool doNotZoom);
  // The background colour (0xRRGGBB) of the bands around the picture.
  uint32_t BackgroundColour() const { return m_Background; }
  void SetBackgroundColour(uint32_t rgb);
  // Carries out a viewer command of the main window (kCmdPicture..., kCmdZoomSmallPictures)
  // or one given to the viewer (kExploreDirectory and Open with on the viewer's file).
  // False when the command is none of these.
  bool Command(int command);

  // The last key or context menu came from a viewer window, or from elsewhere (the main
  // window reports its own with NoteInputElsewhere).
  bool LastInputFromViewer() const { return m_LastInput.has_value(); }
  void NoteInputElsewhere() { m_LastInput.reset(); }

  // Ends the worker (joined) and hides the windows; the viewer shows nothing afterwards.
  void Shutdown();
  int DecodeCount() const { return m_Decoder ? m_Decoder->DecodeCount() : 0; }
  ViewerWindow& Window(ViewerKind kind) const;

  // For the windows: what they paint and what they were given.
  const ViewerPicture& Picture() const { return m_Picture; }
  void HandleKey(ViewerKind from, int key, Qt::KeyboardModifiers modifiers);
  void ContextMenu(ViewerKind from, const QPoint& globalPos);
  void WindowResized(ViewerKind kind);

 private:
  void Ensure();
  void ShowPath(const std::string& path, std::optional<ViewerKind> kind, bool reset);
  void SwitchKind(ViewerKind kind);
  void RequestPicture(bool reset);
  void Delivered(ViewerPicture picture);
  void SelectViewerPicture();
  void PassKey(int key, Qt::KeyboardModifiers modifiers);
  void ExploreDirectory();
  void OpenWith(int command);

  std::unique_ptr<ViewerWindow> m_Framed;
  std::unique_ptr<ViewerWindow> m_FullScreen;
  std::unique_ptr<ViewerDecoder> m_Decoder;  // from the first show until Shutdown
  bool m_ShutDown = false;
  ViewerKind m_Kind = ViewerKind::kFramed;
  std::string m_CurrentPath;
  bool m_Loaded = false;   // m_Picture belongs to m_CurrentPath
  bool m_Visible = false;  // set by a show before the window appears
  ViewerPicture m_Picture;
  uint32_t m_Background;
  std::optional<ViewerKind> m_LastInput;  // the window of the last key; none: elsewhere
};

}  // namespace gq
