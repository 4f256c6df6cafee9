#pragma once

// A file of contacts read a piece at a time, so that it is never held
// whole, with every line longer than any value could use cut as it is read.

#include "exchange/Contact.h"
#include "exchange/TextDecoding.h"
#include "platform/BigBuffer.h"

#include <QFile>

#include <cstring>
#include <string_view>
#include <vector>

namespace pb::exchange::detail {

// A line longer than any value a record or a report could use is cut as
// it is read: its beginning is kept, the rest up to its end is not held at
// all, so that one huge line cannot take the memory; each cut is told.
struct LineCut {
    qint64 line;      // from 1
    qint64 dropped;   // bytes left out
};

class LineCap
{
public:
    static constexpr qsizetype kLongest = 1 << 20;   // 1 MiB: a large photo's line, unfolded

    // Cuts the lines of data[from, to) in place, carrying on from the bytes
    // before; returns the new end.
    qsizetype cut(char* data, qsizetype from, qsizetype to);
    // The cuts so far, the last line's too once the text has ended.
    std::vector<LineCut> cuts();

private:
    void finishLine();

    qsizetype length_ = 0;   // of the line being read, as kept
    qint64 line_ = 1;
    bool dropping_ = false;
    qint64 dropped_ = 0;
    std::vector<LineCut> cuts_;
};

// What the report says of the lines cut.
void reportCuts(const std::vector<LineCut>& cuts, ReadReport* report);

// Hands the file's bytes from where it stands to `read(text, at, last)` a
// piece at a time: `text` begins `at` bytes in and `last` says it reaches
// the end. `read` returns how much of the text it took (all of the last),
// or -1 to stop; what it leaves comes again at the front of the next piece,
// which grows when nothing was taken. False, with the reason in `error`, on
// a read error.
template <typename Read>
bool forEachPiece(QFile& in, qsizetype piece, QString* error, const Read& read, std::vector<LineCut>* cuts = nullptr)
{
    QByteArray buffer = memory::uninitialized(piece);
    qsizetype held = 0;      // bytes in the buffer, not yet taken
    qint64 at = 0;           // where the buffer's first byte is in the text
    LineCap cap;
    for (bool atEnd = false; !atEnd;) {
        if (held == buffer.size())
            buffer.resize(buffer.size() * 2);   // nothing taken from a whole piece
        const qint64 got = in.read(buffer.data() + held, buffer.size() - held);
        if (got < 0) {
            *error = in.errorString();
            return false;
        }
        atEnd = got == 0;
        held = cap.cut(buffer.data(), held, held + static_cast<qsizetype>(got));
        const qsizetype took = read(std::string_view(buffer.constData(), static_cast<std::size_t>(held)), at, atEnd);
        if (took < 0)
            break;
        std::memmove(buffer.data(), buffer.constData() + took, static_cast<std::size_t>(held - took));
        held -= took;
        at += took;
    }
    if (cuts)
        *cuts = cap.cuts();
    return true;
}

// A file in UTF-16 (it begins with the mark) is read whole, as UTF-8, by
// `readBytes` into `out`; false when it is no such file.
template <typename ReadBytes>
bool readUtf16File(QFile& in, QString* error, QList<Contact>* out, ReadBytes readBytes)
{
    if (!utf16Kind(in.peek(kUtf16Probe)).utf16)
        return false;
    const QByteArray all = memory::readAll(in);
    if (in.error() != QFileDevice::NoError)
        *error = in.errorString();
    else
        *out = readBytes(all);
    return true;
}

} // namespace pb::exchange::detail
