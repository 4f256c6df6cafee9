#include "support/Readable.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QStyle>
#include <QTest>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>

#include <cmath>

namespace pb::test {

namespace {

QString nameOf(QWidget* w)
{
    return w->window()->objectName() + u'/' + w->objectName() + u'(' + QString::fromLatin1(w->metaObject()->className()) + u')';
}

QString shownText(QString text)
{
    // "&&" is an ampersand; a single "&" marks the access key.
    return text.replace(QLatin1String("&&"), QLatin1String("\x01")).remove(u'&').replace(u'\x01', u'&');
}

// The controls whose text does not fit, with what they need and have.
} // namespace

QStringList clippedTexts(QWidget* top)
{
    QStringList out;
    const auto report = [&](QWidget* w, const QSize& need, const QSize& have) {
        if (need.width() > have.width() || need.height() > have.height())
            out << QStringLiteral("%1 needs %2x%3, has %4x%5")
                       .arg(nameOf(w))
                       .arg(need.width())
                       .arg(need.height())
                       .arg(have.width())
                       .arg(have.height());
    };
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (w->window() != top || !w->isVisible() || w->width() <= 0)
            continue;
        const QFontMetrics fm(w->font());
        if (auto* l = qobject_cast<QLabel*>(w)) {
            if (l->text().isEmpty() || l->textFormat() == Qt::RichText || Qt::mightBeRichText(l->text()))
                continue;
            const QRect r = l->contentsRect();
            if (l->wordWrap()) {
                report(w, QSize(0, l->heightForWidth(r.width())), r.size());
            } else {
                const QRect text = fm.boundingRect(QRect(0, 0, 100000, 100000), Qt::TextExpandTabs, shownText(l->text()));
                report(w, QSize(text.width(), text.height()), r.size());
            }
        } else if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w)) {
            const bool radio = qobject_cast<QRadioButton*>(w);
            const int indicator =
                w->style()->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth, nullptr, w) +
                w->style()->pixelMetric(radio ? QStyle::PM_RadioButtonLabelSpacing : QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
            report(w, QSize(indicator + fm.horizontalAdvance(shownText(static_cast<QAbstractButton*>(w)->text())), fm.height()),
                   w->size());
        } else if (auto* b = qobject_cast<QPushButton*>(w)) {
            if (b->text().isEmpty())
                continue;
            const int icon = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
            report(w, QSize(fm.horizontalAdvance(shownText(b->text())) + icon + 4, fm.height()), b->size());
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            report(w, QSize(0, fm.height()), e->contentsRect().size());
        } else if (auto* bar = qobject_cast<QToolBar*>(w)) {
            // A toolbar too narrow for its buttons hides them behind a chevron.
            for (QAction* a : bar->actions())
                if (!a->isSeparator() && a->isVisible() && !bar->widgetForAction(a)->isVisible())
                    out << nameOf(w) + QStringLiteral(" hides ") + a->objectName();
        }
    }
    return out;
}

// WCAG's contrast ratio of two colours.
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

namespace {

// What a control's text is drawn on: its own background when it fills it,
// else that of the nearest parent that does.
QColor background(QWidget* w)
{
    for (QWidget* p = w; p; p = p->parentWidget())
        if (p->autoFillBackground() || p->isWindow() || qobject_cast<QLineEdit*>(p) || qobject_cast<QAbstractButton*>(p))
            return p->palette().color(p->backgroundRole());
    return w->palette().color(QPalette::Window);
}

} // namespace

QPalette darkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(20, 20, 20));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(45, 45, 45));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    return dark;
}


QStringList unnamedControls(QWidget* top)
{
    QStringList unnamed;
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (w->window() != top || !w->isVisible() || w->focusPolicy() == Qt::NoFocus || qobject_cast<QMenu*>(w))
            continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << nameOf(w);
    }
    return unnamed;
}

QStringList missedByTab(QWidget* top)
{
    QStringList missed;
    QSet<QWidget*> want;
    for (QWidget* w : top->findChildren<QWidget*>())
        if (w->window() == top && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() &&
            !qobject_cast<QMenu*>(w))
            want.insert(w);
    if (want.isEmpty())
        return missed;
    top->activateWindow();
    QApplication::setActiveWindow(top);
    if (!top->focusWidget())
        top->nextInFocusChain()->setFocus(Qt::TabFocusReason);
    QSet<QWidget*> reached;
    for (int i = 0; i < 3 * want.size() + 3; ++i) {
        QWidget* now = QApplication::focusWidget();
        if (!now)
            break;
        reached.insert(now);
        QTest::keyClick(now, Qt::Key_Tab);
    }
    // A group of radio buttons is one stop: Tab reaches the checked
    // one, the arrow keys the others.
    const auto groupReached = [&](QWidget* w) {
        if (!qobject_cast<QRadioButton*>(w))
            return false;
        for (QWidget* r : std::as_const(reached))
            if (qobject_cast<QRadioButton*>(r) && r->parentWidget() == w->parentWidget())
                return true;
        return false;
    };
    for (QWidget* w : std::as_const(want))
        if (!reached.contains(w) && !groupReached(w))
            missed << nameOf(w);
    return missed;
}

QStringList unreadableTexts(QWidget* top)
{
    QStringList faults;
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (w->window() != top || !w->isVisible())
            continue;
        const bool text = (qobject_cast<QLabel*>(w) && !static_cast<QLabel*>(w)->text().isEmpty()) ||
                          (qobject_cast<QAbstractButton*>(w) && !qobject_cast<QToolButton*>(w) &&
                           !static_cast<QAbstractButton*>(w)->text().isEmpty()) ||
                          qobject_cast<QLineEdit*>(w);
        if (!text)
            continue;
        const QColor fg = w->palette().color(w->foregroundRole());
        const QColor bg = background(w);
        if (contrast(fg, bg) < 4.5)
            faults << QStringLiteral("%1 %2 on %3 (%4:1)").arg(nameOf(w), fg.name(), bg.name()).arg(contrast(fg, bg), 0, 'f', 1);
    }
    return faults;
}

} // namespace pb::test
