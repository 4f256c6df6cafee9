#include "records/Journal.h"

#include "records/FileIo.h"
#include "records/RecordFile.h"
#include "records/RecordNumber.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace pb {

namespace {

// Version 2 names the book it belongs to; version 1 (earlier builds) does not.
constexpr char kMagic[8] = {'z', '8', 'P', 'J', 'R', 'N', 'L', '2'};
constexpr char kMagicV1[8] = {'z', '8', 'P', 'J', 'R', 'N', 'L', '1'};
constexpr qsizetype kHeaderV1 = 32;   // magic, length, offset, byte count, record size, spare
constexpr qsizetype kHeader = 64;     // the same, then the book's device, inode and the end of the reserved records
constexpr qsizetype kTrailer = 8;     // checksum

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
    QString why;
    if (!io::remove(path, &why)) {
        *error = QStringLiteral("The journal %1 could not be removed: %2").arg(QFileInfo(path).fileName(), why);
        return false;
    }
    if (!io::syncFolder(folderOf(path), &why)) {
        *error = QStringLiteral("The folder %1 could not be flushed to the disk: %2").arg(folderOf(path), why);
        return false;
    }
    return true;
}

// A file named like the journal that must not be played back is kept under
// another name, never deleted: it may be all that is left of something.
bool setAside(const QString& path, const QString& why, QString* notice)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd'T'HHmmss"));
    QString target = path + QStringLiteral(".refused-") + stamp;
    for (int i = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++i)
        target = path + QStringLiteral(".refused-%1-%2").arg(stamp).arg(i);
    const bool moved = QDir().rename(path, target);
    *notice = QStringLiteral("The file %1 beside the book was not played back: %2.").arg(QFileInfo(path).fileName(), why);
    if (moved) {
        io::syncFolder(folderOf(path));
        *notice += QStringLiteral(" It is kept as %1.").arg(QFileInfo(target).fileName());
    } else {
        *notice += QStringLiteral(" It could not be moved aside, so nothing is written to the book until it is dealt with.");
    }
    return moved;
}

qint64 maxBookBytes(qint64 recordSize)
{
    return static_cast<qint64>(kMaxRecord) * recordSize;
}

} // namespace

qint64 Journal::maxSize(qint64 recordSize)
{
    return kHeader + maxBookBytes(recordSize) + kTrailer;
}

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
    const QString path = pathFor(file_.fileName());
    const QString name = QFileInfo(path).fileName();
    if (const QFileInfo there(path); (there.exists() || there.isSymLink()) && !there.isFile()) {
        *error = QStringLiteral("%1 beside the book is not a regular file; the book cannot be changed until it is "
                                "moved away.")
                     .arg(name);
        return false;
    }

    // One buffer: the header, the records read straight into place (a short
    // last one ends at the file's end), the checksum after the saved bytes.
    block_.assign(static_cast<std::size_t>(kHeader + records * size + kTrailer), '\0');
    char* h = block_.data();
    if (records > 0 && !file_.readRange(first, records, h + kHeader)) {
        *error = file_.errorString();
        release();
        return false;
    }
    const io::Identity book = file_.identity();
    std::copy(std::begin(kMagic), std::end(kMagic), h);
    qToLittleEndian<qint64>(length_, h + 8);
    qToLittleEndian<qint64>(offset_, h + 16);
    qToLittleEndian<quint32>(static_cast<quint32>(n), h + 24);
    qToLittleEndian<quint32>(static_cast<quint32>(size), h + 28);
    qToLittleEndian<qint64>(book.device, h + 32);
    qToLittleEndian<qint64>(book.inode, h + 40);
    qToLittleEndian<qint64>(static_cast<qint64>(last) * size, h + 48);
    qToLittleEndian<quint64>(checksum(h, kHeader + n), h + kHeader + n);
    savedBytes_ = n;

    QFile j(path);
    QString why;
    if (!io::openFile(j, QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered, &why)) {
        *error = QStringLiteral("The journal %1 could not be created in %2 (%3). Changes of the book need a folder "
                                "the program can write to.")
                     .arg(name, QDir::toNativeSeparators(folderOf(path)), why);
        release();
        return false;
    }
    if (!io::writeAt(j, 0, h, kHeader + n + kTrailer, &why) || !io::sync(j, &why)) {
        *error = QStringLiteral("The journal of this change (%1 KB) could not be written: %2. It needs that much free "
                                "space in the book's folder; nothing was changed.")
                     .arg((kHeader + n + kTrailer + 1023) / 1024)
                     .arg(why);
        j.close();
        QFile::remove(path);
        release();
        return false;
    }
    j.close();
    if (!io::syncFolder(folderOf(path), &why)) {
        *error = QStringLiteral("The folder %1 could not be flushed to the disk (%2); nothing was changed.")
                     .arg(QDir::toNativeSeparators(folderOf(path)), why);
        QFile::remove(path);
        release();
        return false;
    }
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
    const QString path = pathFor(file_.fileName());
    QString why;
    if (!io::remove(path, &why)) {
        // A journal that stays would undo the change at the next start: undo
        // it now, so that what the user is told is what the book holds.
        *error = QStringLiteral("The journal %1 could not be removed: %2").arg(QFileInfo(path).fileName(), why);
        QString ignored;
        rollback(&ignored);
        return false;
    }
    active_ = false;
    release();
    // The change is in the book and its journal gone; only a power cut
    // before the folder reaches the disk could bring the journal back.
    if (!io::syncFolder(folderOf(path), &why))
        warning_ = QStringLiteral("The change is saved, but the folder %1 could not be flushed to the disk (%2): if the "
                                  "power fails before the system writes it, the change may be undone.")
                       .arg(QDir::toNativeSeparators(folderOf(path)), why);
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
    // The book is as it was: a journal that reappeared after a power cut
    // would only put back the same bytes, so the folder's flush may fail.
    const QString path = pathFor(file_.fileName());
    QString why;
    if (!io::remove(path, &why)) {
        *error = QStringLiteral("The journal %1 could not be removed: %2").arg(QFileInfo(path).fileName(), why);
        return false;
    }
    io::syncFolder(folderOf(path));
    return true;
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

