// The modal "Enter Value" dialog for the number of displayed pictures: one field that
// shows the current number, placed at the mouse and kept on the screen. OK takes what
// the field starts with as a signed number (no range check); text that is no number
// and the close box leave the value. User-interface thread only.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <string>

class QLineEdit;

namespace gq {

// The number the text starts with (after white space), as "%d" reads it; false when
// there is none. At most the first 127 characters are read.
bool ReadValueText(const std::string& text, int32_t* value);

// Where the dialog's top-left corner goes: the mouse raised by the caption height, then
// moved left and up so the dialog stays inside the desktop, then right and down so its
// corner does not leave it.
QPoint ValueDialogPosition(QPoint mouse, int captionHeight, QSize size, QRect desktop);

class ValueDialog : public QDialog {
 public:
  ValueDialog(int32_t value, QWidget* parent = nullptr);
  int32_t Value() const { return m_Value; }
  // Puts the dialog at the mouse on its screen.
  void PlaceAtMouse();

 protected:
  void accept() override;

 private:
  int32_t m_Value;
  QLineEdit* m_Field;
};

// Runs the dialog at the mouse; true when OK changed *value.
bool AskValue(int32_t* value, QWidget* parent);

}  // namespace gq
