#pragma once

#include "records/ContactRecord.h"

#include <QFile>
#include <QString>

namespace pb {

// A file of fixed 440-byte records numbered from 1, opened for reading and
// writing (created empty when missing). Every access is one seek and one
// positioned read or write of a whole record; nothing is cached.
class RecordFile
{
public:
    bool open(const QString& path);
    void close();
    bool isOpen() const { return file_.isOpen(); }

    // Past the end of the file a record reads as zero bytes (a free slot);
    // a short last record is completed with zero bytes.
    bool read(int number, ContactRecord& into);
    // Writing past the end grows the file; records skipped over read as zero bytes.
    bool write(int number, const ContactRecord& from);

    // Why the last failed call failed, in the system's words.
    QString errorString() const { return error_; }

private:
    bool checkAccess(int number);

    QFile file_;
    QString error_;
};

} // namespace pb
