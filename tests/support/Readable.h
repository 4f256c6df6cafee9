#pragma once

// Checks of one window as users who cannot use a mouse or read small text
// meet it. Each returns what it found wrong, one line per control.

#include <QColor>
#include <QPalette>
#include <QStringList>

class QWidget;

namespace pb::test {

// Controls that take the focus but have no name a screen reader can say.
QStringList unnamedControls(QWidget* window);
// Controls that take the focus from the keyboard but that Tab, pressed
// from the control with the focus, never reaches (a group of radio buttons
// is one stop).
QStringList missedByTab(QWidget* window);
// Captions, buttons and boxes whose text is wider or taller than they are,
// and toolbar buttons hidden for want of room.
QStringList clippedTexts(QWidget* window);
// Texts below a 4.5:1 contrast with what they are drawn on.
QStringList unreadableTexts(QWidget* window);
// WCAG's contrast ratio of two colours (1 to 21).
double contrast(const QColor& a, const QColor& b);
// A dark palette, as a desktop's dark theme gives.
QPalette darkPalette();

} // namespace pb::test
