#pragma once

// Contacts in and out of the book in the formats address books exchange:
// vCard (2.1, 3.0 and 4.0 read; 3.0 or 4.0 written) and CSV. Plain C++ on
// Qt Core, no windows.

#include "records/PackedRecords.h"
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

// One contact as a format carries it, before it meets the record's widths:
// the seven fields in record order (line breaks as CR LF).
struct Contact {
    std::array<QString, kFieldCount> fields;
    // What goes into Comments: the values the record has no field for, each
    // in a short form ("cell +1 555 0100", "birthday 1980-04-22"), ahead of
    // the contact's own note. fields[Comments] is them joined by line breaks.
    QStringList extras;
    QString note;
    // Properties that are in neither a field nor the extras (by name).
    QStringList notKept;
    // The card as the file holds it (a vCard), or one made from the row (a
    // CSV): what the left-out file keeps of a contact the book cannot hold whole.
    QByteArray source;
    QString& operator[](Field f) { return fields[static_cast<std::size_t>(f)]; }
    const QString& operator[](Field f) const { return fields[static_cast<std::size_t>(f)]; }
    bool operator==(const Contact& o) const { return fields == o.fields; }
    // Comments from the extras and the note.
    void composeComments();
};

// What reading found besides contacts.
struct ReadReport {
    int photosSkipped = 0;
    QStringList skipped;   // what was left out, and why
    // The code page 8-bit text without a declared character set is read in
    // (the book's; 0: Windows-1252).
    int codePage = 0;
    // Told now and then how far reading has come (in bytes of the file's
    // text); returning false stops the reading, which then sets `cancelled`
    // and returns what it read so far.
    std::function<bool(qint64 done, qint64 total)> progress;
    bool cancelled = false;
};

// A stored record as a contact: each field's text as stored, without the
// spaces that pad it. Storing it back gives the same bytes.
Contact fromRecord(const ContactRecord& r);
ContactRecord toRecord(const Contact& c);

// The records the program counts (up to the first free slot) and those
// after it, never shown, in a book's bytes: what an export needs to know.
struct Extent {
    int count = 0;
    int hidden = 0;
};
Extent extentOf(const QByteArray& book);
// The records the program shows (1 up to the count) of a book's bytes.
QList<Contact> shownContacts(const QByteArray& book, int count);

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

// The bytes the code page stores for a contact's text. Control characters
// other than line breaks and tabs (which would end or hide the field) and
// characters the code page has no byte for become '?'; those are returned
// in `lost`.
void storable(std::string& bytes, const QString& text, QString* lost);
// Writes the contact's record at `record` when the book stores it whole
// and without a word in a report: every character as it is, every field
// within its width, no property without a place. False otherwise.
bool quietRecord(const Contact& c, char* record);

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

// Moved in memory as a block when a list grows.
Q_DECLARE_TYPEINFO(pb::exchange::Contact, Q_RELOCATABLE_TYPE);
