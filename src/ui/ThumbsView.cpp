#include "ui/ThumbsView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "db/ImageRecordDB.h"
#include "frame/Settings.h"
#include "platform/Beep.h"
#include "search/SearchEngine.h"
#include "ui/DuplicateGrid.h"
#include "ui/ThumbsSelection.h"

namespace gq {

namespace {

// New records are refused while the view paints or scrolls.
struct BusyGuard {
  BusyGuard() { ++g_BusyCount; }
  ~BusyGuard() { --g_BusyCount; }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;
};

struct WaitCursor {
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// The tab order of the list modes: Unsorted, Sorted by File, Search Similar, Search
// Duplicates, and round again.
int NextListMode(int mode, bool backwards) {
  static constexpr int kOrder[] = {kListUnsorted, kListSortedByFile, kListSearchSimilar,
                                   kListSearchDuplicates};
  int at = 0;
  while (kOrder[at] != mode && at < 3) ++at;
  return kOrder[(at + (backwards ? 3 : 1)) % 4];
}

// A 1-pixel checkerboard of black and white (rows alternating 0xAA and 0x55).
const QBrush& CheckerBrush() {
  static const QBrush brush = [] {
    QImage image(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y) {
      const int bits = y % 2 == 0 ? 0xAA : 0x55;
      for (int x = 0; x < 8; ++x) image.setPixel(x, y, bits & (0x80 >> x) ? 0xFFFFFF : 0);
    }
    return QBrush(image);
  }();
  return brush;
}

// Looks key up in a table of pairs; false when it is not there.
template <typename Target, size_t N>
bool LookUp(const std::pair<int, Target> (&table)[N], int key, Target* target) {
  for (const auto& [from, to] : table) {
    if (from == key) {
      *target = to;
      return true;
    }
  }
  return false;
}

bool MoveKeyOf(int key, MoveKey* move) {
  static constexpr std::pair<int, MoveKey> kMoveKeys[] = {
      {Qt::Key_Left, MoveKey::kLeft},     {Qt::Key_Right, MoveKey::kRight},
      {Qt::Key_Up, MoveKey::kUp},         {Qt::Key_Down, MoveKey::kDown},
      {Qt::Key_Home, MoveKey::kHome},     {Qt::Key_End, MoveKey::kEnd},
      {Qt::Key_PageUp, MoveKey::kPageUp}, {Qt::Key_PageDown, MoveKey::kPageDown}};
  return LookUp(kMoveKeys, key, move);
}

ScrollAction ScrollActionOf(int sliderAction) {
  static constexpr std::pair<int, ScrollAction> kActions[] = {
      {QAbstractSlider::SliderSingleStepAdd, ScrollAction::kLineDown},
      {QAbstractSlider::SliderSingleStepSub, ScrollAction::kLineUp},
      {QAbstractSlider::SliderPageStepAdd, ScrollAction::kPageDown},
      {QAbstractSlider::SliderPageStepSub, ScrollAction::kPageUp},
      {QAbstractSlider::SliderToMinimum, ScrollAction::kTop},
      {QAbstractSlider::SliderToMaximum, ScrollAction::kBottom}};
  ScrollAction action = ScrollAction::kTrack;
  LookUp(kActions, sliderAction, &action);
  return action;
}

}  // namespace

ThumbsView::ThumbsView(ImageRecordDB& db, SearchEngine& engine, QWidget* parent)
    : QAbstractScrollArea(parent), m_Db(db), m_Engine(engine) {
  setObjectName("ThumbsView");
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  SetBackgroundColour(FromWindowsRgb(g_settings.backColor));
  SetScrollBarLeft(g_settings.scrollBarLeft);
  connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
          [this](int action) { OnScrollAction(action); });
  m_RenameTimer.setSingleShot(true);
  m_RenameTimer.setInterval(QApplication::doubleClickInterval());
  connect(&m_RenameTimer, &QTimer::timeout, this, [this] { RunCommand(kCmdRenameFile); });
  m_Engine.focusedPicture = [this] { return m_Db.FindByLfdNr(CurrentPicture()); };
}

ThumbsView::~ThumbsView() { m_Engine.focusedPicture = nullptr; }

int32_t ThumbsView::ScrollPosition() const { return verticalScrollBar()->value(); }

int OrderModeOf(int listMode) {
  switch (listMode) {
    case kListUnsorted:
      return kOrderByLfdNr;
    case kListSortedByFile:
      return kOrderByPath;
    case kListSearchDuplicates:
      return kOrderGroups;
    default:
      return kOrderListWindow;
  }
}

int ThumbsView::OrderMode() const { return OrderModeOf(m_ViewMode); }

ScrollInputs ThumbsView::Inputs() const {
  ScrollInputs in;
  in.listMode = m_ViewMode;
  in.pictureCount = m_Db.Count();
  in.similarShown = static_cast<int32_t>(g_settings.similarCount);
  in.columns = LayoutForWidth(viewport()->width()).columns;
  in.height = viewport()->height();
  if (m_ViewMode == kListSearchDuplicates) in.duplicateRows = m_Engine.DuplicateRows(in.columns);
  return in;
}

DuplicateGrid ThumbsView::Duplicates() const {
  std::vector<int32_t> groups;
  const int32_t members = m_Db.CountIn(kOrderGroups);
  groups.reserve(static_cast<size_t>(members));
  for (int32_t rank = 0; rank < members; ++rank) {
    const ImageRecord* record = m_Db.RecordAt(rank, kOrderGroups);
    groups.push_back(record ? record->m_GroupNr : -1);
  }
  return DuplicateGrid(groups, LayoutForWidth(viewport()->width()).columns,
                       g_settings.compactDuplicates);
}

int32_t ThumbsView::ListIndexOf(int32_t lfdNr) const {
  return lfdNr < 0 ? -1 : m_Db.PositionOfLfdNr(lfdNr, OrderMode());
}

int32_t ThumbsView::GridOfIndex(int32_t index) const {
  return m_ViewMode == kListSearchDuplicates ? Duplicates().GridOfRank(index) : index;
}

void ThumbsView::UpdateRange() {
  const ScrollInputs in = Inputs();
  QScrollBar* bar = verticalScrollBar();
  bar->setRange(0, std::max(0, ScrollMaximum(in) - in.height + 1));
  bar->setPageStep(std::max(1, in.height));
  bar->setSingleStep(kCellSide);
}

bool ThumbsView::FillSlice() {
  const GridLayout layout = LayoutForWidth(viewport()->width());
  const VisibleCells cells = VisibleCellsOf(layout, ScrollPosition(), viewport()->height());
  m_SliceFirst = cells.first;
  m_SliceCount = cells.count;
  return m_Engine.FillListWindow(layout.columns, cells.first, cells.count, m_ViewMode);
}

void ThumbsView::ScrollTo(int32_t position) {
  BusyGuard busy;
  verticalScrollBar()->setValue(position);
}

void ThumbsView::scrollContentsBy(int, int) {
  BusyGuard busy;
  FillSlice();
  viewport()->update();
}

void ThumbsView::OnScrollAction(int action) {
  QScrollBar* bar = verticalScrollBar();
  const ScrollInputs in = Inputs();
  bar->setSliderPosition(ScrollActionTarget(ScrollActionOf(action), bar->value(), in.height,
                                            ScrollMaximum(in), bar->sliderPosition()));
}

void ThumbsView::Refresh(bool repaint, bool keep) {
  const int32_t middle = keep ? MiddlePicture() : -1;
  UpdateRange();
  const bool changed = FillSlice();
  if (keep && m_ViewMode != kListSearchSimilar && !ScrollToPicture(CurrentPicture(), false) &&
      middle >= 0) {
    ScrollToPicture(middle, false);
  }
  if (repaint || changed) viewport()->update();
}

int32_t ThumbsView::MiddlePicture() const {
  for (int32_t g = m_SliceFirst + m_SliceCount / 2; g >= m_SliceFirst; --g) {
    if (const ImageRecord* record = m_Db.RecordAt(g, kOrderListWindow)) return record->m_LfdNr;
  }
  return -1;
}

void ThumbsView::SetListMode(int mode, bool search) {
  WaitCursor wait;
  if (mode == -2) {
    SetListMode(m_PreviousMode, true);
    ScrollToCurrent();
    return;
  }
  const int before = m_ViewMode;
  if (mode != m_ViewMode) {
    m_SavedScroll[m_ViewMode + 1] = ScrollPosition();
    m_PreviousMode = m_ViewMode;
    m_ViewMode = mode;
  }
  const int32_t current = CurrentPicture();
  if (search && mode == kListSearchSimilar) {
    m_SavedScroll[kListSearchSimilar + 1] = 0;
    if (current >= 0) m_Engine.SetSearchPicture(current);
  }
  UpdateRange();
  int32_t& saved = m_SavedScroll[mode + 1];
  if (saved >= 0) {
    ScrollTo(saved);
    saved = -1;
  }
  FillSlice();
  if (search && mode != kListSearchSimilar) ScrollToPicture(current, true);
  Refresh(true, false);
  if (mode != before && hooks.listModeChanged) hooks.listModeChanged(mode);
}

int32_t ThumbsView::CurrentPicture() {
  if (m_Current >= 0 && !m_Db.FindByLfdNr(m_Current)) m_Current = -1;
  return m_Current;
}

void ThumbsView::SetCurrentPicture(int32_t p) {
  const ImageRecord* record = p >= 0 ? m_Db.FindByLfdNr(p) : nullptr;
  if (p >= 0 && !record) return;
  m_Current = p;
  if (record) {
    if (hooks.viewerFile) hooks.viewerFile(record->m_Path);
    ShowStatus(*record);
    m_History.Visit(p);
    ScrollToPicture(p, true);
  } else {
    m_History.DropRemovedAtIndex([this](int32_t n) { return m_Db.FindByLfdNr(n) != nullptr; });
  }
  viewport()->update();
  if (hooks.commandStateChanged) hooks.commandStateChanged();
}

void ThumbsView::ShowStatus(const ImageRecord& record) {
  std::error_code error;
  const uintmax_t bytes = std::filesystem::file_size(record.m_Path, error);
  const unsigned kib = error ? 0u : static_cast<unsigned>((bytes + 1023) / 1024);
  char facts[64];
  std::snprintf(facts, sizeof facts, " (%dx%d) %u KB", record.m_PictureWidth,
                record.m_PictureHeight, kib);
  if (hooks.statusText) hooks.statusText(record.m_Path + facts, 0);
}

bool ThumbsView::ScrollToPicture(int32_t p, bool forget) {
  const int32_t index = ListIndexOf(p);
  if (index < 0) return false;
  if (forget) m_SavedScroll[m_ViewMode + 1] = -1;
  const ScrollInputs in = Inputs();
  if (m_ViewMode != kListSearchSimilar || in.similarShown > 0) {
    const GridLayout layout = LayoutForWidth(viewport()->width());
    UpdateRange();
    ScrollTo(ScrollToCell(GridOfIndex(index), layout, ScrollPosition(), in.height));
  }
  Refresh(true, false);
  return true;
}

bool ThumbsView::HistoryBack(bool doIt) {
  if (!m_History.CanBack()) return false;
  if (!doIt) return true;
  return ShowHistoryEntry(
      m_History.Back([this](int32_t n) { return m_Db.FindByLfdNr(n) != nullptr; }));
}

bool ThumbsView::HistoryForward(bool doIt) {
  if (!m_History.CanForward()) return false;
  if (!doIt) return true;
  return ShowHistoryEntry(
      m_History.Forward([this](int32_t n) { return m_Db.FindByLfdNr(n) != nullptr; }));
}

bool ThumbsView::ShowHistoryEntry(int32_t lfdNr) {
  if (lfdNr < 0) return false;
  if (m_ViewMode == kListSearchSimilar) {
    m_Engine.SetSearchPicture(lfdNr);
    ScrollTo(0);
    Refresh(true, false);
  }
  SetCurrentPicture(lfdNr);
  return true;
}

std::vector<ImageRecord*> ThumbsView::PicturesConcerned() {
  std::vector<ImageRecord*> pictures = m_Db.SelectedRecords();
  const int32_t current = CurrentPicture();
  if (current >= 0 && !m_Db.IsSelected(current)) pictures.push_back(m_Db.FindByLfdNr(current));
  return pictures;
}

void ThumbsView::Select(int32_t target, Qt::KeyboardModifiers modifiers, bool rightButton,
                        bool fromKeyboard) {
  const int32_t old = CurrentPicture();
  SelectionInput in;
  in.onRecord = target >= 0;
  in.currentValid = old >= 0;
  in.anchorValid = m_Db.FindByLfdNr(m_Anchor) != nullptr;
  in.targetIsCurrent = target >= 0 && target == old;
  in.targetIsSelected = target >= 0 && m_Db.IsSelected(target);
  in.shift = modifiers & Qt::ShiftModifier;
  in.ctrl = modifiers & Qt::ControlModifier;
  in.rightButton = rightButton;
  in.fromKeyboard = fromKeyboard;
  const SelectionOutcome outcome = DecideSelection(in);
  if (outcome != SelectionOutcome::kNoCurrent && outcome != SelectionOutcome::kExtendRange) {
    m_Anchor = target;
  }
  switch (outcome) {
    case SelectionOutcome::kNoCurrent:
      SetCurrentPicture(-1);
      return;
    case SelectionOutcome::kExtendRange:
      m_Db.SelectRange(m_Anchor, old, kDeselect, OrderMode());
      m_Db.Select(old, kDeselect);
      m_Db.SelectRange(m_Anchor, target, kSelect, OrderMode());
      m_Db.Select(m_Anchor, kSelect);
      m_Db.Select(target, kSelect);
      SetCurrentPicture(target);
      return;
    case SelectionOutcome::kCtrlMove:
    case SelectionOutcome::kCtrlToggleOff:
      if (old >= 0) m_Db.Select(old, kSelect);
      m_Db.Select(target, kDeselect);
      SetCurrentPicture(outcome == SelectionOutcome::kCtrlMove ? target : -1);
      return;
    case SelectionOutcome::kRename:
      m_RenameTimer.start();
      return;
    case SelectionOutcome::kSingle:
      m_Db.ClearSelection();
      SetCurrentPicture(target);
      return;
  }
}

void ThumbsView::MoveByKey(MoveKey key, Qt::KeyboardModifiers modifiers) {
  ScrollInputs in = Inputs();
  const bool onGrid = m_ViewMode == kListSearchDuplicates && MovesOnGrid(key);
  const DuplicateGrid grid =
      m_ViewMode == kListSearchDuplicates ? Duplicates() : DuplicateGrid({}, 1, true);
  if (m_ViewMode == kListSearchDuplicates) {
    in.pictureCount = onGrid ? grid.GridOfRank(INT32_MAX) + 1 : m_Db.CountIn(kOrderGroups);
  }
  const int32_t u = ListIndexOf(CurrentPicture());
  const int32_t from = onGrid && u >= 0 ? grid.GridOfRank(u) : u;
  int32_t target = MoveTarget(key, from, in);
  if (target == from) return;
  if (u < 0) {
    target = m_ViewMode == kListSearchDuplicates ? grid.RankOfGrid(m_SliceFirst) : m_SliceFirst;
  } else {
    target = LimitSimilarTarget(target, in);
    if (onGrid) target = grid.RankOfGrid(target);
  }
  SelectListIndex(target, modifiers);
}

void ThumbsView::SelectListIndex(int32_t index, Qt::KeyboardModifiers modifiers) {
  index = std::max(0, index);
  if (m_ViewMode == kListSearchSimilar) {
    if (index < m_SliceFirst || index >= m_SliceFirst + m_SliceCount) {
      // The similar list is known only as far as it is shown: bring the row into view.
      UpdateRange();
      ScrollTo(ScrollToCell(index, LayoutForWidth(viewport()->width()), ScrollPosition(),
                            viewport()->height()));
      FillSlice();
    }
    // Beyond the end of a short list the slice holds empty cells: take the last picture.
    index = std::min(index, m_SliceFirst + m_SliceCount - 1);
    while (index > m_SliceFirst && !m_Db.RecordAt(index, kOrderListWindow)) --index;
  }
  const int32_t lfdNr = m_Db.LfdNrAt(index, OrderMode(), false);
  if (lfdNr >= 0) Select(lfdNr, modifiers, false, true);
}

void ThumbsView::SetScrollBarLeft(bool left) {
  setLayoutDirection(left ? Qt::RightToLeft : Qt::LeftToRight);
  viewport()->setLayoutDirection(Qt::LeftToRight);
  update();
  if (parentWidget()) parentWidget()->update();
}

void ThumbsView::SetBackgroundColour(uint32_t rgb) {
  m_Colours = ColoursFor(rgb, palette().color(QPalette::Highlight).rgb() & 0xFFFFFF);
  viewport()->update();
}

void ThumbsView::paintEvent(QPaintEvent*) {
  BusyGuard busy;
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), QColor::fromRgb(m_Colours.background));
  if (!m_NoRepaint) PaintCells(painter);
}

