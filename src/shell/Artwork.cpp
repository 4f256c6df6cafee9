#include "shell/Artwork.h"

#include <QFile>
#include <QSvgRenderer>

#include <QHash>

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QRadialGradient>
#include <QRectF>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <functional>
#include <numbers>
#include <vector>

namespace pb::artwork {

namespace {

// ---------------------------------------------------------------------------
// Palette
// ---------------------------------------------------------------------------

constexpr qreal kPi = std::numbers::pi;

const QColor kInk(74, 38, 10);           // outlines
const QColor kBrownDeep(40, 19, 3);
const QColor kBrownDark(70, 34, 4);
const QColor kBrown(128, 64, 0);         // the main window colour
const QColor kBrownWarm(160, 84, 16);
const QColor kOrange(255, 128, 0);
const QColor kOrangeDeep(226, 98, 0);
const QColor kOrangeLight(255, 184, 100);
const QColor kCream(255, 248, 232);
const QColor kPaper(250, 234, 200);
const QColor kPaperShade(228, 204, 162);
const QColor kRule(196, 150, 100);
const QColor kGreen(58, 170, 78);
const QColor kGreenDark(28, 112, 44);
const QColor kRed(218, 58, 42);
const QColor kRedDark(150, 30, 20);
const QColor kSteel(206, 200, 192);
const QColor kSteelDark(132, 124, 116);

QColor withAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

QLinearGradient vertical(qreal y0, qreal y1, const QColor& top, const QColor& bottom)
{
    QLinearGradient g(0.0, y0, 0.0, y1);
    g.setColorAt(0.0, top);
    g.setColorAt(1.0, bottom);
    return g;
}

QPen roundPen(const QColor& c, qreal width)
{
    QPen pen(c, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

QImage blankImage(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

// ---------------------------------------------------------------------------
// Soft shadows: a cheap three-pass box blur over a premultiplied image.
// ---------------------------------------------------------------------------

void boxBlurPass(QImage& img, int radius, bool horizontal)
{
    const int w = img.width();
    const int h = img.height();
    const int lines = horizontal ? h : w;
    const int length = horizontal ? w : h;
    const int window = 2 * radius + 1;
    std::vector<std::array<int, 4>> buffer(static_cast<std::size_t>(length));

    for (int line = 0; line < lines; ++line) {
        auto px = [&](int i) -> uchar* {
            const int x = horizontal ? i : line;
            const int y = horizontal ? line : i;
            return img.scanLine(y) + static_cast<std::ptrdiff_t>(x) * 4;
        };
        std::array<int, 4> sum{0, 0, 0, 0};
        for (int i = -radius; i <= radius; ++i) {
            const uchar* s = px(std::clamp(i, 0, length - 1));
            for (int c = 0; c < 4; ++c)
                sum[static_cast<std::size_t>(c)] += s[c];
        }
        for (int i = 0; i < length; ++i) {
            auto& out = buffer[static_cast<std::size_t>(i)];
            for (int c = 0; c < 4; ++c)
                out[static_cast<std::size_t>(c)] = sum[static_cast<std::size_t>(c)] / window;
            const uchar* add = px(std::min(i + radius + 1, length - 1));
            const uchar* sub = px(std::max(i - radius, 0));
            for (int c = 0; c < 4; ++c)
                sum[static_cast<std::size_t>(c)] += add[c] - sub[c];
        }
        for (int i = 0; i < length; ++i) {
            uchar* d = px(i);
            const auto& v = buffer[static_cast<std::size_t>(i)];
            for (int c = 0; c < 4; ++c)
                d[c] = static_cast<uchar>(v[static_cast<std::size_t>(c)]);
        }
    }
}

void blur(QImage& img, int radius)
{
    if (radius < 1)
        return;
    for (int pass = 0; pass < 3; ++pass) {
        boxBlurPass(img, radius, true);
        boxBlurPass(img, radius, false);
    }
}

// Draws a blurred silhouette of `shape` (given in the painter's current
// coordinates) displaced by `offset` device pixels.
void softShadow(QPainter& p, const QPainterPath& shape, qreal blurRadius, QPointF offset,
                const QColor& colour)
{
    const QPainterPath device = p.worldTransform().map(shape);
    const int margin = static_cast<int>(std::ceil(blurRadius * 3.0)) + 2;
    const QRect bounds = device.boundingRect().toAlignedRect().adjusted(-margin, -margin,
                                                                        margin, margin);
    if (bounds.isEmpty())
        return;

    QImage layer = blankImage(bounds.width(), bounds.height());
    {
        QPainter lp(&layer);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.translate(-bounds.topLeft());
        lp.fillPath(device, colour);
    }
    blur(layer, std::max(1, static_cast<int>(std::lround(blurRadius))));

    p.save();
    p.resetTransform();
    p.drawImage(QPointF(bounds.topLeft()) + offset, layer);
    p.restore();
}

// ---------------------------------------------------------------------------
// Shared shapes
// ---------------------------------------------------------------------------

// A classic telephone handset lying with its cups facing down, in a
// 100 x 60 box.
QPainterPath handsetPath()
{
    QPainterPath p;
    p.moveTo(4.0, 58.0);
    p.quadTo(0.0, 58.0, 0.5, 54.0);
    p.cubicTo(1.5, 46.0, 5.0, 42.0, 8.0, 38.0);
    p.cubicTo(20.0, 8.0, 80.0, 8.0, 92.0, 38.0);
    p.cubicTo(95.0, 42.0, 98.5, 46.0, 99.5, 54.0);
    p.quadTo(100.0, 58.0, 96.0, 58.0);
    p.lineTo(70.0, 58.0);
    p.quadTo(66.0, 58.0, 67.0, 54.0);
    p.cubicTo(69.0, 47.0, 74.0, 43.0, 79.0, 40.0);
    p.cubicTo(70.0, 23.0, 30.0, 23.0, 21.0, 40.0);
    p.cubicTo(26.0, 43.0, 31.0, 47.0, 33.0, 54.0);
    p.quadTo(34.0, 58.0, 30.0, 58.0);
    p.closeSubpath();
    return p;
}

// The handset scaled so that it is `width` wide, centred on `centre` and
// rotated by `angle` degrees.
QPainterPath placedHandset(QPointF centre, qreal width, qreal angle)
{
    const qreal s = width / 100.0;
    QTransform t;
    t.translate(centre.x(), centre.y());
    t.rotate(angle);
    t.scale(s, s);
    t.translate(-50.0, -30.0);
    return t.map(handsetPath());
}

// One page of an open book. `side` is -1 for the left page and +1 for the
// right one. The page edge curls up away from the spine by `lift`.
struct Page {
    qreal spineX;
    qreal top;
    qreal width;
    qreal height;
    qreal lift;
    int side;

    // Point on the page: t runs 0 (spine) .. 1 (outer edge), f runs
    // 0 (top edge) .. 1 (bottom edge). Follows the curl of the paper.
    QPointF at(qreal t, qreal f) const
    {
        const qreal u = 1.0 - t;
        const qreal bx = 3.0 * u * u * t * 0.3 + 3.0 * u * t * t * 0.7 + t * t * t;
        const qreal by = lift * (u * u * u - 3.0 * u * u * t * 0.3 - 3.0 * u * t * t * 0.2);
        return QPointF(spineX + side * width * bx, top + f * height + by);
    }

    QPainterPath outline() const
    {
        const qreal s = side * width;
        QPainterPath p;
        p.moveTo(spineX, top + lift);
        p.cubicTo(spineX + s * 0.3, top - lift * 0.3, spineX + s * 0.7, top - lift * 0.2,
                  spineX + s, top);
        p.lineTo(spineX + s, top + height);
        p.cubicTo(spineX + s * 0.7, top + height - lift * 0.2, spineX + s * 0.3,
                  top + height - lift * 0.3, spineX, top + height + lift);
        p.closeSubpath();
        return p;
    }

    QPainterPath rule(qreal f, qreal t0, qreal t1, int steps = 24) const
    {
        QPainterPath p;
        for (int i = 0; i <= steps; ++i) {
            const qreal t = t0 + (t1 - t0) * i / steps;
            if (i == 0)
                p.moveTo(at(t, f));
            else
                p.lineTo(at(t, f));
        }
        return p;
    }
};

// Head-and-shoulders silhouette inside a circle of radius r.
QPainterPath personPath(QPointF c, qreal r)
{
    QPainterPath p;
    p.addEllipse(QPointF(c.x(), c.y() - r * 0.22), r * 0.36, r * 0.36);
    QPainterPath body;
    body.addEllipse(QPointF(c.x(), c.y() + r * 0.78), r * 0.68, r * 0.55);
    QPainterPath disc;
    disc.addEllipse(c, r, r);
    return p.united(body.intersected(disc));
}

QPainterPath gearPath(QPointF c, qreal outer, qreal inner, qreal hole, int teeth)
{
    QPainterPath gear;
    gear.addEllipse(c, inner, inner);
    const qreal toothW = 2.0 * kPi * inner / teeth * 0.5;
    for (int i = 0; i < teeth; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-toothW / 2.0, -outer, toothW, outer - inner * 0.6),
                             toothW * 0.25, toothW * 0.25);
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotate(360.0 * i / teeth);
        gear = gear.united(t.map(tooth));
    }
    QPainterPath h;
    h.addEllipse(c, hole, hole);
    return gear.subtracted(h).simplified();
}

// Stroked "z8P" monogram in a w x h box at (x, y).
QPainterPath monogramPath(qreal x, qreal y, qreal w, qreal h)
{
    const qreal gap = w * 0.09;
    const qreal lw = (w - 2.0 * gap) / 3.0;
    QPainterPath p;
    // z (lower case, so a little shorter)
    const qreal zTop = y + h * 0.32;
    p.moveTo(x, zTop);
    p.lineTo(x + lw, zTop);
    p.lineTo(x, y + h);
    p.lineTo(x + lw, y + h);
    // 8
    const qreal ex = x + lw + gap;
    const qreal upper = h * 0.44;
    p.addEllipse(QRectF(ex + lw * 0.08, y, lw * 0.84, upper));
    p.addEllipse(QRectF(ex, y + upper, lw, h - upper));
    // P
    const qreal px = ex + lw + gap;
    p.moveTo(px, y + h);
    p.lineTo(px, y);
    p.lineTo(px + lw * 0.45, y);
    p.arcTo(QRectF(px + lw * 0.45 - lw * 0.55, y, lw * 1.1, h * 0.56), 90.0, -180.0);
    p.lineTo(px, y + h * 0.56);
    return p;
}

// ---------------------------------------------------------------------------
// Small-icon building blocks, drawn in a 24 x 24 design grid.
// ---------------------------------------------------------------------------

void drawCard(QPainter& p, const QRectF& r, bool withContent = true)
{
    QPainterPath card;
    card.addRoundedRect(r, 2.0, 2.0);
    p.setPen(QPen(kInk, 1.1));
    p.setBrush(vertical(r.top(), r.bottom(), kCream, kPaper));
    p.drawPath(card);

    // Orange header strip.
    p.save();
    p.setClipPath(card);
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(r.top(), r.top() + 3.0, kOrangeLight, kOrange));
    p.drawRect(QRectF(r.left(), r.top(), r.width(), 2.8));
    p.restore();
    p.setPen(QPen(kInk, 1.1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(card);

    if (!withContent)
        return;
    const qreal avatarR = std::min(r.height() * 0.22, 2.6);
    const QPointF a(r.left() + 2.0 + avatarR, r.top() + 3.0 + (r.height() - 3.0) * 0.45);
    p.setPen(Qt::NoPen);
    p.setBrush(kBrownWarm);
    p.drawPath(personPath(a, avatarR));
    p.setPen(roundPen(kRule, 1.1));
    const qreal lx = a.x() + avatarR + 1.6;
    const qreal rx = r.right() - 2.0;
    if (rx - lx > 1.5) {
        p.drawLine(QPointF(lx, a.y() - 1.6), QPointF(rx, a.y() - 1.6));
        p.drawLine(QPointF(lx, a.y() + 1.0), QPointF(lx + (rx - lx) * 0.7, a.y() + 1.0));
        if (r.bottom() - (a.y() + 3.6) > 1.5)
            p.drawLine(QPointF(r.left() + 2.2, a.y() + 3.8), QPointF(rx, a.y() + 3.8));
    }
}

enum class Glyph { Plus, Check, Cross };

void drawBadge(QPainter& p, QPointF c, qreal r, const QColor& light, const QColor& dark, Glyph glyph)
{
    QRadialGradient g(c.x() - r * 0.35, c.y() - r * 0.4, r * 1.6);
    g.setColorAt(0.0, light.lighter(125));
    g.setColorAt(0.6, light);
    g.setColorAt(1.0, dark);
    p.setPen(QPen(Qt::white, 1.1));
    p.setBrush(g);
    p.drawEllipse(c, r, r);

    p.setPen(roundPen(Qt::white, r * 0.36));
    const qreal k = r * 0.5;
    switch (glyph) {
    case Glyph::Plus:
        p.drawLine(QPointF(c.x() - k, c.y()), QPointF(c.x() + k, c.y()));
        p.drawLine(QPointF(c.x(), c.y() - k), QPointF(c.x(), c.y() + k));
        break;
    case Glyph::Check: {
        QPainterPath tick;
        tick.moveTo(c.x() - k * 1.0, c.y() + k * 0.05);
        tick.lineTo(c.x() - k * 0.25, c.y() + k * 0.8);
        tick.lineTo(c.x() + k * 1.05, c.y() - k * 0.7);
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
        break;
    }
    case Glyph::Cross:
        p.drawLine(QPointF(c.x() - k * 0.8, c.y() - k * 0.8), QPointF(c.x() + k * 0.8, c.y() + k * 0.8));
        p.drawLine(QPointF(c.x() + k * 0.8, c.y() - k * 0.8), QPointF(c.x() - k * 0.8, c.y() + k * 0.8));
        break;
    }
}

void paintGeneric(QPainter& p)
{
    QPainterPath sheet;
    sheet.moveTo(5.0, 2.5);
    sheet.lineTo(14.5, 2.5);
    sheet.lineTo(19.5, 7.5);
    sheet.lineTo(19.5, 21.5);
    sheet.lineTo(5.0, 21.5);
    sheet.closeSubpath();
    p.setPen(QPen(kInk, 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(vertical(2.5, 21.5, kCream, kPaper));
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(14.5, 2.5);
    fold.lineTo(14.5, 7.5);
    fold.lineTo(19.5, 7.5);
    fold.closeSubpath();
    p.setBrush(kPaperShade);
    p.drawPath(fold);
    p.setPen(roundPen(kRule, 1.1));
    for (qreal y : {11.0, 14.0, 17.0})
        p.drawLine(QPointF(8.0, y), QPointF(16.5, y));
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    p.drawEllipse(QPointF(8.0, 6.5), 1.4, 1.4);
}

void paintNewRecord(QPainter& p)
{
    drawCard(p, QRectF(1.5, 3.5, 17.5, 13.5));
    drawBadge(p, QPointF(17.5, 17.0), 5.2, kGreen, kGreenDark, Glyph::Plus);
}

void paintSaveRecord(QPainter& p)
{
    QPainterPath body;
    body.moveTo(4.0, 2.5);
    body.lineTo(17.5, 2.5);
    body.lineTo(21.5, 6.5);
    body.lineTo(21.5, 19.5);
    body.quadTo(21.5, 21.5, 19.5, 21.5);
    body.lineTo(4.5, 21.5);
    body.quadTo(2.5, 21.5, 2.5, 19.5);
    body.lineTo(2.5, 4.0);
    body.quadTo(2.5, 2.5, 4.0, 2.5);
    body.closeSubpath();
    p.setPen(QPen(kInk, 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(vertical(2.5, 21.5, kBrownWarm.lighter(115), kBrown));
    p.drawPath(body);

    // Metal shutter with its slot.
    p.setPen(QPen(kSteelDark, 0.9));
    p.setBrush(vertical(2.5, 9.0, kSteel.lighter(108), kSteel));
    p.drawRoundedRect(QRectF(7.0, 2.5, 10.0, 6.5), 0.8, 0.8);
    p.setPen(Qt::NoPen);
    p.setBrush(kBrownDark);
    p.drawRect(QRectF(13.0, 3.7, 2.3, 4.1));

    // Label.
    p.setPen(QPen(kInk, 0.9));
    p.setBrush(vertical(12.0, 21.5, kCream, kPaper));
    p.drawRoundedRect(QRectF(5.5, 12.0, 13.0, 9.5), 1.0, 1.0);

    p.setPen(roundPen(kGreenDark, 2.0));
    p.setBrush(Qt::NoBrush);
    QPainterPath tick;
    tick.moveTo(8.5, 16.6);
    tick.lineTo(11.0, 19.0);
    tick.lineTo(15.8, 14.0);
    p.drawPath(tick);
}

void paintOpenData(QPainter& p)
{
    const Page coverL{12.0, 6.0, 11.0, 14.5, 1.2, -1};
    const Page coverR{12.0, 6.0, 11.0, 14.5, 1.2, 1};
    p.setPen(QPen(kInk, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kBrown);
    p.drawPath(coverL.outline().united(coverR.outline()));

    const Page left{12.0, 4.0, 9.8, 14.0, 2.2, -1};
    const Page right{12.0, 4.0, 9.8, 14.0, 2.2, 1};
    p.setPen(QPen(kInk, 0.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (const Page* pg : {&left, &right}) {
        QLinearGradient g(pg->spineX, 0.0, pg->spineX + pg->side * pg->width, 0.0);
        g.setColorAt(0.0, kPaperShade);
        g.setColorAt(0.25, kPaper);
        g.setColorAt(1.0, kCream);
        p.setBrush(g);
        p.drawPath(pg->outline());
    }
    p.setPen(roundPen(kRule, 1.0));
    p.setBrush(Qt::NoBrush);
    for (qreal f : {0.3, 0.5, 0.7}) {
        p.drawPath(left.rule(f, 0.2, 0.82));
        p.drawPath(right.rule(f, 0.2, 0.82));
    }
    // Index tab.
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(kOrange);
    p.drawRoundedRect(QRectF(21.0, 6.5, 2.4, 3.6), 0.7, 0.7);
}

void paintFindRecord(QPainter& p)
{
    // Handle.
    p.setPen(roundPen(kInk, 4.6));
    p.drawLine(QPointF(14.5, 14.5), QPointF(20.8, 20.8));
    QLinearGradient hg(14.0, 14.0, 21.0, 21.0);
    hg.setColorAt(0.0, kOrangeLight);
    hg.setColorAt(1.0, kOrangeDeep);
    p.setPen(QPen(QBrush(hg), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15.2, 15.2), QPointF(20.6, 20.6));

    // Lens.
    const QPointF c(10.0, 10.0);
    QRadialGradient glass(c.x() - 2.0, c.y() - 2.5, 8.0);
    glass.setColorAt(0.0, QColor(255, 255, 255));
    glass.setColorAt(0.7, QColor(255, 240, 214));
    glass.setColorAt(1.0, QColor(240, 214, 170));
    p.setPen(QPen(kBrownDark, 2.4));
    p.setBrush(glass);
    p.drawEllipse(c, 6.6, 6.6);
    p.setPen(QPen(kBrownWarm, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 6.6, 6.6);
    p.setPen(roundPen(withAlpha(Qt::white, 230), 1.3));
    p.drawArc(QRectF(c.x() - 4.3, c.y() - 4.3, 8.6, 8.6), 100 * 16, 70 * 16);
}

void paintCopyRecord(QPainter& p)
{
    drawCard(p, QRectF(1.5, 2.5, 14.5, 11.5), false);
    drawCard(p, QRectF(7.5, 9.5, 15.0, 12.0), true);
}

QPainterPath bladePath(QPointF base, QPointF pivot, QPointF tip, qreal width)
{
    const QPointF d = tip - base;
    const qreal len = std::hypot(d.x(), d.y());
    const QPointF n(-d.y() / len, d.x() / len);
    QPainterPath b;
    b.moveTo(base + n * (width * 0.45));
    b.lineTo(pivot + n * (width * 0.5));
    b.quadTo(tip + n * (width * 0.2) - d * 0.15, tip);
    b.quadTo(pivot - n * (width * 0.35) + d * 0.3, pivot - n * (width * 0.5));
    b.lineTo(base - n * (width * 0.45));
    b.closeSubpath();
    return b;
}

void paintCutRecord(QPainter& p)
{
    const QPointF pivot(12.0, 10.5);
    const QPainterPath b1 = bladePath(QPointF(8.2, 15.2), pivot, QPointF(17.5, 2.0), 3.0);
    const QPainterPath b2 = bladePath(QPointF(15.8, 15.2), pivot, QPointF(6.5, 2.0), 3.0);
    p.setPen(QPen(kSteelDark.darker(130), 0.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QLinearGradient sg(6.0, 0.0, 18.0, 0.0);
    sg.setColorAt(0.0, QColor(240, 236, 230));
    sg.setColorAt(0.5, kSteel);
    sg.setColorAt(1.0, QColor(236, 232, 226));
    p.setBrush(sg);
    p.drawPath(b2);
    p.drawPath(b1);

    // Handles.
    for (const QPointF& c : {QPointF(7.0, 18.2), QPointF(17.0, 18.2)}) {
        p.setPen(QPen(kRedDark, 3.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, 2.9, 2.9);
        p.setPen(QPen(kRed, 2.0));
        p.drawEllipse(c, 2.9, 2.9);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kBrownDark);
    p.drawEllipse(pivot, 1.1, 1.1);
}

void paintPasteRecord(QPainter& p)
{
    p.setPen(QPen(kInk, 1.1));
    p.setBrush(vertical(3.5, 22.0, kBrownWarm, kBrown));
    p.drawRoundedRect(QRectF(3.5, 4.0, 17.0, 18.0), 2.2, 2.2);

    p.setPen(QPen(kInk, 0.8));
    p.setBrush(vertical(7.0, 20.5, kCream, kPaper));
    p.drawRect(QRectF(6.0, 7.0, 12.0, 13.0));
    p.setPen(roundPen(kRule, 1.1));
    for (qreal y : {11.0, 13.8, 16.6})
        p.drawLine(QPointF(8.0, y), QPointF(y < 16.0 ? 16.0 : 13.0, y));

    // Clip.
    p.setPen(QPen(kSteelDark.darker(120), 0.9));
    p.setBrush(vertical(1.5, 7.5, QColor(240, 236, 230), kSteel));
    QPainterPath clip;
    clip.addRoundedRect(QRectF(7.5, 2.5, 9.0, 5.0), 1.5, 1.5);
    QPainterPath hole;
    hole.addEllipse(QPointF(12.0, 3.6), 1.0, 1.0);
    p.drawPath(clip.subtracted(hole));
}

void paintCustomize(QPainter& p)
{
    const QPainterPath gear = gearPath(QPointF(12.0, 12.0), 10.3, 7.2, 3.0, 8);
    QRadialGradient g(9.5, 9.0, 12.0);
    g.setColorAt(0.0, kOrangeLight);
    g.setColorAt(0.6, kOrange);
    g.setColorAt(1.0, kOrangeDeep);
    p.setPen(QPen(kInk, 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPath(gear);
    p.setPen(QPen(withAlpha(kBrownDark, 150), 0.9));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(12.0, 12.0), 5.2, 5.2);
}

void paintPrintRecord(QPainter& p)
{
    // Paper going in.
    p.setPen(QPen(kInk, 0.9));
    p.setBrush(kCream);
    p.drawRect(QRectF(6.5, 2.5, 11.0, 8.0));

    // Body.
    p.setPen(QPen(kInk, 1.1));
    p.setBrush(vertical(8.0, 18.0, QColor(214, 200, 184), QColor(150, 132, 114)));
    p.drawRoundedRect(QRectF(2.0, 8.5, 20.0, 9.5), 2.2, 2.2);
    p.setPen(Qt::NoPen);
    p.setBrush(kBrownDark);
    p.drawRoundedRect(QRectF(5.5, 14.0, 13.0, 2.0), 0.8, 0.8);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(18.6, 11.3), 1.1, 1.1);

    // Printed page coming out.
    p.setPen(QPen(kInk, 0.9));
    p.setBrush(vertical(15.0, 22.0, kCream, kPaper));
    p.drawRect(QRectF(6.5, 15.0, 11.0, 7.0));
    p.setPen(roundPen(kRule, 1.0));
    p.drawLine(QPointF(8.5, 17.6), QPointF(15.5, 17.6));
    p.drawLine(QPointF(8.5, 19.8), QPointF(13.5, 19.8));
}

void paintAdd(QPainter& p)
{
    drawCard(p, QRectF(1.5, 3.5, 17.5, 13.5));
    drawBadge(p, QPointF(17.5, 17.0), 5.2, kGreen, kGreenDark, Glyph::Check);
}

void paintDelete(QPainter& p)
{
    drawCard(p, QRectF(1.5, 3.5, 17.5, 13.5));
    drawBadge(p, QPointF(17.5, 17.0), 5.2, kRed, kRedDark, Glyph::Cross);
}

using Painter = std::function<void(QPainter&)>;

QIcon iconFrom(const Painter& paint)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.scale(size / 24.0, size / 24.0);
        paint(p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

// ---------------------------------------------------------------------------
// Large pictures
// ---------------------------------------------------------------------------

void drawDottedRule(QPainter& p, qreal x0, qreal x1, qreal y, qreal step, qreal r)
{
    for (qreal x = x0; x <= x1; x += step)
        p.drawEllipse(QPointF(x, y), r, r);
}

QImage renderBackground()
{
    const int W = 700;
    const int H = 490;
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // Warm dark base: a diagonal gradient with a soft glow at the top left.
    QLinearGradient base(0.0, 0.0, W * 0.45, H);
    base.setColorAt(0.0, QColor(104, 52, 8));
    base.setColorAt(0.55, QColor(74, 36, 5));
    base.setColorAt(1.0, QColor(46, 22, 3));
    p.fillRect(img.rect(), base);

    QRadialGradient glow(150.0, 90.0, 330.0);
    glow.setColorAt(0.0, QColor(170, 86, 10, 70));
    glow.setColorAt(1.0, QColor(170, 86, 10, 0));
    p.fillRect(img.rect(), glow);

    // Ledger rule lines.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 196, 130, 22));
    for (int i = 0; i < 15; ++i)
        drawDottedRule(p, 6.0, W, 22.0 + i * 34.0, 7.0, 0.9);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 150, 60, 20), 1.0));
    p.drawLine(QPointF(14.5, 0.0), QPointF(14.5, H));
    p.drawLine(QPointF(18.5, 0.0), QPointF(18.5, H));

    // A faint open address book behind everything.
    {
        const qreal cx = 190.0;
        const qreal top = 150.0;
        const Page left{cx, top, 170.0, 220.0, 20.0, -1};
        const Page right{cx, top, 170.0, 220.0, 20.0, 1};
        const Page coverL{cx, top + 10.0, 180.0, 222.0, 12.0, -1};
        const Page coverR{cx, top + 10.0, 180.0, 222.0, 12.0, 1};
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 8, 0, 40));
        p.drawPath(coverL.outline().united(coverR.outline()));
        p.setBrush(QColor(255, 190, 120, 12));
        p.setPen(QPen(QColor(255, 190, 120, 40), 1.4));
        p.drawPath(left.outline());
        p.drawPath(right.outline());
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 190, 120, 22), 1.0));
        for (int i = 1; i < 10; ++i) {
            const qreal f = i / 10.0;
            p.drawPath(left.rule(f, 0.1, 0.9));
            p.drawPath(right.rule(f, 0.1, 0.9));
        }
        // Index tabs on the right edge.
        p.setPen(QPen(QColor(255, 190, 120, 36), 1.2));
        p.setBrush(QColor(255, 150, 40, 14));
        for (int i = 0; i < 6; ++i)
            p.drawRoundedRect(QRectF(cx + 170.0, top + 14.0 + i * 34.0, 14.0, 26.0), 4.0, 4.0);
        // Spine.
        p.setPen(QPen(QColor(255, 190, 120, 30), 1.2));
        p.drawLine(QPointF(cx, top + 20.0), QPointF(cx, top + 240.0));
    }

    // Handset outlines scattered about, all very quiet.
    struct Mark {
        qreal x, y, w, angle;
        int alpha;
    };
    const Mark marks[] = {
        {300.0, 58.0, 78.0, -18.0, 46},   {92.0, 440.0, 70.0, 14.0, 34},
        {500.0, 120.0, 120.0, 24.0, 30},  {620.0, 400.0, 96.0, -28.0, 32},
        {330.0, 430.0, 64.0, -8.0, 40},   {640.0, 40.0, 60.0, 10.0, 28},
        {210.0, 40.0, 46.0, 28.0, 26},
    };
    p.setBrush(Qt::NoBrush);
    for (const Mark& m : marks) {
        p.setPen(QPen(QColor(255, 196, 130, m.alpha), 1.5, Qt::SolidLine, Qt::RoundCap,
                      Qt::RoundJoin));
        p.drawPath(placedHandset(QPointF(m.x, m.y), m.w, m.angle));
    }

    // A rotary dial ghost on the far right.
    {
        const QPointF c(520.0, 300.0);
        p.setPen(QPen(QColor(255, 196, 130, 28), 1.5));
        p.drawEllipse(c, 92.0, 92.0);
        p.drawEllipse(c, 36.0, 36.0);
        for (int i = 0; i < 10; ++i) {
            const qreal a = (-60.0 - i * 27.0) * kPi / 180.0;
            const QPointF h(c.x() + std::cos(a) * 66.0, c.y() - std::sin(a) * 66.0);
            p.drawEllipse(h, 14.0, 14.0);
        }
    }

    // Vignette to settle the edges.
    QRadialGradient vignette(W * 0.3, H * 0.45, W * 0.8);
    vignette.setColorAt(0.0, QColor(0, 0, 0, 0));
    vignette.setColorAt(0.65, QColor(0, 0, 0, 20));
    vignette.setColorAt(1.0, QColor(0, 0, 0, 80));
    p.fillRect(img.rect(), vignette);

    // Let the bottom and right edges melt into the window colour, so the
    // picture has no visible seam when the window is larger than it.
    const qreal fade = 80.0;
    QLinearGradient bottomFade(0.0, H - fade, 0.0, H);
    QLinearGradient rightFade(W - fade, 0.0, W, 0.0);
    for (QLinearGradient* g : {&bottomFade, &rightFade}) {
        g->setColorAt(0.0, withAlpha(kBrown, 0));
        g->setColorAt(0.5, withAlpha(kBrown, 70));
        g->setColorAt(1.0, kBrown);
    }
    p.fillRect(QRectF(0.0, H - fade, W, fade), bottomFade);
    p.fillRect(QRectF(W - fade, 0.0, fade, H), rightFade);

    // A fine light edge along the top.
    p.setPen(QPen(QColor(255, 190, 110, 40), 1.0));
    p.drawLine(QPointF(0.0, 0.5), QPointF(W, 0.5));
    p.end();
    return img;
}

void drawAddressCard(QPainter& p, QPointF centre, qreal w, qreal h, qreal angle, int seed)
{
    p.save();
    p.translate(centre);
    p.rotate(angle);
    const QRectF r(-w / 2.0, -h / 2.0, w, h);

    // Rotary-file card: rounded, with the notch along the bottom edge.
    QPainterPath card;
    card.addRoundedRect(r, 8.0, 8.0);
    QPainterPath notch;
    notch.addRoundedRect(QRectF(-w * 0.16, h / 2.0 - 9.0, w * 0.32, 18.0), 8.0, 8.0);
    card = card.subtracted(notch);

    softShadow(p, card, 6.0, QPointF(3.0, 6.0), QColor(80, 30, 0, 120));

    p.setPen(QPen(QColor(190, 120, 60), 1.2));
    p.setBrush(vertical(r.top(), r.bottom(), QColor(255, 253, 246), kPaper));
    p.drawPath(card);

    p.save();
    p.setClipPath(card);
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(r.top(), r.top() + 22.0, kBrownWarm.lighter(110), kBrown));
    p.drawRect(QRectF(r.left(), r.top(), w, 22.0));
    p.restore();

    // Photo and text lines.
    const QPointF a(r.left() + 28.0, r.top() + 48.0);
    p.setPen(QPen(QColor(210, 150, 90), 1.2));
    p.setBrush(QColor(255, 226, 186));
    p.drawEllipse(a, 16.0, 16.0);
    p.setPen(Qt::NoPen);
    p.setBrush(seed == 0 ? kOrange : kBrownWarm);
    QPainterPath person = personPath(a, 15.0);
    p.drawPath(person);

    p.setPen(roundPen(kBrownWarm, 4.0));
    p.drawLine(QPointF(a.x() + 26.0, a.y() - 9.0), QPointF(r.right() - 22.0, a.y() - 9.0));
    p.setPen(roundPen(kRule, 2.6));
    p.drawLine(QPointF(a.x() + 26.0, a.y() + 2.0), QPointF(r.right() - 40.0, a.y() + 2.0));
    p.drawLine(QPointF(a.x() + 26.0, a.y() + 11.0), QPointF(r.right() - 30.0, a.y() + 11.0));
    p.restore();
}

QImage renderSplash()
{
    const int W = 400;
    const int H = 439;
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // Orange ground, brighter behind the picture.
    p.fillRect(img.rect(), kOrange);
    QRadialGradient warm(W / 2.0, 232.0, 260.0);
    warm.setColorAt(0.0, QColor(255, 170, 60));
    warm.setColorAt(0.55, QColor(255, 136, 12));
    warm.setColorAt(1.0, QColor(238, 108, 0));
    p.fillRect(img.rect(), warm);

    // Soft rays from the centre, faded out well before the text bands.
    {
        QImage rays = blankImage(W, H);
        QPainter rp(&rays);
        rp.setRenderHint(QPainter::Antialiasing);
        const QPointF c(W / 2.0, 232.0);
        rp.setPen(Qt::NoPen);
        rp.setBrush(QColor(255, 236, 190, 60));
        const int count = 18;
        for (int i = 0; i < count; ++i) {
            const qreal a0 = 2.0 * kPi * i / count;
            const qreal a1 = a0 + kPi / count;
            QPainterPath ray;
            ray.moveTo(c);
            ray.lineTo(c.x() + std::cos(a0) * 400.0, c.y() + std::sin(a0) * 400.0);
            ray.lineTo(c.x() + std::cos(a1) * 400.0, c.y() + std::sin(a1) * 400.0);
            ray.closeSubpath();
            rp.drawPath(ray);
        }
        rp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        QRadialGradient mask(c, 190.0);
        mask.setColorAt(0.0, QColor(0, 0, 0, 255));
        mask.setColorAt(0.55, QColor(0, 0, 0, 160));
        mask.setColorAt(1.0, QColor(0, 0, 0, 0));
        rp.fillRect(rays.rect(), mask);
        rp.end();
        p.drawImage(0, 0, rays);
    }

    // Gentle darkening of the top and bottom bands where text goes.
    QLinearGradient bands(0.0, 0.0, 0.0, H);
    bands.setColorAt(0.0, QColor(120, 48, 0, 90));
    bands.setColorAt(0.2, QColor(120, 48, 0, 0));
    bands.setColorAt(0.8, QColor(120, 48, 0, 0));
    bands.setColorAt(1.0, QColor(120, 48, 0, 100));
    p.fillRect(img.rect(), bands);

    // Two address cards fanned out behind the book.
    drawAddressCard(p, QPointF(128.0, 168.0), 150.0, 96.0, -13.0, 0);
    drawAddressCard(p, QPointF(276.0, 160.0), 150.0, 96.0, 11.0, 1);

    // The open phone book.
    const qreal cx = 200.0;
    const qreal top = 188.0;
    const qreal pw = 146.0;
    const qreal ph = 136.0;
    const Page coverL{cx, top + 8.0, pw + 9.0, ph + 6.0, 9.0, -1};
    const Page coverR{cx, top + 8.0, pw + 9.0, ph + 6.0, 9.0, 1};
    const QPainterPath cover = coverL.outline().united(coverR.outline());
    softShadow(p, cover, 8.0, QPointF(0.0, 9.0), QColor(70, 24, 0, 150));
    p.setPen(QPen(kBrownDeep, 1.5));
    p.setBrush(vertical(top, top + ph + 20.0, kBrown, kBrownDark));
    p.drawPath(cover);

    // Alphabet tabs on the outer edge of the right-hand pages.
    const QColor tabColours[] = {kOrange, kCream, QColor(255, 200, 110), kGreen, kOrangeDeep};
    for (int i = 0; i < 5; ++i) {
        const QRectF tab(cx + pw - 6.0, top + 14.0 + i * 24.0, 17.0, 19.0);
        p.setPen(QPen(kBrownDeep, 1.2));
        p.setBrush(tabColours[i]);
        p.drawRoundedRect(tab, 4.0, 4.0);
    }

    // Page stack, then the two open pages.
    const Page stackL{cx, top + 4.0, pw, ph, 14.0, -1};
    const Page stackR{cx, top + 4.0, pw, ph, 14.0, 1};
    p.setPen(QPen(QColor(180, 130, 80), 1.0));
    p.setBrush(kPaperShade);
    p.drawPath(stackL.outline());
    p.drawPath(stackR.outline());

    const Page left{cx, top, pw, ph, 16.0, -1};
    const Page right{cx, top, pw, ph, 16.0, 1};
    for (const Page* pg : {&left, &right}) {
        QLinearGradient g(pg->spineX, 0.0, pg->spineX + pg->side * pg->width, 0.0);
        g.setColorAt(0.0, QColor(226, 196, 150));
        g.setColorAt(0.12, kPaper);
        g.setColorAt(1.0, kCream);
        p.setPen(QPen(QColor(176, 120, 66), 1.2));
        p.setBrush(g);
        p.drawPath(pg->outline());
    }
    p.setPen(QPen(withAlpha(kBrownDark, 120), 1.4));
    p.drawLine(QPointF(cx, top + 17.0), QPointF(cx, top + ph + 15.0));

    // Left page: an entry with its photo, name and details.
    {
        const QPointF a = left.at(0.72, 0.2);
        p.setPen(QPen(QColor(214, 150, 86), 1.4));
        p.setBrush(QColor(255, 224, 180));
        p.drawEllipse(a, 19.0, 19.0);
        p.setPen(Qt::NoPen);
        p.setBrush(kOrange);
        p.drawPath(personPath(a, 18.0));

        p.setBrush(Qt::NoBrush);
        p.setPen(roundPen(kBrownWarm, 5.0));
        p.drawPath(left.rule(0.15, 0.14, 0.5));
        p.setPen(roundPen(kRule, 3.0));
        p.drawPath(left.rule(0.27, 0.2, 0.5));
        p.setPen(QPen(withAlpha(kRule, 150), 1.0));
        for (int i = 0; i < 5; ++i)
            p.drawPath(left.rule(0.46 + i * 0.11, 0.08, 0.92));
        p.setPen(roundPen(withAlpha(kBrownWarm, 200), 2.6));
        p.drawPath(left.rule(0.43, 0.45, 0.86));
        p.drawPath(left.rule(0.54, 0.3, 0.86));
        p.drawPath(left.rule(0.65, 0.55, 0.86));
    }

    // Right page: a list of entries, each with a little handset marker.
    {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(withAlpha(kRule, 150), 1.0));
        for (int i = 0; i < 6; ++i)
            p.drawPath(right.rule(0.13 + i * 0.15, 0.08, 0.92));
        for (int i = 0; i < 5; ++i) {
            const qreal f = 0.085 + i * 0.15;
            const QPointF m = right.at(0.17, f);
            p.setPen(Qt::NoPen);
            p.setBrush(i == 1 ? kGreen : kOrange);
            p.drawEllipse(m, 6.0, 6.0);
            p.setBrush(Qt::white);
            p.drawPath(placedHandset(m, 8.0, 0.0));
            p.setBrush(Qt::NoBrush);
            p.setPen(roundPen(kBrownWarm, 2.8));
            p.drawPath(right.rule(f - 0.01, 0.26, 0.26 + 0.26 + (i % 3) * 0.08));
            p.setPen(roundPen(kRule, 2.4));
            p.drawPath(right.rule(f - 0.01, 0.62, 0.86));
        }
    }

    // The handset resting across the lower right of the book.
    {
        const QPointF hc(298.0, 314.0);
        const qreal hw = 150.0;
        const qreal ha = -8.0;
        const QPainterPath handset = placedHandset(hc, hw, ha);
        softShadow(p, handset, 7.0, QPointF(5.0, 10.0), QColor(60, 20, 0, 150));
        QLinearGradient g(hc.x() - 40.0, hc.y() - 50.0, hc.x() + 30.0, hc.y() + 50.0);
        g.setColorAt(0.0, QColor(112, 56, 10));
        g.setColorAt(0.5, QColor(70, 32, 4));
        g.setColorAt(1.0, QColor(40, 17, 2));
        p.setPen(QPen(kBrownDeep, 1.5));
        p.setBrush(g);
        p.drawPath(handset);

        // Highlight along the top of the grip.
        p.save();
        p.translate(hc);
        p.rotate(ha);
        p.scale(hw / 100.0, hw / 100.0);
        p.translate(-50.0, -30.0);
        QPainterPath shine;
        shine.moveTo(17.0, 36.0);
        shine.cubicTo(26.0, 20.0, 42.0, 15.0, 58.0, 15.5);
        p.setPen(roundPen(QColor(255, 200, 140, 150), 2.2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(shine);
        p.restore();

        // Ringing.
        p.setPen(roundPen(QColor(255, 255, 255, 220), 4.0));
        const QPointF rc(366.0, 286.0);
        for (int i = 0; i < 3; ++i) {
            const qreal r = 13.0 + i * 10.0;
            p.drawArc(QRectF(rc.x() - r, rc.y() - r, 2.0 * r, 2.0 * r), 18 * 16, 60 * 16);
        }
    }

    p.end();
    return img;
}

void paintLogo(QPainter& p, bool detailed)
{
    // Designed on a 256 x 256 grid.
    const QRectF cover(34.0, 18.0, 176.0, 220.0);

    // Page block peeking out on the right, with index tabs.
    p.setPen(QPen(kInk, 4.0));
    p.setBrush(vertical(24.0, 232.0, kCream, kPaper));
    p.drawRoundedRect(QRectF(64.0, 26.0, 160.0, 204.0), 18.0, 18.0);
    const QColor tabs[] = {kOrange, kGreen, QColor(255, 200, 110), kRed};
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(kInk, 4.0));
        p.setBrush(tabs[i]);
        p.drawRoundedRect(QRectF(206.0, 44.0 + i * 44.0, 32.0, 34.0), 9.0, 9.0);
    }

    // Cover.
    QPainterPath coverPath;
    coverPath.addRoundedRect(cover, 24.0, 24.0);
    QLinearGradient cg(cover.topLeft(), cover.bottomRight());
    cg.setColorAt(0.0, QColor(176, 92, 14));
    cg.setColorAt(0.5, kBrown);
    cg.setColorAt(1.0, kBrownDark);
    p.setPen(QPen(kInk, 4.0));
    p.setBrush(cg);
    p.drawPath(coverPath);

    // Spine band with binder rings.
    p.save();
    p.setClipPath(coverPath);
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(kBrownDeep, 110));
    p.drawRect(QRectF(cover.left(), cover.top(), 34.0, cover.height()));
    p.restore();
    if (detailed) {
        for (int i = 0; i < 4; ++i) {
            const QRectF ring(22.0, 46.0 + i * 46.0, 30.0, 14.0);
            p.setPen(QPen(kInk, 3.0));
            p.setBrush(vertical(ring.top(), ring.bottom(), QColor(245, 240, 232), kSteelDark));
            p.drawRoundedRect(ring, 7.0, 7.0);
        }
    }

    // Orange medallion with a white handset.
    const QPointF mc(132.0, detailed ? 104.0 : 128.0);
    const qreal mr = detailed ? 58.0 : 68.0;
    QRadialGradient mg(mc.x() - mr * 0.3, mc.y() - mr * 0.4, mr * 1.5);
    mg.setColorAt(0.0, QColor(255, 186, 90));
    mg.setColorAt(0.6, kOrange);
    mg.setColorAt(1.0, kOrangeDeep);
    p.setPen(QPen(kCream, 6.0));
    p.setBrush(mg);
    p.drawEllipse(mc, mr, mr);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(placedHandset(QPointF(mc.x(), mc.y() - mr * 0.04), mr * 1.5, 0.0));

    if (detailed) {
        // z8P monogram below the medallion.
        p.setPen(roundPen(kCream, 11.0));
        p.setBrush(Qt::NoBrush);
        p.drawPath(monogramPath(86.0, 176.0, 92.0, 40.0));
    }

    // Gloss over the upper part of the cover.
    p.save();
    p.setClipPath(coverPath);
    QLinearGradient gloss(0.0, cover.top(), 0.0, cover.top() + 90.0);
    gloss.setColorAt(0.0, QColor(255, 255, 255, 46));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawRect(QRectF(cover.left(), cover.top(), cover.width(), 90.0));
    p.restore();
}

} // namespace

QImage backgroundPicture()
{
    static const QImage picture = renderBackground();
    return picture;
}

QImage splashPicture()
{
    static const QImage picture = renderSplash();
    return picture;
}

QPixmap logo(int size)
{
    size = std::max(1, size);
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.scale(size / 256.0, size / 256.0);
    paintLogo(p, size >= 48);
    p.end();
    return pm;
}

namespace {
// A picture kept as a file among the program's resources, drawn at each size
// (and at twice each size for high-density screens).
QIcon iconFromFile(const QString& path)
{
    QSvgRenderer svg(path);
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 96, 128, 256}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        svg.render(&p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QIcon renderToolbarIcon(const QString& key)
{
    const QString file = QStringLiteral(":/art/toolbar/") + key + QStringLiteral(".svg");
    if (QFile::exists(file))
        return iconFromFile(file);
    if (key == QLatin1String("NewRecord"))
        return iconFrom(paintNewRecord);
    if (key == QLatin1String("SaveRecord"))
        return iconFrom(paintSaveRecord);
    if (key == QLatin1String("OpenData"))
        return iconFrom(paintOpenData);
    if (key == QLatin1String("FindRecord"))
        return iconFrom(paintFindRecord);
    if (key == QLatin1String("CopyRecord"))
        return iconFrom(paintCopyRecord);
    if (key == QLatin1String("CutRecord"))
        return iconFrom(paintCutRecord);
    if (key == QLatin1String("PasteRecord"))
        return iconFrom(paintPasteRecord);
    if (key == QLatin1String("Customize"))
        return iconFrom(paintCustomize);
    if (key == QLatin1String("PrintRecord"))
        return iconFrom(paintPrintRecord);
    return iconFrom(paintGeneric);
}

QIcon renderButtonIcon(const QString& key)
{
    if (key == QLatin1String("Add"))
        return iconFrom(paintAdd);
    if (key == QLatin1String("Delete"))
        return iconFrom(paintDelete);
    return iconFrom(paintGeneric);
}

} // namespace

// Icons are drawn once per run, on the GUI thread, and shared afterwards.
// The caches are never destroyed: pixmaps must not outlive the application
// object, and static destructors run after it is gone.
namespace {
QIcon cached(const QString& key, QIcon (*render)(const QString&))
{
    static auto* cache = new QHash<QString, QIcon>;
    const QString slot = QString::number(reinterpret_cast<quintptr>(render)) + QLatin1Char('/') + key;
    auto it = cache->find(slot);
    if (it == cache->end())
        it = cache->insert(slot, render(key));
    return *it;
}

QIcon renderAppIcon(const QString&)
{
    return iconFromFile(QStringLiteral(":/art/app/z8p-phonebook.svg"));
}
} // namespace

QIcon toolbarIcon(const QString& key)
{
    return cached(key, renderToolbarIcon);
}

QIcon buttonIcon(const QString& key)
{
    return cached(key, renderButtonIcon);
}

QIcon appIcon()
{
    return cached(QString(), renderAppIcon);
}

} // namespace pb::artwork
