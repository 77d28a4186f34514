// The in-place rename box: a one-line edit (framed, centred text, the system font) on
// the owner's top-level window at a screen rectangle, holding a text all selected,
// edited in a local event loop. Esc cancels; Enter, losing the focus, a key in
// another window or a mouse press elsewhere end it (the press and the key go on to
// their window, except a left click inside the edited cell, which only ends);
// button releases elsewhere are swallowed meanwhile; leaving the loop from outside
// (the application quits) cancels. Used on the user-interface thread.
#pragma once

#include <QEventLoop>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <optional>

namespace gq {

class RenameBox : public QObject {
 public:
  // The edited text when the edit ended, nothing when it was cancelled.
  static std::optional<QString> Edit(QWidget* owner, const QRect& screenBox,
                                     const QRect& screenCell, const QString& text);

 protected:
  bool eventFilter(QObject* target, QEvent* event) override;

 private:
  RenameBox(QWidget* owner, const QRect& screenBox, const QRect& screenCell, const QString& text);
  ~RenameBox() override;
  bool FilterKey(QWidget* target, QEvent* event);
  bool FilterPress(QWidget* target, QEvent* event);
  void Finish(bool accepted);

  QPointer<QLineEdit> m_Edit;  // owned by the top-level window until the box goes
  QRect m_Cell;
  QEventLoop m_Loop;
  bool m_Done = false;
  bool m_Accepted = false;
};

}  // namespace gq
