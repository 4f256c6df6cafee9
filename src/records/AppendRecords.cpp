#include "records/AppendRecords.h"

#include "records/Phonebook.h"
#include "records/RecordNumber.h"

#include <algorithm>
#include <vector>

namespace pb {

namespace {
constexpr qint64 kSize = static_cast<qint64>(kRecordSize);
}

bool appendRecords(Phonebook& book, int after, const PackedRecords& records, QString* error)
{
    if (records.isEmpty())
        return true;
    const int count = static_cast<int>(records.size());
    if (after < 0 || after + count > kMaxRecord) {
        *error = QStringLiteral("The book holds at most %1 records.").arg(kMaxRecord);
        return false;
    }
    Phonebook::Change change(book, after + 1, after + count);
    if (!change.ok()) {
        *error = book.phonebookError();
        return false;
    }
    // The book is read again here, not trusted from the report: another
    // program may have added records while the user read it. Only what the
    // file holds past record `after` can be in the way.
    const qint64 length = book.phonebookFile().length();
    if (length < 0) {
        *error = book.phonebookFile().errorString();
        return false;
    }
    const int held = static_cast<int>(std::clamp<qint64>((length + kSize - 1) / kSize - after, 0, count));
    std::vector<char> now(static_cast<std::size_t>(held) * kRecordSize);
    if (held > 0 && !book.phonebookFile().readRange(after + 1, held, now.data())) {
        *error = book.phonebookFile().errorString();
        return false;
    }
    for (int i = 0; i < held; ++i)
        if (now[static_cast<std::size_t>(i) * kRecordSize] != '\0') {
            *error = QStringLiteral("The book was changed by another program after the report: record %1 is no longer "
                                    "free. Import again to see the report for the book as it is now.")
                         .arg(after + 1 + i);
            return false;
        }
    // The records are made from the packed list whenever the change needs
    // them (for the journal's hashes, for the write): the file's worth is
    // never held padded.
    if (!book.writeMadeRecords(after + 1, count, [&records](qint64 i, char* out) { records.copyTo(i, out); })) {
        *error = book.phonebookError();
        return false;
    }
    if (!change.commit()) {
        *error = book.phonebookError();
        return false;
    }
    return true;
}

} // namespace pb
