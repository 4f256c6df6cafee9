#pragma once

// One contact as the formats carry it, and the contact as the book's record
// holds it: the mapping between the two, both ways.

#include "records/ContactRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <string>

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

// The bytes the code page stores for a contact's text. Control characters
// other than line breaks and tabs (which would end or hide the field) and
// characters the code page has no byte for become '?'; those are returned
// in `lost`.
void storable(std::string& bytes, const QString& text, QString* lost);
// Writes the contact's record at `record` when the book stores it whole
// and without a word in a report: every character as it is, every field
// within its width, no property without a place. False otherwise.
bool quietRecord(const Contact& c, char* record);

} // namespace pb::exchange

// Moved in memory as a block when a list grows.
Q_DECLARE_TYPEINFO(pb::exchange::Contact, Q_RELOCATABLE_TYPE);
