// The thumbnail view: the grid of the display list of the current list mode, painted by
// the view itself, with the current picture, the multiple selection (the database's),
// the range anchor and the history of current pictures. It reads the list window and
// thumbnails only through the database's and search engine's methods and pages
// thumbnails in from the database file when it first draws them. What needs the
// window around it (context menu, drag and drop, commands, status bar, viewer) goes
// out through the hooks. Owned by the main window (a child of its client area); used
// only on the user-interface thread.
#pragma once

#include <QAbstractScrollArea>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/PictureHistory.h"
#include "ui/ThumbsBrushes.h"
#include "ui/ThumbsKeys.h"

namespace gq {

class ImageRecordDB;
class SearchEngine;
struct ImageRecord;
class DuplicateGrid;

// Commands the view hands to the window.
inline constexpr int kCmdOpen = 32783;
inline constexpr int kCmdRenameFile = 32808;
inline constexpr int kCmdDeleteFromDb = 33823;
inline constexpr int kCmdCopyToClipboard = 33829;
inline constexpr int kCmdPaste = 33830;
inline constexpr int kCmdSearchSimilar = 33848;

class ThumbsView : public QAbstractScrollArea {
 public:
  struct Hooks {
    // Opens the context menu at a point of the screen.
    std::function<void(const QPoint& globalPos)> contextMenuAt;
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
};

}  // namespace gq
