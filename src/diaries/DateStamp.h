#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace pb {

// The date line a diary entry gets when it is saved without one: the local
// time as "h:mm AM " or "h:mm PM " (12-hour clock, no leading zero), then
// " Weekday, Month dd, yyyy" with the weekday and month named as `locale`
// names them. 3:07 in the afternoon of Monday, 7 December 2026 gives
// "3:07 PM  Monday, December 07, 2026" in English.
QString dateStamp(const QDateTime& when, const QLocale& locale);

} // namespace pb

namespace pb {

// The locale whose day and month names a stamp uses: `preferred` when the
// book's code page holds its names, else the locale of the user's
// characters (the code page's own language), else English. A stamp never
// holds a '?' for a name the book cannot store.
QLocale stampLocale(const QLocale& preferred);

} // namespace pb