void ThumbsView::PaintCells(QPainter& painter) {
  const GridLayout layout = LayoutForWidth(viewport()->width());
  const int32_t scroll = ScrollPosition();
  const QColor highlight = palette().color(QPalette::Highlight);
  const QColor contrast = QColor::fromRgb(m_Colours.contrast);
  const int32_t current = CurrentPicture();
  int32_t group = m_ViewMode == kListSearchDuplicates ? m_Engine.GroupBeforeListWindow() : -1;
  bool framed = false;
  CellRect frame;
  for (int32_t g = m_SliceFirst; g < m_SliceFirst + m_SliceCount; ++g) {
    ImageRecord* record = m_Db.RecordAt(g, kOrderListWindow);
    if (!record) continue;
    const CellRect cell = CellOf(g, layout, scroll);
    const bool firstOfGroup = m_ViewMode == kListSearchDuplicates && record->m_GroupNr != group;
    group = record->m_GroupNr;
    const QRect box(cell.left, cell.top, kCellSide, kCellSide);
    if (record->m_LfdNr == current || m_Db.IsSelected(record->m_LfdNr)) {
      painter.fillRect(box, highlight);
    } else if (firstOfGroup || (m_ViewMode == kListSearchSimilar && g == 0)) {
      painter.fillRect(box, contrast);
    }
    if (record->m_ThumbPixels || m_Db.LoadThumbnail(record)) {
      const int w = record->m_ThumbWidth, h = record->m_ThumbHeight;
      const QImage thumb(record->m_ThumbPixels, w, h, (w * 3 + 3) & ~3, QImage::Format_BGR888);
      painter.drawImage(QPoint(ThumbLeft(cell, w), ThumbTop(cell, h)), thumb);
    }
    if (record->m_LfdNr == current) {
      framed = true;
      frame = cell;
    }
  }
  if (!framed) return;
  const QRect outer(frame.left - 1, frame.top - 1, kCellSide + 2, kCellSide + 2);
  painter.setBrushOrigin(0, 0);
  painter.fillRect(QRect(outer.left(), outer.top(), outer.width(), 1), CheckerBrush());
  painter.fillRect(QRect(outer.left(), outer.bottom(), outer.width(), 1), CheckerBrush());
  painter.fillRect(QRect(outer.left(), outer.top(), 1, outer.height()), CheckerBrush());
  painter.fillRect(QRect(outer.right(), outer.top(), 1, outer.height()), CheckerBrush());
}

