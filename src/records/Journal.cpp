#include "records/Journal.h"

#include "records/FileIo.h"
#include "records/RecordFile.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace pb {

namespace {

constexpr char kMagic[8] = {'z', '8', 'P', 'J', 'R', 'N', 'L', '1'};
constexpr qsizetype kHeader = 32;   // magic, length, offset, byte count, record size, spare
constexpr qsizetype kTrailer = 8;   // checksum

// FNV-1a over 8-byte words in four lanes (and the last bytes one by one):
// enough to tell a whole journal from one cut short, at memory speed.
quint64 checksum(const char* data, qsizetype n)
{
    constexpr quint64 kPrime = 1099511628211ULL;
    quint64 lane[4] = {1469598103934665603ULL, 0x9E3779B97F4A7C15ULL, 0xC2B2AE3D27D4EB4FULL, 0x165667B19E3779F9ULL};
    qsizetype i = 0;
    for (; i + 32 <= n; i += 32) {
        for (int k = 0; k < 4; ++k) {
            quint64 w;
            std::memcpy(&w, data + i + 8 * k, 8);
            lane[k] = (lane[k] ^ w) * kPrime;
        }
    }
    quint64 h = lane[0] ^ (lane[1] * 31) ^ (lane[2] * 131) ^ (lane[3] * 1313) ^ static_cast<quint64>(n);
    for (; i < n; ++i)
        h = (h ^ static_cast<unsigned char>(data[i])) * kPrime;
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
    const int records = static_cast<int>((n + size - 1) / size);

    // One buffer: the header, the records read straight into place (a short
    // last one ends at the file's end), the checksum after the saved bytes.
    block_.assign(static_cast<std::size_t>(kHeader + records * size + kTrailer), '\0');
    char* h = block_.data();
    if (records > 0 && !file_.readRange(first, records, h + kHeader)) {
        *error = file_.errorString();
        release();
        return false;
    }
    std::copy(std::begin(kMagic), std::end(kMagic), h);
    qToLittleEndian<qint64>(length_, h + 8);
    qToLittleEndian<qint64>(offset_, h + 16);
    qToLittleEndian<quint32>(static_cast<quint32>(n), h + 24);
    qToLittleEndian<quint32>(static_cast<quint32>(size), h + 28);
    qToLittleEndian<quint64>(checksum(h, kHeader + n), h + kHeader + n);
    savedBytes_ = n;

    const QString path = pathFor(file_.fileName());
    QFile j(path);
    if (!j.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        *error = j.errorString();
        release();
        return false;
    }
    if (!io::writeAt(j, 0, h, kHeader + n + kTrailer, error) || !io::sync(j, error)) {
        j.close();
        j.remove();
        release();
        return false;
    }
    j.close();
    io::syncFolder(folderOf(path));
    active_ = true;
    return true;
}

void Journal::release()
{
    // The saved copy of a large change is not kept once it is over.
    std::vector<char>().swap(block_);
    savedBytes_ = 0;
}

const char* Journal::savedRecords(int first, int count) const
{
    if (!active_)
        return nullptr;
    const qint64 size = static_cast<qint64>(file_.recordSize());
    const qint64 from = (first - 1) * size - offset_;
    if (from < 0 || from + count * size > savedBytes_)
        return nullptr;
    return block_.data() + kHeader + from;
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
    release();
    return true;
}

bool Journal::rollback(QString* error)
{
    if (!active_)
        return true;
    if (!playBack(file_, length_, offset_, block_.data() + kHeader, savedBytes_, error))
        return false;
    active_ = false;
    release();
    return removeJournal(pathFor(file_.fileName()), error);
}

bool Journal::playBack(RecordFile& file, qint64 length, qint64 offset, const char* bytes, qint64 n, QString* error)
{
    const qint64 size = static_cast<qint64>(file.recordSize());
    // Whole records go back through the file's own writes; a torn tail is
    // written with the record that holds it, then cut to the old length.
    const int first = static_cast<int>(offset / size) + 1;
    const int records = static_cast<int>((n + size - 1) / size);
    bool ok = true;
    if (records > 0) {
        if (n % size == 0) {
            ok = file.writeRange(first, records, bytes);
        } else {
            std::vector<char> whole(static_cast<std::size_t>(records * size), '\0');
            std::copy_n(bytes, n, whole.data());
            ok = file.writeRange(first, records, whole.data());
        }
    }
    if (!ok || !file.truncate(length) || !file.sync()) {
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
        if (!playBack(file, length, offset, block.constData() + kHeader, n, error))
            return false;
        *playedBack = true;
    }
    // A journal that is not whole was cut short before the file was touched.
    return removeJournal(path, error);
}

} // namespace pb
