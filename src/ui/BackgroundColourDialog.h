// The background colour dialog: the system colour dialog, starting at the current
// colour, with the current colour first among its 16 custom colours and the desktop's
// own colours after it. Colours are Windows RGB values (0x00BBGGRR), as the BackColor
// setting stores them. User-interface thread only.
#pragma once

#include <QColor>
#include <QPalette>
#include <array>
#include <cstdint>

class QColorDialog;
class QWidget;

namespace gq {

QColor ColourOfColorRef(uint32_t colorRef);
uint32_t ColorRefOfColour(const QColor& colour);

// The 16 custom colours: the current colour, then the palette's counterparts of the
// system colours window, menu, highlight, active caption, highlight, info background,
// active caption gradient, desktop, window text, menu text, highlight text, caption
// text, highlight text, info text and inactive caption gradient.
std::array<QColor, 16> BackgroundCustomColours(const QColor& current, const QPalette& palette);

// The dialog, set up and not yet shown (the caller owns it).
QColorDialog* MakeBackgroundColourDialog(uint32_t colorRef, QWidget* parent);

// Runs the dialog; true when OK chose a colour, which is then in *colorRef.
bool ChooseBackgroundColour(uint32_t* colorRef, QWidget* parent);

}  // namespace gq
