// The modeless "Find by Text" dialog: finds the next picture of the thumbnail view's
// list whose file name and folder path contain the two texts, and makes it current.
// The walk over the list is the database's text search. Created hidden by the program,
// shown by its command and hidden again by OK, Esc or the close box; owned by its
// parent window; user-interface thread only.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace gq {

class ImageRecordDB;
class ThumbsView;

class FindTextDialog : public QDialog {
 public:
  struct Hooks {
    // A drop of several files: the main window's drop handling loads them.
    std::function<void(const std::vector<std::string>& paths)> dropFiles;
  };
  Hooks hooks;

  FindTextDialog(ImageRecordDB& db, ThumbsView& view, QWidget* parent = nullptr);

  // "&Find": searches in the direction of the radio buttons.
  bool Find(bool ctrlHeld);
  // Find Down / Find Up by Text: forward or backward whatever the radio buttons say.
  // With ctrlHeld the old current picture joins the selection, otherwise the selection
  // is cleared. Beeps and returns false when no picture matches.
  bool FindInDirection(bool forward, bool ctrlHeld);
  // One file fills the name field with its base name and the folder field with its
  // folder; several go to the dropFiles hook.
  void TakeDroppedFiles(const std::vector<std::string>& paths);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  int32_t StartPicture();

  ImageRecordDB& m_Db;
  ThumbsView& m_View;
  QLineEdit* m_Name;
  QLineEdit* m_Folder;
  QRadioButton* m_Up;
  QCheckBox* m_Wrap;
};

}  // namespace gq
