#include "platform/Twips.h"

#include <QColor>
#include <QAbstractButton>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <algorithm>
#include <QPalette>
#include <QWidget>

namespace pb::twips {

double textScale()
{
    const double size = QGuiApplication::font().pointSizeF();
    return size > kLayoutPoints ? size / kLayoutPoints : 1.0;
}

double points(double layoutPoints)
{
    return layoutPoints * textScale();
}

int toPixels(double twips)
{
    return screenPixels(twips * textScale());
}

int fromPixels(int px)
{
    return static_cast<int>(px * kPerPixel / textScale() + 0.5);
}

void place(QWidget* w, int left, int top, int width, int height)
{
    int pixelHeight = toPixels(height);
    // A label or a button with a caption is at least as tall as its font's
    // line: the fonts that stand in for Arial (DejaVu Sans, Liberation Sans,
    // Nimbus Sans) differ in height.
    if (auto* label = qobject_cast<QLabel*>(w)) {
        const QMargins m = label->contentsMargins();
        const int line = label->fontMetrics().height() + m.top() + m.bottom() + 2 * label->margin();
        const int needed = label->wordWrap() && !label->text().isEmpty()
                               ? std::max(line, label->heightForWidth(toPixels(width)))
                               : line;
        pixelHeight = std::max(pixelHeight, needed);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty()) {
        pixelHeight = std::max(pixelHeight, button->fontMetrics().height());
    }
    w->setGeometry(toPixels(left), toPixels(top), toPixels(width), pixelHeight);
}

namespace {
QSize frameExtra(const QWidget* window)
{
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    return {frame.width() - inner.width(), frame.height() - inner.height()};
}
} // namespace

QRect outerGeometry(const QWidget* window)
{
    const QRect f = window->frameGeometry();
    return {f.x() * kPerPixel, f.y() * kPerPixel, fromPixels(f.width()), fromPixels(f.height())};
}

void setOuterPosition(QWidget* window, double left, double top)
{
    window->move(screenPixels(left), screenPixels(top));
}

void setOuterSize(QWidget* window, double width, double height)
{
    const QSize extra = frameExtra(window);
    window->resize(toPixels(width) - extra.width(), toPixels(height) - extra.height());
}

void setOuterWidth(QWidget* window, double width)
{
    const QSize extra = frameExtra(window);
    window->resize(toPixels(width) - extra.width(), window->height());
}

void keepOnScreen(QWidget* window)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return;
    const QSize extra = frameExtra(window);
    QRect outer(window->pos(), window->size() + extra);

    // The screen the window overlaps most, else the primary one.
    QScreen* screen = QGuiApplication::primaryScreen();
    qint64 best = 0;
    for (QScreen* s : screens) {
        const QRect overlap = s->availableGeometry().intersected(outer);
        const qint64 area = overlap.isEmpty() ? 0 : qint64(overlap.width()) * overlap.height();
        if (area > best) {
            best = area;
            screen = s;
        }
    }
    const QRect avail = screen->availableGeometry();

    const QSize minimum = window->minimumSize() + extra;
    const QSize size(std::max(std::min(outer.width(), avail.width()), minimum.width()),
                     std::max(std::min(outer.height(), avail.height()), minimum.height()));
    const bool shrunk = size != outer.size();
    if (shrunk) {
        window->resize(size - extra);
        outer.setSize(size);
    }

    // Reachable: some screen holds the top strip, where the title bar is,
    // over a good stretch of its width.
    constexpr int kStrip = 30;
    constexpr int kGrip = 60;
    const QRect strip(outer.left(), outer.top(), outer.width(), kStrip);
    for (QScreen* s : screens) {
        const QRect a = s->availableGeometry();
        const QRect overlap = a.intersected(strip);
        if (!shrunk && !overlap.isEmpty() && overlap.height() == kStrip &&
            overlap.width() >= std::min(kGrip, outer.width()))
            return;
    }
    const int x = std::clamp(outer.left(), avail.left(), std::max(avail.left(), avail.right() + 1 - outer.width()));
    const int y = std::clamp(outer.top(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - outer.height()));
    window->move(x, y);
}

} // namespace pb::twips

namespace pb {

QColor colorFromInt(qint64 value)
{
    const auto v = static_cast<quint32>(value);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF));
}

qint32 colorToInt(const QColor& c)
{
    return c.red() + 256 * c.green() + 65536 * c.blue();
}

void setBackColor(QWidget* w, qint32 value)
{
    QPalette p = w->palette();
    const QColor c = colorFromInt(value);
    p.setColor(QPalette::Window, c);
    p.setColor(QPalette::Button, c);
    p.setColor(QPalette::Base, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

qint32 backColor(const QWidget* w)
{
    return colorToInt(w->palette().color(QPalette::Window));
}

void setForeColor(QWidget* w, qint32 value)
{
    QPalette p = w->palette();
    const QColor c = colorFromInt(value);
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::ButtonText, c);
    p.setColor(QPalette::Text, c);
    w->setPalette(p);
}

} // namespace pb
