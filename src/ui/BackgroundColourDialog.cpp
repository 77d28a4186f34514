#include "ui/BackgroundColourDialog.h"

#include <QApplication>
#include <QColorDialog>
#include <memory>

#include "ui/DialogIcon.h"

namespace gq {

QColor ColourOfColorRef(uint32_t colorRef) {
  return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

uint32_t ColorRefOfColour(const QColor& colour) {
  return static_cast<uint32_t>(colour.red()) | static_cast<uint32_t>(colour.green()) << 8 |
         static_cast<uint32_t>(colour.blue()) << 16;
}

std::array<QColor, 16> BackgroundCustomColours(const QColor& current, const QPalette& palette) {
  const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight);
  const QColor highlightText = palette.color(QPalette::Active, QPalette::HighlightedText);
  return {current,
          palette.color(QPalette::Base),
          palette.color(QPalette::Window),
          highlight,
          highlight,
          highlight,
          palette.color(QPalette::ToolTipBase),
          highlight.lighter(150),
          palette.color(QPalette::Dark),
          palette.color(QPalette::Text),
          palette.color(QPalette::WindowText),
          highlightText,
          highlightText,
          highlightText,
          palette.color(QPalette::ToolTipText),
          palette.color(QPalette::Inactive, QPalette::Highlight).lighter(150)};
}

QColorDialog* MakeBackgroundColourDialog(uint32_t colorRef, QWidget* parent) {
  const QColor current = ColourOfColorRef(colorRef);
  const std::array<QColor, 16> custom = BackgroundCustomColours(current, QApplication::palette());
  for (int i = 0; i < 16; ++i) QColorDialog::setCustomColor(i, custom[i]);
  auto* dialog = new QColorDialog(current, parent);
  dialog->setWindowIcon(ProgramIcon());
  dialog->setOption(QColorDialog::DontUseNativeDialog);
  return dialog;
}

bool ChooseBackgroundColour(uint32_t* colorRef, QWidget* parent) {
  std::unique_ptr<QColorDialog> dialog(MakeBackgroundColourDialog(*colorRef, parent));
  if (dialog->exec() != QDialog::Accepted) return false;
  *colorRef = ColorRefOfColour(dialog->selectedColor());
  return true;
}

}  // namespace gq
