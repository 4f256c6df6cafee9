#pragma once

#include <QRect>

class QWidget;
class QColor;

namespace pb::twips {

constexpr int kPerPixel = 15;

constexpr int toPixels(double twips) { return static_cast<int>(twips / kPerPixel + (twips < 0 ? -0.5 : 0.5)); }
constexpr int fromPixels(int px) { return px * kPerPixel; }

// Places a child at a rectangle given in twips.
void place(QWidget* w, int left, int top, int width, int height);

// A top-level window's outer (frame) geometry in twips, and setting it.
QRect outerGeometry(const QWidget* window);
void setOuterPosition(QWidget* window, double left, double top);
void setOuterSize(QWidget* window, double width, double height);
void setOuterWidth(QWidget* window, double width);

} // namespace pb::twips

namespace pb {

// The program's own colours, as red + 256 * green + 65536 * blue.
namespace colors {
constexpr qint32 kBrown = 16512;          // 128, 64, 0
constexpr qint32 kYellow = 65535;         // 255, 255, 0
constexpr qint32 kWhite = 16777215;       // 255, 255, 255
constexpr qint32 kLightOrange = 8438015;  // 255, 192, 128
} // namespace colors

// Colours as stored by the program: red + 256 * green + 65536 * blue.
QColor colorFromInt(qint64 value);
qint32 colorToInt(const QColor& c);

// The background colour of a widget (its Window and Button roles).
void setBackColor(QWidget* w, qint32 value);
qint32 backColor(const QWidget* w);
void setForeColor(QWidget* w, qint32 value);

} // namespace pb
