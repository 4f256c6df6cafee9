#pragma once

// Records and their bytes, for tests that need no window.

#include "records/ContactRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>

namespace pb {
class Phonebook;
}

namespace pb::test {

// A record given field by field, in record order; missing fields are empty.
ContactRecord makeRecord(std::initializer_list<QString> fields);
// A record whose first name only is set.
ContactRecord named(const QString& first);
// What the main window's seven boxes show for a stored record.
QStringList shownText(const ContactRecord& r);

// A record's bytes as a file holds them (a contact or a diary entry).
template <class Record>
QByteArray bytesOf(const Record& r)
{
    return QByteArray(r.bytes.data(), static_cast<qsizetype>(r.bytes.size()));
}
QByteArray bytesOf(const QList<ContactRecord>& records);
// A book of records with these first names only.
QByteArray bytesOfNames(const QStringList& names);
// A file's bytes, or none when it cannot be read.
QByteArray readAll(const QString& path);

// Makes a change of `book` (records first ... last) by `writes` and commits
// it as a program that dies while it writes the book would: the journal is
// on the disk, the book holds `bookBytes` bytes of the change's first write
// (-1: that write whole), and nothing after that reaches the disk. Returns
// the journal's bytes (none when the change could not even begin). The
// book is not to be changed again in this run.
QByteArray dieWhileWriting(Phonebook& book, int first, int last, const std::function<bool()>& writes,
                           qint64 bookBytes = -1);

// While alive, no file of this process can grow past `bytes`: writes there
// fail as on a full disk (also for root, unlike a read-only folder).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long long previous_;
};

} // namespace pb::test
