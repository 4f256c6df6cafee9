#include "platform/Twips.h"

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace pb::twips {

void place(QWidget* w, int left, int top, int width, int height)
{
    w->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
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
    return {fromPixels(f.x()), fromPixels(f.y()), fromPixels(f.width()), fromPixels(f.height())};
}

void setOuterPosition(QWidget* window, double left, double top)
{
    window->move(toPixels(left), toPixels(top));
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
