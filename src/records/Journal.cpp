#include "records/Journal.h"

#include "records/FileIo.h"
#include "records/RecordFile.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>

namespace pb {

namespace {

constexpr char kMagic[8] = {'z', '8', 'P', 'J', 'R', 'N', 'L', '1'};
constexpr qsizetype kHeader = 32;   // magic, length, offset, byte count, record size, spare
constexpr qsizetype kTrailer = 8;   // checksum

quint64 checksum(const char* data, qsizetype n)
{
    quint64 h = 1469598103934665603ULL;   // FNV-1a
    for (qsizetype i = 0; i < n; ++i) {
        h ^= static_cast<unsigned char>(data[i]);
        h *= 1099511628211ULL;
    }
    return h;
}

QString folderOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

bool removeJournal(const QString& path, QString* error)
{
    QFile j(path);
    if (!j.remove()) {
        *error = j.errorString();
        return false;
    }
    io::syncFolder(folderOf(path));
    return true;
}

} // namespace

QString Journal::pathFor(const QString& file)
{
    return file + QStringLiteral("-journal");
}

bool Journal::begin(int first, int last, QString* error)
{
    const qint64 size = static_cast<qint64>(file_.recordSize());
    length_ = file_.length();
    if (length_ < 0) {
        *error = file_.errorString();
        return false;
    }
    offset_ = (first - 1) * size;
    const qint64 end = std::min<qint64>(static_cast<qint64>(last) * size, length_);
    const qint64 n = std::max<qint64>(end - offset_, 0);
    saved_.resize(n);
    QByteArray block(kHeader + n + kTrailer, '\0');
    char* h = block.data();
    std::copy(std::begin(kMagic), std::end(kMagic), h);
    qToLittleEndian<qint64>(length_, h + 8);
    qToLittleEndian<qint64>(offset_, h + 16);
    qToLittleEndian<quint32>(static_cast<quint32>(n), h + 24);
    qToLittleEndian<quint32>(static_cast<quint32>(size), h + 28);
    if (n > 0) {
        // Whole records from the file; a short last one ends at the file's end.
        const int records = static_cast<int>((n + size - 1) / size);
        QByteArray whole(records * size, '\0');
        if (!file_.readRange(first, records, whole.data())) {
            *error = file_.errorString();
            return false;
        }
        std::copy_n(whole.constData(), n, saved_.data());
        std::copy_n(whole.constData(), n, h + kHeader);
    }
    qToLittleEndian<quint64>(checksum(h, kHeader + n), h + kHeader + n);

    const QString path = pathFor(file_.fileName());
    QFile j(path);
    if (!j.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        *error = j.errorString();
        return false;
    }
    if (!io::writeAt(j, 0, block.constData(), block.size(), error) || !io::sync(j, error)) {
        j.close();
        j.remove();
        return false;
    }
    j.close();
    io::syncFolder(folderOf(path));
    active_ = true;
    return true;
}

bool Journal::commit(QString* error)
{
    if (!active_)
        return true;
    if (!file_.sync()) {
        *error = file_.errorString();
        QString ignored;
        rollback(&ignored);
        return false;
    }
    if (!removeJournal(pathFor(file_.fileName()), error)) {
        // A journal that stays would undo the change at the next start: undo
        // it now, so that what the user is told is what the book holds.
        QString ignored;
        rollback(&ignored);
        return false;
    }
    active_ = false;
    saved_.clear();
    return true;
}

bool Journal::rollback(QString* error)
{
    if (!active_)
        return true;
    if (!playBack(file_, length_, offset_, saved_, error))
        return false;
    active_ = false;
    saved_.clear();
    return removeJournal(pathFor(file_.fileName()), error);
}

bool Journal::playBack(RecordFile& file, qint64 length, qint64 offset, const QByteArray& bytes, QString* error)
{
    const qint64 size = static_cast<qint64>(file.recordSize());
    // Whole records go back through the file's own writes; a torn tail is
    // written with the record that holds it, then cut to the old length.
    const int first = static_cast<int>(offset / size) + 1;
    const int records = static_cast<int>((bytes.size() + size - 1) / size);
    QByteArray whole(records * size, '\0');
    std::copy(bytes.begin(), bytes.end(), whole.begin());
    if ((records > 0 && !file.writeRange(first, records, whole.constData())) || !file.truncate(length) ||
        !file.sync()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool Journal::recover(RecordFile& file, bool* playedBack, QString* error)
{
    *playedBack = false;
    const QString path = pathFor(file.fileName());
    QFile j(path);
    if (!j.exists())
        return true;
    if (!j.open(QIODevice::ReadOnly)) {
        *error = j.errorString();
        return false;
    }
    const QByteArray block = j.readAll();
    if (j.error() != QFileDevice::NoError) {
        *error = j.errorString();
        return false;
    }
    j.close();
    const char* h = block.constData();
    bool whole = block.size() >= kHeader + kTrailer && std::equal(std::begin(kMagic), std::end(kMagic), h);
    qint64 length = 0, offset = 0, n = 0;
    if (whole) {
        length = qFromLittleEndian<qint64>(h + 8);
        offset = qFromLittleEndian<qint64>(h + 16);
        n = qFromLittleEndian<quint32>(h + 24);
        const qint64 size = qFromLittleEndian<quint32>(h + 28);
        whole = size == static_cast<qint64>(file.recordSize()) && length >= 0 && offset >= 0 && offset % size == 0 &&
                block.size() == kHeader + n + kTrailer &&
                qFromLittleEndian<quint64>(h + kHeader + n) == checksum(h, kHeader + n);
    }
    if (whole) {
        if (!playBack(file, length, offset, block.mid(kHeader, n), error))
            return false;
        *playedBack = true;
    }
    // A journal that is not whole was cut short before the file was touched.
    return removeJournal(path, error);
}

} // namespace pb
