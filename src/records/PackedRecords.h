#pragma once

// Whole records kept without the spaces that pad their fields: a file's
// worth of new records takes about what their text takes, not 440 bytes
// each, until they are written into the book.

#include "records/ContactRecord.h"

#include <QByteArray>

#include <cstdint>
#include <string_view>
#include <vector>

namespace pb {

class PackedRecords
{
public:
    // Room for `records` records holding about `text` bytes of fields.
    void reserve(qsizetype records, qsizetype text);
    void clear();
    // A whole record of kRecordSize bytes.
    void append(const char* record);
    // A record whose field f is the first used[f] bytes at its place in
    // `record` (what follows them does not count).
    void append(const char* record, const std::uint8_t* used);
    void truncate(qsizetype count);
    qsizetype size() const { return static_cast<qsizetype>(at_.size()); }
    bool isEmpty() const { return at_.empty(); }
    // Record i, whole, into the kRecordSize bytes at `record`.
    void copyTo(qsizetype i, char* record) const;
    ContactRecord at(qsizetype i) const;
    // Field f of record i without the spaces that pad it.
    std::string_view field(qsizetype i, Field f) const;
    // The bytes the records take in memory.
    qsizetype packedSize() const { return bytes_.size(); }
    // Each record is its fields' lengths and then their bytes, so the same
    // bytes are the same records.
    bool operator==(const PackedRecords& o) const { return bytes_ == o.bytes_; }

private:
    QByteArray bytes_;                 // per record: seven lengths, then the fields without padding
    std::vector<std::uint32_t> at_;    // where each record begins in bytes_
    qsizetype ready_ = 0;              // bytes_'s room made resident ahead of the records
};

} // namespace pb
