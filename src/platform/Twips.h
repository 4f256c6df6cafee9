#pragma once

#include <QRect>

class QWidget;
class QColor;

namespace pb::twips {

constexpr int kPerPixel = 15;

// The windows' sizes are drawn for text of this size. A user whose font is
// larger (a large-text setting) gets every window, control and font grown
// by the same factor, so that every text still fits.
constexpr double kLayoutPoints = 9.0;
// The factor for the application's font now: 1 at the layout size or below.
double textScale();
// A font size of the layout, grown by textScale().
double points(double layoutPoints);

// Pixels for twips, without the text scale (positions on the screen).
constexpr int screenPixels(double twips)
{
    // Absurd values (from a hand-edited settings file) stop at ten million pixels.
    const double px = twips / kPerPixel;
    if (!(px > -1e7))
        return -10'000'000;
    if (px > 1e7)
        return 10'000'000;
    return static_cast<int>(px + (px < 0 ? -0.5 : 0.5));
}
// Pixels for a size or place within a window, grown by the text scale.
int toPixels(double twips);
int fromPixels(int px);

// Places a child at a rectangle given in twips.
void place(QWidget* w, int left, int top, int width, int height);

// A top-level window's outer (frame) geometry in twips, and setting it.
QRect outerGeometry(const QWidget* window);
void setOuterPosition(QWidget* window, double left, double top);
void setOuterSize(QWidget* window, double width, double height);
void setOuterWidth(QWidget* window, double width);

// Keeps a window within reach: no larger than the available area of its
// screen (but never below its minimum size), and moved fully onto that
// screen when it had to shrink or when its title strip lies on no screen.
// A window of a size the screen holds, within reach, stays where it is.
void keepOnScreen(QWidget* window);

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
