#include "ui/ThumbsMenu.h"

#include <QIcon>

#include "ui/ThumbsCommands.h"

static void InitMenuIcons() {
  static bool done = false;
  if (!done) Q_INIT_RESOURCE(thumbs_menu);
  done = true;
}

namespace gq {
namespace {

enum class Row { kItem, kHint, kOpenWith, kSeparator };

struct MenuItem {
  Row row;
  int id = 0;
  const char* label = "";
  const char* icon = "";  // our icon's file name without ".svg"; "" for none
};

constexpr MenuItem kItems[] = {
    {Row::kItem, kCmdSearchSimilar, "&Search Similar\tReturn", "list-similar"},
    {Row::kItem, kCmdViewInWindow, "View in &Window\tSpace", "picture-window"},
    {Row::kItem, kCmdViewFullscreen, "View &Fullscreen\tShift-Space", "picture-fullscreen"},
    {Row::kItem, kCmdViewSortedList, "View in Sorted &List\tCtrl-L", "list-sorted"},
    {Row::kItem, kCmdViewExternal, "&View External\tCtrl-Space"},
    {Row::kOpenWith, 0, "&Open with..."},
    {Row::kSeparator},
    {Row::kItem, kCmdCopyToClipboard, "&Copy to Clipboard\tCtrl-C", "copy"},
    {Row::kHint, 0, "Copy by Drag&&Drop\tMouse"},
    {Row::kSeparator},
    {Row::kItem, kCmdRenameFile, "&Rename File\tCtrl-R"},
    {Row::kItem, kCmdDeleteFiles, "Dele&te File(s) from Disk\tCtrl-Del"},
    {Row::kItem, kCmdDeleteFromDb, "&Delete from DB\tDel", "delete-from-db"},
    {Row::kSeparator},
    {Row::kItem, kCmdExploreDirectory, "&Explore Directory\tCtrl-E", "explore"},
    {Row::kItem, kCmdProperties, "&Properties", "properties"},
};

QIcon IconNamed(const char* name) {
  return *name ? QIcon(QString(":/icons/%1.svg").arg(name)) : QIcon();
}

void AddItem(QMenu& menu, const MenuItem& item, const ThumbsMenuState& state) {
  const bool end = item.id == kCmdSearchSimilar && state.endSearch;
  QAction* action = menu.addAction(IconNamed(end ? "end-search" : item.icon),
                                   end ? "End Search Similar\tReturn" : item.label);
  action->setObjectName(QString::number(item.id));
  action->setData(item.id);
  action->setIconVisibleInMenu(true);
  action->setEnabled(!(item.id == kCmdViewSortedList && state.sortedByFile));
  if (!menu.defaultAction()) menu.setDefaultAction(action);
}

}  // namespace

std::unique_ptr<QMenu> MakeThumbsMenu(QWidget* parent, const ThumbsMenuState& state) {
  InitMenuIcons();
  auto menu = std::make_unique<QMenu>(parent);
  menu->setObjectName("131");
  for (const MenuItem& item : kItems) {
    switch (item.row) {
      case Row::kItem:
        AddItem(*menu, item, state);
        break;
      case Row::kHint:
        menu->addAction(item.label)->setEnabled(false);
        break;
      case Row::kOpenWith: {
        QMenu* tools = menu->addMenu(item.label);
        tools->setObjectName("OpenWith");
        tools->menuAction()->setEnabled(state.openWith);
        break;
      }
      case Row::kSeparator:
        menu->addSeparator();
        break;
    }
  }
  return menu;
}

}  // namespace gq
