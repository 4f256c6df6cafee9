#pragma once

// Contacts from a file into the book, and the book's holes closed: what will
// happen is worked out and reported first, then done in one journaled step.

#include "exchange/Exchange.h"

#include <QDateTime>
#include <QHash>

namespace pb {
class Phonebook;
}

namespace pb::exchange {

// The contacts of a vCard or CSV file: CSV for a ".csv" name, vCard for
// ".vcf" or ".vcard", otherwise by what the bytes hold.
QList<Contact> readContacts(const QByteArray& data, const QString& fileName, ReadReport* report);

// What an import would do to the book. Contacts are numbered from 1 in the
// file's order (skipped ones included).
struct ImportPlan {
    struct Cut {
        int contact;
        Field field;
        int lost;              // characters past the field's width
        QString lostText;      // what they say
        bool operator==(const Cut&) const = default;
    };
    // A value the record has no room for (an extra or the note in Comments).
    struct LeftOut {
        int contact;
        QString value;         // in its short form: "cell +1 555 0100"
        bool partly;           // its beginning is stored, the rest not
        bool operator==(const LeftOut&) const = default;
    };
    // Properties that have no place in a record at all.
    struct NotKept {
        int contact;
        QStringList names;
        bool operator==(const NotKept&) const = default;
    };
    struct Unmapped {
        int contact;
        Field field;
        QString characters;    // stored as '?'
        bool operator==(const Unmapped&) const = default;
    };
    struct Duplicate {
        int contact;
        int record;            // the book's record it looks like, or 0 ...
        int earlierContact;    // ... an earlier contact of the same file
        bool sameEmail;        // else the same first and last name
        bool operator==(const Duplicate&) const = default;
    };

    int bookCount = 0;         // the records the book shows now
    PackedRecords records;     // the records to add after record bookCount
    QList<int> contacts;       // the contact each of them comes from
    QHash<int, QString> names; // how the report names the contacts it mentions
    QList<Cut> cuts;
    QList<LeftOut> leftOut;
    QList<NotKept> notKept;
    QList<Unmapped> unmapped;
    QList<Duplicate> duplicates;
    QStringList skipped;
    int photosSkipped = 0;
    QString blocked;           // why nothing may be added, when something stands in the way

    int count() const { return static_cast<int>(contacts.size()); }
    ContactRecord record(int i) const;
    // The records to add, without the likely duplicates when asked.
    PackedRecords recordsToAdd(bool skipDuplicates) const;
    int duplicateCount() const;
    // The contacts the book cannot hold whole (cut, left out, not kept).
    QList<int> incompleteContacts() const;
};

// `book` is the book file's bytes as they are now.
ImportPlan planImport(const QList<Contact>& contacts, const ReadReport& read, const QByteArray& book);
// The same with the records of the contacts read straight into them.
ImportPlan planImport(const QList<Contact>& contacts, const ReadReport& read, const QByteArray& book, const QuickRecords* quick);
// A file of contacts read and its import planned in one go: the plan
// planImport(readContacts(...)) makes, without a contact of strings for
// the cards a record holds whole; `leftOut` receives what leftOutCards()
// gives for it.
ImportPlan planFileImport(const QByteArray& data, const QString& fileName, ReadReport* read, const QByteArray& book,
                          QByteArray* leftOut);
// The same from an open file, which is read a piece at a time (a file of
// cards is never held whole). False, with the reason in `error`, when the
// file could not be read.
bool planFileImport(QFile& file, ReadReport* read, const QByteArray& book, ImportPlan* plan, QByteArray* leftOut, QString* error);
// One paragraph for the question, and the details line by line.
// With `skipDuplicates`, what it tells is what an import that leaves the
// likely duplicates out will add.
QString summary(const ImportPlan& plan, const QString& fileName, bool skipDuplicates = false);
QString details(const ImportPlan& plan);

// The cards of the contacts the book cannot hold whole, as the file held
// them: written beside the book so that nothing is lost.
QByteArray leftOutCards(const QList<Contact>& contacts, const ImportPlan& plan);
// "contacts.vcf" -> "contacts-left-out.vcf".
QString leftOutFileName(const QString& source);

} // namespace pb::exchange
