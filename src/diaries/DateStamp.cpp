#include "diaries/DateStamp.h"

#include "platform/Codepage.h"

namespace pb {

namespace {

bool namesFitTheCodePage(const QLocale& locale)
{
    QString names;
    for (int d = 1; d <= 7; ++d)
        names += locale.dayName(d, QLocale::LongFormat);
    for (int m = 1; m <= 12; ++m)
        names += locale.monthName(m, QLocale::LongFormat);
    QString lost;
    codepage::encodeReporting(names, &lost);
    return lost.isEmpty();
}

} // namespace

QLocale stampLocale(const QLocale& preferred)
{
    if (namesFitTheCodePage(preferred))
        return preferred;
    const QLocale own = codepage::characterLocale();
    if (namesFitTheCodePage(own))
        return own;
    return QLocale(QLocale::English, QLocale::UnitedStates);
}

QString dateStamp(const QDateTime& when, const QLocale& locale)
{
    const QDateTime local = when.toLocalTime();
    const QTime t = local.time();
    const QDate d = local.date();

    const int hour12 = t.hour() % 12 == 0 ? 12 : t.hour() % 12;
    const auto twoDigits = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };

    // Digits stay ASCII whatever the locale; only the names are the locale's.
    QString s;
    s.reserve(48);
    s += QString::number(hour12) + u':' + twoDigits(t.minute());
    s += t.hour() < 12 ? QLatin1String(" AM ") : QLatin1String(" PM ");
    s += u' ' + locale.dayName(d.dayOfWeek(), QLocale::LongFormat) + QLatin1String(", ");
    s += locale.monthName(d.month(), QLocale::LongFormat) + u' ' + twoDigits(d.day()) + QLatin1String(", ");
    s += QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0'));
    return s;
}

} // namespace pb
