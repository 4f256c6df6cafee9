#include "records/BookCheck.h"

#include "platform/BigBuffer.h"
#include "platform/Codepage.h"
#include "records/Phonebook.h"
#include "records/RecordNumber.h"

#include <algorithm>

namespace pb {

namespace {
constexpr qint64 kSize = static_cast<qint64>(kRecordSize);
}

BookCheck checkBook(const QByteArray& bytes)
{
    BookCheck check;
    // A last record cut short reads, as the program reads it, completed with
    // zero bytes.
    const qsizetype size = static_cast<qsizetype>(kRecordSize);
    const qsizetype records = (bytes.size() + size - 1) / size;
    check.strayBytes = bytes.size() % size;
    check.pastLast = std::max<qint64>(0, records - kMaxRecord);
    int lastRecord = 0;   // the last record that is not a free slot
    bool counting = true;
    for (qsizetype i = 0; i < records; ++i) {
        ContactRecord r;
        std::copy_n(bytes.constData() + i * size, std::min(size, bytes.size() - i * size), r.bytes.begin());
        const int n = static_cast<int>(i + 1);
        if (r.isFree()) {
            counting = false;
            continue;
        }
        if (counting)
            check.count = n;
        else
            check.uncounted << n;
        lastRecord = n;
        for (Field f : kAllFields) {
            const std::string_view raw = r.raw(f);
            if (raw.find('\0') == std::string_view::npos && raw.find("  ") == std::string_view::npos)
                check.noEnd << qMakePair(n, f);
            if (std::any_of(raw.begin(), raw.end(), [](char c) { return !codepage::defines(static_cast<unsigned char>(c)); }))
                check.undefined << qMakePair(n, f);
        }
    }
    for (int n = check.count + 1; n < lastRecord; ++n)
        if (!check.uncounted.contains(n))
            check.freeSlots << n;
    return check;
}

QString describe(const BookCheck& c)
{
    const auto places = [](const QList<QPair<int, Field>>& list) {
        QStringList out;
        for (const auto& [n, f] : list)
            out << QStringLiteral("record %1 %2").arg(n).arg(fieldName(f));
        return out.join(QStringLiteral(", "));
    };
    const auto numbers = [](const QList<int>& list) {
        QStringList out;
        for (int n : list)
            out << QString::number(n);
        return out.join(QStringLiteral(", "));
    };
    QStringList lines;
    lines << (c.count == 1 ? QStringLiteral("The program counts 1 record.") : QStringLiteral("The program counts %1 records.").arg(c.count));
    if (c.strayBytes)
        lines << QStringLiteral("The file ends in %1 bytes that are no whole record (read as one completed with zero bytes).").arg(c.strayBytes);
    if (!c.freeSlots.isEmpty())
        lines << QStringLiteral("Free slots inside the book: %1.").arg(numbers(c.freeSlots));
    if (!c.uncounted.isEmpty())
        lines << QStringLiteral("Records after a free slot, never shown: %1.").arg(numbers(c.uncounted));
    if (!c.noEnd.isEmpty())
        lines << QStringLiteral("Note (no fault): fields filled to their full width, shown whole: %1.").arg(places(c.noEnd));
    if (!c.undefined.isEmpty())
        lines << QStringLiteral("Fields with bytes the code page does not define: %1.").arg(places(c.undefined));
    if (c.pastLast)
        lines << QStringLiteral("The file holds %1 past record %2, the last a book can have: the program never shows %3.")
                     .arg(c.pastLast == 1 ? QStringLiteral("1 record") : QStringLiteral("%1 records").arg(c.pastLast))
                     .arg(kMaxRecord)
                     .arg(c.pastLast == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    if (c.clean())
        lines << QStringLiteral("Nothing else to report.");
    return lines.join(u'\n');
}

bool readBook(Phonebook& book, QByteArray* bytes, QString* error)
{
    RecordFile& file = book.phonebookFile();
    const qint64 length = file.length();
    if (length < 0) {
        *error = book.phonebookError();
        return false;
    }
    // Records past the last number never count; a last one cut short is read
    // as the program reads it, completed with zero bytes.
    const qint64 records = std::min<qint64>((length + kSize - 1) / kSize, kMaxRecord);
    const qint64 kept = std::min(length, records * kSize);
    *bytes = memory::uninitialized(records * kSize);
    if (records > 0 && !file.readRange(1, static_cast<int>(records), bytes->data())) {
        *error = file.errorString();
        return false;
    }
    bytes->truncate(kept);
    return true;
}

BookCheck checkOpenBook(Phonebook& book, const QByteArray& bytes)
{
    BookCheck check = checkBook(bytes);
    const qint64 length = book.phonebookOpen() ? book.phonebookFile().length() : 0;
    check.pastLast = std::max<qint64>(check.pastLast, (std::max<qint64>(length, 0) + kSize - 1) / kSize - kMaxRecord);
    return check;
}

} // namespace pb
