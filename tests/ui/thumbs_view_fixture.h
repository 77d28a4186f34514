// The thumbnail view tests' fixture: a shown view over a generated collection with its
// hooks recorded, and helpers that drive it with the mouse and keys, read the context
// menu it opens and answer the rename box.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "frame/Settings.h"
#include "search/DuplicateSearch.h"
#include "search/SearchTestSupport.h"
#include "support/ScriptedMessageBox.h"
#include "ui/ThumbsGeometry.h"
#include "ui/ThumbsView.h"

namespace gq {

using test::GeneratedPicture;

// "Compact View" off while it lives: each duplicate group starts a row.
struct GroupRows {
  bool saved = std::exchange(g_settings.compactDuplicates, false);
  ~GroupRows() { g_settings.compactDuplicates = saved; }
};

// A shown view over a generated collection, with every hook recorded.
class ThumbsViewTest : public ::testing::Test {
 protected:
  void Fill(int count, uint32_t seed = 1) {
    for (int i = 0; i < count; ++i) {
      const std::string path = "/pics/p" + std::to_string(100 + ids.size()) + ".jpg";
      ids.push_back(data.AddPicture(path, GeneratedPicture(seed + i))->m_LfdNr);
    }
  }
  // Two near copies of each picture of the seeds first.., then the duplicate search.
  void AddCopiesAndGroup(int count, uint32_t first) {
    for (int i = 0; i < 2 * count; ++i) {
      data.AddPicture("/pics/copy" + std::to_string(i) + ".jpg",
                      test::Perturbed(GeneratedPicture(first + i / 2), 90 + i % 2));
    }
    data.engine->Duplicates().Prepare(false, false, kDefaultDuplicateSimilarity);
    while (data.engine->Duplicates().Step(100) >= 0) {
    }
  }
  void Show(int width = 640, int height = 420) {
    view = std::make_unique<ThumbsView>(data.db, *data.engine);
    view->hooks.command = [this](int command) { commands.push_back(command); };
    view->hooks.statusText = [this](const std::string& text, int) { status = text; };
    view->resize(width, height);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->Refresh(true, false);
  }
  GridLayout Layout() const { return LayoutForWidth(view->viewport()->width()); }
  QPoint CellCentre(int32_t grid) const {
    const CellRect cell = CellOf(grid, Layout(), view->ScrollPosition());
    return QPoint(cell.left + kCellSide / 2, cell.top + kCellSide / 2);
  }
  void Click(int32_t grid, Qt::KeyboardModifiers modifiers = {},
             Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(view->viewport(), button, modifiers, CellCentre(grid));
  }
  void Key(int key, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(view.get(), static_cast<Qt::Key>(key), modifiers);
  }
  void Wheel(int delta) {
    const QPointF at(10, 10);
    QWheelEvent event(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &event);
  }
  int32_t Current() { return view->CurrentPicture(); }
  bool Selected(int i) { return data.db.IsSelected(ids[i]); }
  int32_t ShownAt(int32_t grid) {
    const ImageRecord* record = data.db.RecordAt(grid, kOrderListWindow);
    return record ? record->m_LfdNr : -1;
  }

  // The next context menu is read and closed, or the item with this object name is chosen.
  void WatchMenu(std::string choose = "") {
    QTimer::singleShot(0, view.get(), [this, choose] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      menus.push_back(menu->pos());
      shown = menu;
      if (onMenu) onMenu(menu);
      QAction* item =
          choose.empty() ? nullptr : menu->findChild<QAction*>(QString::fromStdString(choose));
      if (!item) {
        menu->close();
        return;
      }
      menu->setActiveAction(item);
      QTest::keyClick(menu, Qt::Key_Return);
    });
  }
  // act runs on the rename box once it is open (it runs its own event loop).
  void WhenRenameBoxOpens(std::function<void(QLineEdit*)> act) {
    QTimer::singleShot(5, view.get(), [this, act] {
      auto* box = view->window()->findChild<QLineEdit*>("RenameBox");
      if (!box) return WhenRenameBoxOpens(act);
      act(box);
    });
  }

  test::ScriptedMessageBox boxes;
  test::SearchFixture data;
  std::vector<int32_t> ids;
  std::unique_ptr<ThumbsView> view;
  std::vector<int> commands;
  std::vector<QPoint> menus;  // where the context menus opened
  QMenu* shown = nullptr;     // the last one, valid while it is open
  std::function<void(QMenu*)> onMenu;
  std::string status;
};

}  // namespace gq
