#include "records/BookRepair.h"

#include "records/BookCheck.h"
#include "records/FileIo.h"
#include "records/Phonebook.h"
#include "records/RecordNumber.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

namespace pb {

namespace {
constexpr qint64 kSize = static_cast<qint64>(kRecordSize);
}

QString backupName(const QDateTime& when)
{
    return QString::fromLatin1(kPhonebookFileName) + u'.' + when.toString(QStringLiteral("yyyy-MM-ddTHHmmss")) +
           QStringLiteral(".bak");
}

bool repairBook(Phonebook& book, const QString& backupPath, RepairResult* result, QString* error)
{
    QByteArray bytes;
    if (!readBook(book, &bytes, error))
        return false;
    const BookCheck check = checkBook(bytes);
    *result = {};
    result->records = check.count;
    if (check.freeSlots.isEmpty() && check.uncounted.isEmpty() && check.strayBytes == 0)
        return true;

    // Records past the last number a book can have are never shown: closing
    // the holes could not make room for them.
    const qint64 length = book.phonebookFile().length();
    if (length > static_cast<qint64>(kMaxRecord) * kSize) {
        *error = QStringLiteral("The file holds %1 bytes past record %2, the last a book can have. It cannot be "
                                "repaired here; nothing was changed.")
                     .arg(length - static_cast<qint64>(kMaxRecord) * kSize)
                     .arg(kMaxRecord);
        return false;
    }
    // The copy first, of the whole file, on the disk, never over an existing file.
    if (QFileInfo::exists(backupPath)) {
        *error = QStringLiteral("%1 already exists.").arg(backupPath);
        return false;
    }
    QString why = QStringLiteral("the book changed while it was read");
    if (bytes.size() != length || !io::writeWholeFile(backupPath, bytes, &why)) {
        *error = QStringLiteral("The backup copy %1 could not be written: %2").arg(backupPath, why);
        return false;
    }
    result->backup = backupPath;

    // The records in their order, without the free slots between them; a
    // last record cut short is completed when it holds a record's start,
    // else its bytes go.
    result->strayBytes = check.strayBytes;
    result->completed = check.strayBytes > 0 && bytes[bytes.size() - check.strayBytes] != '\0';
    const qint64 total = (bytes.size() + kSize - 1) / kSize;
    bytes.resize(total * kSize, '\0');
    QByteArray kept;
    kept.reserve(bytes.size());
    for (qint64 i = 0; i < total; ++i)
        if (bytes[i * kSize] != '\0')
            kept.append(bytes.constData() + i * kSize, kSize);
    const int records = static_cast<int>(kept.size() / kSize);
    const int last = static_cast<int>(std::max<qint64>(total, (book.phonebookFile().length() + kSize - 1) / kSize));
    Phonebook::Change change(book, 1, std::min(last, kMaxRecord));
    if (!change.ok() || !book.writeRecords(1, records, kept.constData()) ||
        !book.truncateBook(static_cast<qint64>(records) * kSize) || !change.commit()) {
        *error = book.phonebookError();
        return false;
    }
    result->changed = true;
    result->records = records;
    return true;
}

QString describeStrayBytes(const RepairResult& result)
{
    if (result.strayBytes == 0)
        return {};
    const QString bytes = result.strayBytes == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(result.strayBytes);
    return result.completed ? QStringLiteral("The last record, cut short after %1, was completed with empty bytes.").arg(bytes)
                            : QStringLiteral("%1 after the last whole record, holding no record, were dropped.").arg(bytes);
}

} // namespace pb
