#pragma once

// Contacts in and out of the book in the formats address books exchange:
// vCard (2.1, 3.0 and 4.0 read; 3.0 or 4.0 written) and CSV. Plain C++ on
// Qt Core, no windows.

#include "records/ContactRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace pb::exchange {

// One contact as a format carries it, before it meets the record's widths:
// the seven fields in record order (line breaks as CR LF).
struct Contact {
    std::array<QString, kFieldCount> fields;
    QString& operator[](Field f) { return fields[static_cast<std::size_t>(f)]; }
    const QString& operator[](Field f) const { return fields[static_cast<std::size_t>(f)]; }
    bool operator==(const Contact&) const = default;
};

// What reading found besides contacts.
struct ReadReport {
    int photosSkipped = 0;
    QStringList skipped;   // what was left out, and why
};

// A stored record as a contact: each field's text as stored, without the
// spaces that pad it. Storing it back gives the same bytes.
Contact fromRecord(const ContactRecord& r);
ContactRecord toRecord(const Contact& c);

enum class VCardVersion { V30, V40 };
QList<Contact> readVCard(const QByteArray& data, ReadReport* report);
QByteArray writeVCard(const QList<Contact>& contacts, VCardVersion version = VCardVersion::V30);

QList<Contact> readCsv(const QByteArray& data, ReadReport* report);
QByteArray writeCsv(const QList<Contact>& contacts);

// The CSV column names read for each field, in record order (the first of
// each is the one written).
const std::array<QStringList, kFieldCount>& csvHeaders();

} // namespace pb::exchange
