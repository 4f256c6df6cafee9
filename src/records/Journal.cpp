#include "records/Journal.h"

#include "records/FileIo.h"
#include "records/RecordFile.h"
#include "records/RecordNumber.h"
#include "platform/BigBuffer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <vector>

namespace pb {

namespace {

// Version 3 ties the journal to its book by content too; version 2 names
// the book only by device and inode; version 1 (earlier builds) not at all.
constexpr char kMagic[8] = {'z', '8', 'P', 'J', 'R', 'N', 'L', '3'};
constexpr char kMagicV2[8] = {'z', '8', 'P', 'J', 'R', 'N', 'L', '2'};
constexpr char kMagicV1[8] = {'z', '8', 'P', 'J', 'R', 'N', 'L', '1'};
constexpr qsizetype kHeaderV1 = 32;   // magic, length, offset, byte count, record size, spare
constexpr qsizetype kHeaderV2 = 64;   // the same, then the book's device, inode and the end of the reserved records
constexpr qsizetype kHeader = 80;     // the same, then the length and the extent the change leaves, spare
constexpr qsizetype kTrailer = 8;     // checksum
// The blocks whose hashes tie a journal to its book's content: the disk's
// sector, so that a block a power cut left half written is no block at all.
constexpr qint64 kBlock = 512;

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

// The blocks of the file that bytes offset ... end - 1 touch.
qint64 blocksOf(qint64 offset, qint64 end)
{
    return end > offset ? (end - 1) / kBlock - offset / kBlock + 1 : 0;
}

// One hash per block of bytes offset ... end - 1 of the file, given as
// `bytes` from `offset` on (`n` of them; zeros past those).
void hashBlocks(const char* bytes, qint64 n, qint64 offset, qint64 end, char* out)
{
    std::vector<char> zeros;
    for (qint64 b = offset / kBlock, i = 0; b * kBlock < end; ++b, ++i) {
        const qint64 from = std::max(b * kBlock, offset) - offset;
        const qint64 to = std::min((b + 1) * kBlock, end) - offset;
        quint64 h;
        if (to <= n) {
            h = checksum(bytes + from, to - from);
        } else {
            zeros.assign(static_cast<std::size_t>(to - from), '\0');
            if (from < n)
                std::memcpy(zeros.data(), bytes + from, static_cast<std::size_t>(n - from));
            h = checksum(zeros.data(), to - from);
        }
        qToLittleEndian<quint64>(h, out + i * 8);
    }
}

} // namespace

qint64 Journal::maxSize(qint64 recordSize)
{
    const qint64 book = maxBookBytes(recordSize);
    return kHeader + book + (book / kBlock + 2) * 8 + kTrailer;
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
    reservedEnd_ = static_cast<qint64>(last) * size;
    const qint64 end = std::min<qint64>(reservedEnd_, length_);
    const qint64 n = std::max<qint64>(end - offset_, 0);
    const int records = static_cast<int>((n + size - 1) / size);
    const QString path = pathFor(file_.fileName());
    if (const QFileInfo there(path); there.isSymLink() || (there.exists() && !there.isFile())) {
        *error = QStringLiteral("%1 beside the book is %2; the book cannot be changed until it is moved away.")
                     .arg(QFileInfo(path).fileName(),
                          there.isSymLink() ? QStringLiteral("a link") : QStringLiteral("not a regular file"));
        return false;
    }
    // One buffer for the journal: the header, the records read straight
    // into place (a short last one ends at the file's end), and room for
    // the hashes and the checksum that follow the saved bytes.
    const qint64 hashes = blocksOf(offset_, std::max(reservedEnd_, offset_ + n)) * 8;
    block_ = memory::uninitialized(static_cast<qsizetype>(kHeader + records * size + hashes + kTrailer));
    std::memset(block_.data(), 0, kHeader);
    if (records > 0 && !file_.readRange(first, records, block_.data() + kHeader)) {
        *error = file_.errorString();
        release();
        return false;
    }
    savedBytes_ = n;
    block_.resize(static_cast<qsizetype>(kHeader + n));
    file_.stage(offset_, reservedEnd_, block_.data() + kHeader, n);
    active_ = true;
    written_ = false;
    return true;
}

// The journal of the staged change on the disk, the folder flushed.
bool Journal::writeJournal(QString* error)
{
    const RecordFile::Staging& s = *file_.staging();
    const qint64 n = savedBytes_;
    const qint64 extent = s.extent;
    const qint64 end = offset_ + std::max(n, extent);
    const qint64 blocks = blocksOf(offset_, end);
    block_.resize(static_cast<qsizetype>(kHeader + n + blocks * 8 + kTrailer));
    char* h = block_.data();
    const io::Identity book = file_.identity();
    std::copy(std::begin(kMagic), std::end(kMagic), h);
    qToLittleEndian<qint64>(length_, h + 8);
    qToLittleEndian<qint64>(offset_, h + 16);
    qToLittleEndian<quint32>(static_cast<quint32>(n), h + 24);
    qToLittleEndian<quint32>(static_cast<quint32>(file_.recordSize()), h + 28);
    qToLittleEndian<qint64>(book.device, h + 32);
    qToLittleEndian<qint64>(book.inode, h + 40);
    qToLittleEndian<qint64>(reservedEnd_, h + 48);
    qToLittleEndian<qint64>(s.length, h + 56);
    qToLittleEndian<qint64>(extent, h + 64);
    if (s.make) {
        // Made bytes are hashed as they are made, a piece of whole blocks at a time.
        constexpr qint64 kPiece = 1 << 20;
        std::vector<char> piece;
        char* out = h + kHeader + n;
        for (qint64 at = offset_; at < end;) {
            const qint64 to = std::min(end, (at / kPiece + 1) * kPiece);
            const qint64 made = std::clamp(offset_ + extent - at, qint64{0}, to - at);
            piece.resize(static_cast<std::size_t>(to - at));
            s.make(at - offset_, made, piece.data());
            hashBlocks(piece.data(), made, at, to, out);
            out += blocksOf(at, to) * 8;
            at = to;
        }
    } else {
        hashBlocks(s.bytes(), extent, offset_, end, h + kHeader + n);
    }
    const qint64 body = kHeader + n + blocks * 8;
    qToLittleEndian<quint64>(checksum(h, body), h + body);

    const QString path = pathFor(file_.fileName());
    QFile j(path);
    QString why;
    if (!io::openFile(j, QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered, &why)) {
        *error = QStringLiteral("The journal %1 could not be created in %2 (%3). Changes of the book need a folder "
                                "the program can write to.")
                     .arg(QFileInfo(path).fileName(), QDir::toNativeSeparators(folderOf(path)), why);
        return false;
    }
    if (!io::writeAt(j, 0, h, body + kTrailer, &why) || !io::sync(j, &why)) {
        *error = QStringLiteral("The journal of this change (%1 KB) could not be written: %2. It needs that much free "
                                "space in the book's folder; nothing was changed.")
                     .arg((body + kTrailer + 1023) / 1024)
                     .arg(why);
        j.close();
        QFile::remove(path);
        return false;
    }
    j.close();
    if (!io::syncFolder(folderOf(path), &why)) {
        *error = QStringLiteral("The folder %1 could not be flushed to the disk (%2); nothing was changed.")
                     .arg(QDir::toNativeSeparators(folderOf(path)), why);
        QFile::remove(path);
        return false;
    }
    return true;
}

void Journal::release()
{
    // The saved copy of a large change is not kept once it is over.
    block_ = QByteArray();
    savedBytes_ = 0;
}

bool Journal::commit(QString* error)
{
    if (!active_)
        return true;
    const RecordFile::Staging& s = *file_.staging();
    const char* before = block_.data() + kHeader;
    if (!s.make && s.length == length_ && s.extent == savedBytes_ && std::equal(s.bytes(), s.bytes() + s.extent, before)) {
        // Nothing to write, nothing to journal.
        file_.dropStaging();
        active_ = false;
        release();
        return true;
    }
    if (!writeJournal(error)) {
        file_.dropStaging();
        active_ = false;
        release();
        return false;
    }
    written_ = true;
    if (!file_.writeStaged(before, savedBytes_) || !file_.sync()) {
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
    written_ = false;
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
    file_.dropStaging();
    if (!written_) {
        // Only memory held the change.
        active_ = false;
        release();
        return true;
    }
    if (!playBack(file_, length_, offset_, block_.data() + kHeader, savedBytes_, error))
        return false;
    active_ = false;
    written_ = false;
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

namespace {

// What a journal's header says, once it is known to be whole.
struct Parsed {
    int version = 0;
    qint64 length = 0, offset = 0, n = 0, recordSize = 0;
    io::Identity owner;
    qint64 reservedEnd = -1;
    qint64 afterLength = -1, afterExtent = 0;
    const char* before = nullptr;
    const char* hashes = nullptr;   // version 3: one per block the change touched
    qint64 end() const { return offset + std::max(n, afterExtent); }
};

enum class Shape { Ours, Empty, Foreign, Cut, Odd };

Shape parse(const QByteArray& block, qint64 size, Parsed* p)
{
    const char* h = block.constData();
    // Shorter than any header this program writes, and only the beginning
    // of one (or zeros, where the system had made room but not written):
    // a power cut right after a change began, before the book was touched.
    const auto startOf = [&](const char* magic) {
        return std::equal(h, h + std::min<qsizetype>(block.size(), 8), magic);
    };
    if (block.size() < kHeaderV1 + kTrailer &&
        (std::all_of(block.begin(), block.end(), [](char c) { return c == '\0'; }) || startOf(kMagic) ||
         startOf(kMagicV2) || startOf(kMagicV1)))
        return Shape::Empty;
    const auto is = [&](const char* magic) { return block.size() >= 8 && std::equal(magic, magic + 8, h); };
    p->version = is(kMagic) ? 3 : is(kMagicV2) ? 2 : is(kMagicV1) ? 1 : 0;
    if (p->version == 0)
        return Shape::Foreign;
    const qsizetype header = p->version == 3 ? kHeader : p->version == 2 ? kHeaderV2 : kHeaderV1;
    if (block.size() < header + kTrailer)
        return Shape::Cut;   // cut short while its header was written: the book was not touched yet
    p->length = qFromLittleEndian<qint64>(h + 8);
    p->offset = qFromLittleEndian<qint64>(h + 16);
    p->n = qFromLittleEndian<quint32>(h + 24);
    p->recordSize = qFromLittleEndian<quint32>(h + 28);
    if (p->version >= 2) {
        p->owner.device = qFromLittleEndian<qint64>(h + 32);
        p->owner.inode = qFromLittleEndian<qint64>(h + 40);
        p->reservedEnd = qFromLittleEndian<qint64>(h + 48);
    }
    if (p->version == 3) {
        p->afterLength = qFromLittleEndian<qint64>(h + 56);
        p->afterExtent = qFromLittleEndian<qint64>(h + 64);
    }
    // Lengths no change of this book can have are refused before anything
    // is read from the rest or written anywhere.
    const qint64 largest = maxBookBytes(size);
    if (p->recordSize != size || p->length < 0 || p->length > largest || p->offset < 0 || p->offset % size != 0 ||
        p->offset > largest || p->n > largest || p->offset + p->n > largest ||
        (p->version >= 2 && (p->reservedEnd < p->offset || p->reservedEnd > largest)) ||
        (p->version == 3 && (p->afterLength < 0 || p->afterLength > largest || p->afterExtent < 0 ||
                             p->offset + p->afterExtent > p->reservedEnd)))
        return Shape::Odd;
    const qint64 hashes = p->version == 3 ? blocksOf(p->offset, p->end()) * 8 : 0;
    const qint64 body = header + p->n + hashes;
    if (block.size() != body + kTrailer || qFromLittleEndian<quint64>(h + body) != checksum(h, body))
        return Shape::Cut;   // cut short while it was written: the book was not touched yet
    p->before = h + header;
    p->hashes = hashes > 0 ? h + header + p->n : nullptr;
    return Shape::Ours;
}

// Whether every block the change touched holds in the book what it held
// before the change or what the change left there: the book is this
// journal's, as far as the change can tell, wherever it lies now.
bool contentFits(RecordFile& file, const Parsed& p)
{
    if (p.version < 3)
        return false;
    const qint64 size = static_cast<qint64>(file.recordSize());
    const qint64 end = p.end();
    const int first = static_cast<int>(p.offset / size) + 1;
    const int records = static_cast<int>((end - p.offset + size - 1) / size);
    if (records == 0)
        return true;
    if (first + records - 1 > kMaxRecord)
        return false;
    std::vector<char> now(static_cast<std::size_t>(records) * static_cast<std::size_t>(size));
    if (!file.readRange(first, records, now.data()))
        return false;
    const qint64 blocks = blocksOf(p.offset, end);
    std::vector<char> was(static_cast<std::size_t>(blocks * 8)), is(was.size());
    hashBlocks(p.before, p.n, p.offset, end, was.data());
    hashBlocks(now.data(), end - p.offset, p.offset, end, is.data());
    for (qint64 i = 0; i < blocks * 8; i += 8)
        if (std::memcmp(is.data() + i, was.data() + i, 8) != 0 && std::memcmp(is.data() + i, p.hashes + i, 8) != 0)
            return false;
    return true;
}

} // namespace

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
    const auto remove = [&] {
        if (!removeJournal(path, &r.error))
            r.ok = false;
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

    Parsed p;
    switch (parse(block, size, &p)) {
    case Shape::Empty:
    case Shape::Cut:
        return remove();
    case Shape::Foreign:
        return refuse(QStringLiteral("it is not a journal of this program"));
    case Shape::Odd:
        return refuse(QStringLiteral("its header does not describe a change of this book"));
    case Shape::Ours:
        break;
    }
    // Another file than the one the journal was written for (a copied or
    // restored folder) is put back only when its content shows it is the
    // same book, in the middle of this change.
    if (p.version >= 2 && !p.owner.sameFile(file.identity()) && !contentFits(file, p))
        return refuse(QStringLiteral("it belongs to another book (it was copied or restored from elsewhere)"));
    // The book can only differ from its state before the change by what the
    // change reserved: a book longer or shorter than that has been changed
    // since, and this journal is an older one.
    const qint64 now = file.length();
    const qint64 lowest = std::min(p.length, p.offset);
    const qint64 highest = p.version >= 2 ? std::max(p.length, p.reservedEnd) : maxBookBytes(size);
    if (now < lowest || now > highest)
        return refuse(QStringLiteral("the book has been changed since it was written (it is an older journal)"));
    if (!playBack(file, p.length, p.offset, p.before, p.n, &r.error)) {
        r.ok = false;
        return r;
    }
    r.playedBack = true;
    return remove();
}

} // namespace pb
