// The thumbnail view: the grid of the display list of the current list mode, painted by
// the view itself, with the current picture, the multiple selection (the database's),
// the range anchor and the history of current pictures. It reads the list window and
// thumbnails only through the database's and search engine's methods and pages
// thumbnails in from the database file when it first draws them. It owns the picture
// context menu and carries out the picture commands (search, rename in place, delete
// to the trash, remove from the database); what needs the window or the desktop
// around it (clipboard, drag and drop, file manager, viewer, status bar, window
// commands) goes out through the hooks, and a command whose hook is absent beeps. Owned by the main
// window (a child of its client area); used only on the user-interface thread.
#pragma once

#include <QAbstractScrollArea>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/PictureHistory.h"
#include "ui/ThumbsBrushes.h"
#include "ui/ThumbsCommands.h"
#include "ui/ThumbsKeys.h"
#include "ui/ThumbsMessages.h"

class QMenu;

namespace gq {

class ImageRecordDB;
class SearchEngine;
struct ImageRecord;
class DuplicateGrid;

// The database order (kOrder...) in which a list mode shows its pictures.
int OrderModeOf(int listMode);

class ThumbsView : public QAbstractScrollArea {
 public:
  struct Hooks {
    // Drags the pictures out; returns when the drag has ended.
    std::function<void(const std::vector<ImageRecord*>& pictures)> startDrag;
    // Carries out a command of the window (kCmd...).
    std::function<void(int command)> command;
    // Shows a status text with a hold time in milliseconds.
    std::function<void(const std::string& text, int holdMs)> statusText;
    // The viewer is given the current picture's file (it keeps its visibility).
    std::function<void(const std::string& path)> viewerFile;
    // A middle click asks the viewer to show this picture.
    std::function<void(int32_t lfdNr)> showInViewer;
    // Menus and tool-bar buttons must be refreshed.
    std::function<void()> commandStateChanged;
    // The view changed its list mode itself (Tab, searching, View in Sorted List).
    std::function<void(int mode)> listModeChanged;
    // Fills the context menu's empty "Open with..." submenu for the file when it opens;
    // its items carry out their own actions. Without it the submenu is greyed.
    std::function<void(QMenu* menu, const std::string& path)> fillOpenWith;
    // Puts the files on the clipboard, to be moved when cut; false when it failed.
    std::function<bool(const std::vector<std::string>& paths, bool cut)> copyToClipboard;
    // Whether a list of files may be deleted (it tells the user why not); absent: yes.
    std::function<bool(const std::vector<std::string>& paths)> fileListAllowed;
    // Desktop actions on one file: its properties, its folder in the file manager with
    // the file selected, the file in its default program. Each beeps on failure.
    std::function<void(const std::string& path)> showProperties;
    std::function<void(const std::string& path)> exploreDirectory;
    std::function<void(const std::string& path)> viewExternal;
    // A viewer command for the main window (kCmdViewInWindow, kCmdViewFullscreen,
    // kCmdSwitchViewerKind).
    std::function<void(int command)> viewerCommand;
    // The file the viewer shows ("" for none), for commands whose input came from it.
    std::function<std::string()> viewerPath;
  };
  Hooks hooks;

  ThumbsView(ImageRecordDB& db, SearchEngine& engine, QWidget* parent = nullptr);
  ~ThumbsView() override;

  int ListMode() const { return m_ViewMode; }
  // mode is a ListMode or -2 (the previous mode, searching again). With search, Search
  // Similar searches from the current picture and other modes scroll to it.
  void SetListMode(int mode, bool search);
  // Recomputes the scroll range and the visible slice; with keep the picture in the
  // middle of the slice stays in sight when the current picture cannot be shown.
  void Refresh(bool repaint, bool keep);

  // The current picture's running number, or -1 (also once its record is gone).
  int32_t CurrentPicture();
  // Makes p (or none with -1) current: status text, viewer, history, scrolled to.
  void SetCurrentPicture(int32_t p);
  // False when p is not in the list of the current mode.
  bool ScrollToPicture(int32_t p, bool forget);
  void ScrollToCurrent() { ScrollToPicture(CurrentPicture(), false); }
  // Without doIt only tells whether the step is possible.
  bool HistoryBack(bool doIt);
  bool HistoryForward(bool doIt);
  const PictureHistory& History() const { return m_History; }

