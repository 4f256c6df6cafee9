#pragma once

// Records written straight from a file's bytes, for the contacts the book
// stores whole and without a word: no string per field on the way.

#include "exchange/Exchange.h"
#include "platform/BigBuffer.h"
#include "records/ContactRecord.h"
#include "records/RecordNumber.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace pb::exchange::detail {

// A field's text on its way into a record, in UTF-8: room for any value a
// field could hold (three bytes a character, and some), so that a longer
// one is known to be too long without counting characters.
class Text
{
public:
    static constexpr std::size_t kRoom = 512;
    void clear() { n_ = 0; }
    bool empty() const { return n_ == 0; }
    std::size_t size() const { return n_; }
    const char* data() const { return buf_.data(); }
    std::string_view view() const { return {buf_.data(), n_}; }
    char back() const { return buf_[n_ - 1]; }
    void shrink(std::size_t by) { n_ -= by; }
    // False once the text no longer fits its room.
    bool put(char c)
    {
        if (n_ == kRoom)
            return false;
        buf_[n_++] = c;
        return true;
    }
    bool put(std::string_view s)
    {
        if (s.size() > kRoom - n_)
            return false;
        std::memcpy(buf_.data() + n_, s.data(), s.size());
        n_ += s.size();
        return true;
    }

private:
    std::array<char, kRoom> buf_;
    std::size_t n_ = 0;
};

// A record on its way into PackedRecords: each field's bytes at its place,
// as many as `used` says, without the padding (which packing drops).
struct RecordDraft {
    std::array<char, kRecordSize> bytes;
    std::array<std::uint8_t, kFieldCount> used;
};

// Writes the UTF-8 text into the field of `r` in the code page's bytes
// when the import stores it without a word: valid UTF-8 (no byte-order
// mark in front), every character one the page holds, no control character
// but CR, LF and tab, and no more than the field's width. False otherwise,
// and the card goes the way that reports.
bool quietlyInto(RecordDraft& r, Field f, std::string_view utf8);

// The records read straight from a file, each written whole and then kept
// without its padding.
class RecordRoom
{
public:
    // Room for every contact the book could take from a file of `size`
    // bytes whose contacts take at least `smallest` bytes each: growing it
    // later would hold two copies at once.
    RecordRoom(QuickRecords* quick, qint64 size, qint64 smallest) : quick_(quick)
    {
        quick->records.clear();
        quick->record.clear();
        const qint64 most = std::min<qint64>(size / smallest + 16, kMaxRecord + 16);
        // A record's fields take no more than the file's text of them.
        quick->records.reserve(static_cast<qsizetype>(most), static_cast<qsizetype>(size));
        quick->record.reserve(static_cast<std::size_t>(most));
        memory::populate(quick->record.data(), quick->record.capacity() * sizeof(int));
    }

    // Room for one more record, kept only when keep() is called next.
    RecordDraft& next() { return record_; }
    // The record is the next contact's.
    void keep()
    {
        quick_->records.append(record_.bytes.data(), record_.used.data());
        quick_->record.push_back(static_cast<int>(quick_->records.size()) - 1);
    }
    // The same for a record written whole, padding and all.
    void keepWhole()
    {
        quick_->records.append(record_.bytes.data());
        quick_->record.push_back(static_cast<int>(quick_->records.size()) - 1);
    }
    // The next contact is contact `n` of the list, read the usual way.
    void listed(qsizetype n) { quick_->record.push_back(-static_cast<int>(n) - 1); }

private:
    QuickRecords* quick_;
    RecordDraft record_;
};

} // namespace pb::exchange::detail