void ThumbsView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (!m_NoRepaint) Refresh(true, false);
}

ImageRecord* ThumbsView::RecordUnder(const QPoint& point) const {
  const int32_t grid =
      HitTest(point.x(), point.y(), LayoutForWidth(viewport()->width()), ScrollPosition());
  return grid < 0 ? nullptr : m_Db.RecordAt(grid, kOrderListWindow);
}

void ThumbsView::mousePressEvent(QMouseEvent* event) {
  m_RenameTimer.stop();  // a press after a click on the current picture is no rename
  const QPoint point = event->position().toPoint();
  ImageRecord* record = RecordUnder(point);
  if (event->button() == Qt::MiddleButton) {
    if (!record) {
      MessageBeep(MB_BEEP_DEFAULT);
    } else if (hooks.showInViewer) {
      hooks.showInViewer(record->m_LfdNr);
    }
    return;
  }
  if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
  Select(record ? record->m_LfdNr : -1, event->modifiers(), event->button() == Qt::RightButton,
         false);
  m_Press = Press::kPressed;
  m_PressPoint = point;
}

void ThumbsView::mouseMoveEvent(QMouseEvent* event) {
  if (m_Press != Press::kPressed || !(event->buttons() & (Qt::LeftButton | Qt::RightButton))) {
    return;
  }
  if ((event->position().toPoint() - m_PressPoint).manhattanLength() <
      QApplication::startDragDistance()) {
    return;
  }
  m_RenameTimer.stop();
  m_Press = Press::kDragging;
  const std::vector<ImageRecord*> pictures = PicturesConcerned();
  if (!pictures.empty() && hooks.startDrag) hooks.startDrag(pictures);
  m_Press = Press::kDropped;
}

