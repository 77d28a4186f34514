// The thumbnail view's picture context menu (object name "131"): its items in menu
// order with labels, shortcut texts and icons, the first item as the default, and the
// "&Open with..." submenu (object name "OpenWith"), which its owner fills when it
// opens. Each command item carries its command number as object name and data.
// Built and used on the user-interface thread.
#pragma once

#include <QMenu>
#include <memory>

namespace gq {

struct ThumbsMenuState {
  bool endSearch = false;     // the current picture is the search picture shown
  bool sortedByFile = false;  // the view shows Sorted by File (View in Sorted List greyed)
  bool openWith = false;      // somebody fills the Open with submenu (else greyed)
};

std::unique_ptr<QMenu> MakeThumbsMenu(QWidget* parent, const ThumbsMenuState& state);

}  // namespace gq
