#include "ui/FindTextDialog.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>

#include "db/ImageRecordDB.h"
#include "platform/Beep.h"
#include "search/SearchEngine.h"
#include "ui/ThumbsView.h"

namespace gq {
namespace {

QLineEdit* NamedEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setAcceptDrops(false);  // a dropped file goes to the dialog
  return edit;
}

}  // namespace

FindTextDialog::FindTextDialog(ImageRecordDB& db, ThumbsView& view, QWidget* parent)
    : QDialog(parent), m_Db(db), m_View(view) {
  setWindowTitle("GlimmerQuorum - Find by Text");
  setAcceptDrops(true);
  m_Name = NamedEdit("name", this);
  m_Folder = NamedEdit("folder", this);
  m_Up = new QRadioButton("up", this);
  m_Up->setObjectName("up");
  auto* down = new QRadioButton("down", this);
  down->setObjectName("down");
  down->setChecked(true);
  m_Wrap = new QCheckBox("wrap around", this);
  m_Wrap->setObjectName("wrap");
  auto* find = new QPushButton("&Find", this);
  find->setObjectName("find");
  find->setDefault(true);
  connect(find, &QPushButton::clicked, this,
          [this] { Find(QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier); });

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel("Text to find in name of picture file:", this), 0, 0, 1, 4);
  layout->addWidget(m_Name, 1, 0, 1, 4);
  layout->addWidget(new QLabel("Text to find in directory path of picture folder:", this), 2, 0, 1,
                    4);
  layout->addWidget(m_Folder, 3, 0, 1, 4);
  layout->addWidget(m_Up, 4, 0);
  layout->addWidget(down, 4, 1);
  layout->addWidget(m_Wrap, 4, 2);
  layout->addWidget(find, 4, 3);
  setMinimumWidth(420);
}

bool FindTextDialog::Find(bool ctrlHeld) { return FindInDirection(!m_Up->isChecked(), ctrlHeld); }

int32_t FindTextDialog::StartPicture() {
  const int32_t current = m_View.CurrentPicture();
  if (current >= 0) return current;
  for (ImageRecord* record : m_Db.List().Records()) {
    if (record != nullptr) return record->m_LfdNr;
  }
  return -1;
}

bool FindTextDialog::FindInDirection(bool forward, bool ctrlHeld) {
  const int32_t old = m_View.CurrentPicture();
  const int32_t start = StartPicture();
  const int mode = OrderModeOf(m_View.ListMode());
  const int32_t found =
      start < 0 ? -1
                : m_Db.FindText(start, m_Folder->text().toStdString(), m_Name->text().toStdString(),
                                forward, m_Wrap->isChecked(), mode);
  if (found < 0) {
    MessageBeep(MB_BEEP_DEFAULT);
    return false;
  }
  if (ctrlHeld && old >= 0) {
    m_Db.Select(old, kSelect);
  } else {
    m_Db.ClearSelection();
  }
  m_View.SetCurrentPicture(found);
  m_View.viewport()->update();
  return true;
}

void FindTextDialog::TakeDroppedFiles(const std::vector<std::string>& paths) {
  if (paths.size() == 1) {
    const QFileInfo file(QString::fromStdString(paths.front()));
    m_Name->setText(file.completeBaseName());
    m_Folder->setText(file.absolutePath());
  } else if (paths.size() > 1) {
    if (hooks.dropFiles) {
      hooks.dropFiles(paths);
    } else {
      MessageBeep(MB_BEEP_DEFAULT);
    }
  }
}

void FindTextDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void FindTextDialog::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  TakeDroppedFiles(paths);
  event->acceptProposedAction();
}

}  // namespace gq