  // The command handler: carries out a command of ThumbsCommands.h for the current
  // picture, or first makes the viewer's picture current when the last input came from
  // the viewer. False for a command the view does not know.
  bool RunCommand(int command);
  // The handler of MsgSelectPath and MsgContextMenuAt for the main window.
  intptr_t HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
  // MsgSelectPath: 0 when the current picture has the path (case-sensitive) or its
  // record was selected as by a keyboard move; -1 when no record has it.
  intptr_t SelectPath(const std::string& path, Qt::KeyboardModifiers modifiers);
  // Opens the context menu at a screen point and runs the command chosen; the view
  // itself offers none without a current picture.
  void ContextMenuAt(InputWindow from, const QPoint& globalPos);
  // The window of the last key or context menu (the viewer records its keys here).
  InputWindow LastInput() const { return m_LastInput; }
  void SetLastInput(InputWindow window) { m_LastInput = window; }

  // The picture commands. Renames the current picture's file in place (false when
  // there is none, the name is refused or the rename failed, each told to the user);
  // moves the pictures concerned to the trash and removes them from the database
  // (false when nothing was deleted or a file could not be); removes the pictures
  // concerned from the database (false when there were none).
  bool RenameCurrent();
  bool DeleteFiles();
  bool RemoveFromDb();

  // The selected pictures and the current one.
  std::vector<ImageRecord*> PicturesConcerned();
  int32_t Anchor() const { return m_Anchor; }
  void SetAnchor(int32_t lfdNr) { m_Anchor = lfdNr; }
  // Moves the current picture as the key does (Shift extends, Ctrl adds).
  void MoveByKey(MoveKey key, Qt::KeyboardModifiers modifiers);

  void SetScrollBarLeft(bool left);
  // The background colour (0xRRGGBB); the contrast colour follows from it.
  void SetBackgroundColour(uint32_t rgb);
  // Set while a modal progress dispatches messages: painting stops at the background.
  void SetNoRepaint(bool noRepaint) { m_NoRepaint = noRepaint; }
  int32_t ScrollPosition() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  // Makes a picture reached through the history current (in Search Similar also the
  // search picture); false for -1, no picture.
  bool ShowHistoryEntry(int32_t lfdNr);
  enum class Press { kIdle, kPressed, kDragging, kDropped };

  ScrollInputs Inputs() const;
  int OrderMode() const;
  DuplicateGrid Duplicates() const;
  int32_t ListIndexOf(int32_t lfdNr) const;
  int32_t GridOfIndex(int32_t index) const;
  void UpdateRange();
  bool FillSlice();
  void ScrollTo(int32_t position);
  void OnScrollAction(int action);
  int32_t MiddlePicture() const;
  ImageRecord* RecordUnder(const QPoint& point) const;
  void Select(int32_t target, Qt::KeyboardModifiers modifiers, bool rightButton, bool fromKeyboard);
  void SelectListIndex(int32_t index, Qt::KeyboardModifiers modifiers);
  void ShowStatus(const ImageRecord& record);
  void PaintCells(class QPainter& painter);
  bool HandleCommandKey(QKeyEvent* event);
  void Command(int command);
  void BringToFront();
  void ShowText(const std::string& text, int holdMs);
  // False (after a beep, or the viewer exploring its own file) when the viewer's picture
  // is not in the database.
  bool TakeViewerPicture(int command);
  void SearchSimilar();
  void ForCurrentFile(const std::function<void(const std::string&)>& action);
  void ViewerCommand(int command);
  bool CopyToClipboard(bool cut);
  bool RenameFile(int32_t lfdNr, const std::string& baseName);
  // Removes the records and makes the one now at the current picture's list index
  // current; tells the change listener.
  void RemovePictures(const std::vector<int32_t>& lfdNrs);

  ImageRecordDB& m_Db;
  SearchEngine& m_Engine;
  int32_t m_Current = -1;
  int32_t m_Anchor = -1;
  PictureHistory m_History;
  int32_t m_SavedScroll[4] = {0, 0, 0, 0};  // by list mode + 1; -1 = none
  int m_ViewMode = 0;
  int m_PreviousMode = 0;
  int32_t m_SliceFirst = 0;
  int32_t m_SliceCount = 0;
  ThumbsColours m_Colours;
  bool m_NoRepaint = false;
  bool m_Filling = false;
  Press m_Press = Press::kIdle;
  QPoint m_PressPoint;
  int m_WheelDelta = 0;
  QTimer m_RenameTimer;
  InputWindow m_LastInput = InputWindow::kView;
  bool m_Renaming = false;
};

}  // namespace gq