void ThumbsView::mouseReleaseEvent(QMouseEvent* event) {
  const bool menu = event->button() == Qt::RightButton && m_Press == Press::kPressed;
  m_Press = Press::kIdle;
  if (menu) ContextMenuAt(InputWindow::kView, viewport()->mapToGlobal(event->position().toPoint()));
}

void ThumbsView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton ||
      (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) {
    mousePressEvent(event);
    return;
  }
  m_RenameTimer.stop();
  Command(m_Db.Count() > 0 ? kCmdSearchSimilar : kCmdOpen);
}

bool ThumbsView::focusNextPrevChild(bool) { return false; }

void ThumbsView::keyPressEvent(QKeyEvent* event) {
  MoveKey move;
  m_LastInput = InputWindow::kView;
  if (HandleCommandKey(event)) return;
  if (MoveKeyOf(event->key(), &move)) {
    MoveByKey(move, event->modifiers());
  } else if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
    const bool backwards =
        event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
    SetListMode(NextListMode(m_ViewMode, backwards), false);
  } else {
    event->ignore();
  }
}

bool ThumbsView::HandleCommandKey(QKeyEvent* event) {
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  if (ctrl && (event->key() == Qt::Key_C || event->key() == Qt::Key_V)) {
    Command(event->key() == Qt::Key_C ? kCmdCopyToClipboard : kCmdPaste);
  } else if (!ctrl && event->key() == Qt::Key_Delete) {
    RunCommand(kCmdDeleteFromDb);
  } else if (event->key() == Qt::Key_Menu) {
    const int32_t index = ListIndexOf(CurrentPicture());
    if (index < 0) {
      MessageBeep(MB_BEEP_DEFAULT);
    } else {
      const CellRect cell =
          CellOf(GridOfIndex(index), LayoutForWidth(viewport()->width()), ScrollPosition());
      ContextMenuAt(InputWindow::kView, viewport()->mapToGlobal(QPoint(cell.left, cell.bottom)));
    }
  } else {
    return false;
  }
  return true;
}

void ThumbsView::wheelEvent(QWheelEvent* event) {
  BusyGuard busy;
  m_WheelDelta += event->angleDelta().y();
  while (m_WheelDelta >= 120 || m_WheelDelta <= -120) {
    const bool towardsUser = m_WheelDelta < 0;
    m_WheelDelta += towardsUser ? 120 : -120;
    const ScrollInputs in = Inputs();
    switch (WheelNotch(towardsUser, ScrollMaximum(in), in.height)) {
      case WheelOutcome::kKeyLeft:
        MoveByKey(MoveKey::kLeft, Qt::NoModifier);
        break;
      case WheelOutcome::kKeyRight:
        MoveByKey(MoveKey::kRight, Qt::NoModifier);
        break;
      case WheelOutcome::kLineUp:
        ScrollTo(ScrollPosition() - kCellSide);
        break;
      case WheelOutcome::kLineDown:
        ScrollTo(ScrollPosition() + kCellSide);
        break;
    }
  }
  event->accept();
}

void ThumbsView::Command(int command) {
  if (hooks.command) hooks.command(command);
}

}  // namespace gq