Journal::Recovery Journal::recover(RecordFile& file, bool mayPlayBack)
{
    Recovery r;
    const QString path = pathFor(file.fileName());
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return r;
    if (!mayPlayBack) {
        // A command that only reads touches nothing, not even to look inside.
        r.pending = true;
        return r;
    }
    const qint64 size = static_cast<qint64>(file.recordSize());
    const auto refuse = [&](const QString& why) {
        r.ok = setAside(path, why, &r.notice);
        if (!r.ok)
            r.error = r.notice;
        return r;
    };
    // Looked at before it is opened: a pipe would block, a huge file would
    // take the memory.
    if (info.isSymLink() || !info.isFile())
        return refuse(QStringLiteral("it is not a regular file"));
    if (info.size() > maxSize(size))
        return refuse(QStringLiteral("it is larger than any journal of this book can be"));
    QFile j(path);
    QString unreadable;
    if (!io::openRegular(j, QIODevice::ReadOnly, &unreadable))
        return refuse(QStringLiteral("it cannot be read (%1)").arg(unreadable));
    const QByteArray block = j.readAll();
    if (j.error() != QFileDevice::NoError)
        return refuse(QStringLiteral("it cannot be read (%1)").arg(j.errorString()));
    j.close();

    const char* h = block.constData();
    // Shorter than any header this program writes, and only the beginning
    // of one (or zeros, where the system had made room but not written):
    // a power cut right after a change began, before the book was touched.
    const auto startOfOurs = [&](const char* magic) {
        return std::equal(h, h + std::min<qsizetype>(block.size(), 8), magic);
    };
    if (block.size() < kHeaderV1 + kTrailer &&
        (std::all_of(block.begin(), block.end(), [](char c) { return c == '\0'; }) || startOfOurs(kMagic) ||
         startOfOurs(kMagicV1))) {
        if (!removeJournal(path, &r.error))
            r.ok = false;
        return r;
    }
    const bool v2 = block.size() >= 8 && std::equal(std::begin(kMagic), std::end(kMagic), h);
    const bool v1 = block.size() >= 8 && std::equal(std::begin(kMagicV1), std::end(kMagicV1), h);
    if (!v1 && !v2)
        return refuse(QStringLiteral("it is not a journal of this program"));
    const qsizetype header = v2 ? kHeader : kHeaderV1;
    if (block.size() < header + kTrailer) {
        // Cut short while its header was written: the book was not touched yet.
        if (!removeJournal(path, &r.error))
            r.ok = false;
        return r;
    }
    const qint64 length = qFromLittleEndian<qint64>(h + 8);
    const qint64 offset = qFromLittleEndian<qint64>(h + 16);
    const qint64 n = qFromLittleEndian<quint32>(h + 24);
    const qint64 recordSize = qFromLittleEndian<quint32>(h + 28);
    io::Identity owner;
    qint64 reservedEnd = -1;
    if (v2) {
        owner.device = qFromLittleEndian<qint64>(h + 32);
        owner.inode = qFromLittleEndian<qint64>(h + 40);
        reservedEnd = qFromLittleEndian<qint64>(h + 48);
    }
    // Lengths no change of this book can have are refused before anything
    // is read from the rest or written anywhere.
    const qint64 largest = maxBookBytes(size);
    if (recordSize != size || length < 0 || length > largest || offset < 0 || offset % size != 0 || offset > largest ||
        n > largest || offset + n > largest || (v2 && (reservedEnd < offset || reservedEnd > largest)))
        return refuse(QStringLiteral("its header does not describe a change of this book"));
    const bool whole = block.size() == header + n + kTrailer && qFromLittleEndian<quint64>(h + header + n) == checksum(h, header + n);
    if (!whole) {
        // Cut short while it was written: the book was not touched yet.
        if (!removeJournal(path, &r.error))
            r.ok = false;
        return r;
    }
    if (v2 && !owner.sameFile(file.identity()))
        return refuse(QStringLiteral("it belongs to another book (it was copied or restored from elsewhere)"));
    // The book can only differ from its state before the change by what the
    // change reserved: a book longer or shorter than that has been changed
    // since, and this journal is an older one.
    const qint64 now = file.length();
    const qint64 lowest = std::min(length, offset);
    const qint64 highest = v2 ? std::max(length, reservedEnd) : largest;
    if (now < lowest || now > highest)
        return refuse(QStringLiteral("the book has been changed since it was written (it is an older journal)"));
    if (!playBack(file, length, offset, block.constData() + header, n, &r.error)) {
        r.ok = false;
        return r;
    }
    r.playedBack = true;
    if (!removeJournal(path, &r.error))
        r.ok = false;
    return r;
}

} // namespace pb
