// The windows around the main window and the desktop side of the thumbnail view: the
// picture viewer, the four tool dialogs (find by text, criteria, search duplicates,
// mosaic; created hidden, shown by their commands, cycled by Ctrl+Tab), the modal
// dialogs (about, import filter, displayed pictures, background colour), and the
// clipboard, drag, file manager and "Open with..." actions. It also gives the window
// one route for commands: the view's own commands go to the view, the rest to the
// command layer. A child of the main window, built once the view and the command layer
// exist; the viewer's worker ends with it. User-interface thread only.
#pragma once

#include <QObject>
#include <memory>
#include <string>

namespace gq {

class CriteriaDialog;
class DuplicatesDialog;
class FindTextDialog;
class MainWindow;
class MosaicDialog;
class ProgramHost;
class ThumbsView;
class Viewer;
class WindowCommands;

class ToolWindows : public QObject {
 public:
  ToolWindows(ProgramHost& program, MainWindow& window, ThumbsView& view, WindowCommands& commands);
  ~ToolWindows() override;

 protected:
  // Keys and right clicks in the view tell the viewer that the last input came from
  // elsewhere.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void WireViewer();
  void WireViewerCommands();
  void WireDesktop();
  void WireDialogs();
  void WireModalDialogs();
  void RouteCommands();
  // A key of the viewer: the main window's own shortcut that has it, else the view's key.
  void MainWindowKey(int key, Qt::KeyboardModifiers modifiers);
  void ShowInViewer(const std::string& path);
  void ViewerShownOrHidden();
  void ShowToolWindow(QWidget* dialog);
  void ChooseBackgroundColour();
  void AskDisplayedPictures();
  void StatusText(const std::string& text);

  ProgramHost& m_Program;
  MainWindow& m_Window;
  ThumbsView& m_View;
  WindowCommands& m_Commands;
  std::unique_ptr<Viewer> m_Viewer;
  FindTextDialog* m_Find = nullptr;
  CriteriaDialog* m_Criteria = nullptr;
  DuplicatesDialog* m_Duplicates = nullptr;
  MosaicDialog* m_Mosaic = nullptr;
  bool m_DuplicatesShown = false;
  bool m_PassingViewerKey = false;  // the view is being given a key of the viewer
};

}  // namespace gq
