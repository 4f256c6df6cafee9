#pragma once

// Contacts in and out of the book in the formats address books exchange:
// vCard (2.1, 3.0 and 4.0 read; 3.0 or 4.0 written) and CSV. Plain C++ on
// Qt Core, no windows.

#include "records/PackedRecords.h"
#include "exchange/Contact.h"
#include "records/ContactRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QFile;

namespace pb::exchange {

enum class VCardVersion { V30, V40 };
QList<Contact> readVCard(const QByteArray& data, ReadReport* report);
// The contacts a record holds whole and that need no word in a report
// (each value has a field and fits it in the current code page), read
// straight into their records. For contact i + 1 of the file,
// record[i] >= 0 is the index of its record in `records`; otherwise it was
// read the usual way and is contact -(record[i] + 1) of the list.
struct QuickRecords {
    PackedRecords records;
    std::vector<int> record;
};
// With `quick`, the list holds only the contacts read the usual way; the
// others are records in `quick`.
QList<Contact> readVCard(const QByteArray& data, ReadReport* report, QuickRecords* quick);
// The same from an open file, read a piece at a time so that the file is
// never held whole (a piece grows to hold a card longer than it). On a read
// error `error` says why and nothing is returned.
QList<Contact> readVCard(QFile& file, ReadReport* report, QuickRecords* quick, QString* error, qsizetype piece = 1 << 18);
QByteArray writeVCard(const QList<Contact>& contacts, VCardVersion version = VCardVersion::V30);

// Why bytes that begin with `head` are not a file of contacts at all (NUL
// bytes, not UTF-16), saying what they look like; empty when they may be.
QString notText(QByteArrayView head);

QList<Contact> readCsv(const QByteArray& data, ReadReport* report);
// The same with the rows the book stores whole and without a word in a
// report read straight into records, as readVCard() does with such cards.
QList<Contact> readCsv(const QByteArray& data, ReadReport* report, QuickRecords* quick);
// The same from an open file, read a piece at a time (UTF-16 whole, as
// UTF-8). On a read error `error` says why and nothing is returned.
QList<Contact> readCsv(QFile& file, ReadReport* report, QuickRecords* quick, QString* error, qsizetype piece = 1 << 18);
QByteArray writeCsv(const QList<Contact>& contacts);

// The records the program shows (1 up to `count`) of a book's bytes, in
// the formats, straight from the stored bytes: the same bytes as
// writeVCard() and writeCsv() of shownContacts(book, count), without a
// string per field.
QByteArray exportVCard(const QByteArray& book, int count, VCardVersion version = VCardVersion::V30);
QByteArray exportCsv(const QByteArray& book, int count);

// The CSV column names read for each field, in record order (the first of
// each is the one written).
const std::array<QStringList, kFieldCount>& csvHeaders();

} // namespace pb::exchange
