#pragma once

#include "records/ContactRecord.h"

#include <QFile>
#include <QString>

#include <cstddef>
#include <vector>

namespace pb {

// A file of fixed-size records numbered from 1 (up to 32767), opened for
// reading and writing (created empty when missing). Every access is one
// positioned read or write of a whole record; nothing is cached.
class RecordFile
{
public:
    explicit RecordFile(std::size_t recordSize = kRecordSize) : size_(recordSize), scratch_(recordSize) {}

    bool open(const QString& path);
    void close();
    bool isOpen() const { return file_.isOpen(); }

    // Past the end of the file a record reads as zero bytes (a free slot);
    // a short last record is completed with zero bytes. A failed read leaves
    // `into` as it was.
    bool readBytes(int number, char* into);
    // Writing past the end grows the file; records skipped over read as zero
    // bytes. A write that fails part-way leaves no piece of the record behind
    // at the end of the file.
    bool writeBytes(int number, const char* from);

    bool read(int number, ContactRecord& into) { return readBytes(number, into.bytes.data()); }
    bool write(int number, const ContactRecord& from) { return writeBytes(number, from.bytes.data()); }

    // Why the last failed call failed, in the system's words.
    QString errorString() const { return error_; }

private:
    bool checkAccess(int number);
    qint64 offsetOf(int number) const;

    std::size_t size_;
    std::vector<char> scratch_;
    QFile file_;
    QString error_;
    QString openError_;   // why the last open failed
};

} // namespace pb
