#include "sync/SyncState.h"

#include "records/FileIo.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>

namespace pb::sync {

namespace {

constexpr qint64 kLargest = qint64(1) << 30;   // no state of 32,767 cards comes near it
// The file starts with its name line; then its format and pieces, each a
// 32-bit length (big-endian) and its bytes: the address book, token, stamp
// and last sync (UTF-8), the number of links, and per link its href (UTF-8),
// ETag and card, then the record's bytes. (The first format was JSON.)
const QByteArray kMagic = "z8P sync state\n";
constexpr quint32 kFormat = 3;

void putNumber(QByteArray& out, quint32 n)
{
    const char b[4] = {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
    out.append(b, 4);
}

void putPiece(QByteArray& out, QByteArrayView piece)
{
    putNumber(out, quint32(piece.size()));
    out.append(piece.data(), piece.size());
}

// Reads pieces, never past the end: a damaged length stops the reading.
struct Pieces {
    const char* at;
    const char* end;
    bool ok = true;
    quint32 number()
    {
        if (end - at < 4) {
            ok = false;
            return 0;
        }
        const auto* u = reinterpret_cast<const unsigned char*>(at);
        at += 4;
        return quint32(u[0]) << 24 | quint32(u[1]) << 16 | quint32(u[2]) << 8 | quint32(u[3]);
    }
    QByteArray piece()
    {
        const quint32 n = number();
        if (!ok || quint64(end - at) < n) {
            ok = false;
            return {};
        }
        const QByteArray out(at, qsizetype(n));
        at += n;
        return out;
    }
    bool raw(char* into, qsizetype n)
    {
        ok = ok && end - at >= n;
        if (ok) {
            std::memcpy(into, at, std::size_t(n));
            at += n;
        }
        return ok;
    }
};

QByteArray encode(const SyncState& s)
{
    QByteArray out;
    qsizetype size = kMagic.size() + 256 + s.addressBook.size() * 3 + s.token.size() * 3 + s.lastSync.size() * 3;
    for (const Link& l : s.links)
        size += l.href.size() * 3 + l.etag.size() + l.card.size() + qsizetype(kRecordSize) + 12;
    out.reserve(size);
    out += kMagic;
    putNumber(out, kFormat);
    putPiece(out, s.addressBook.toUtf8());
    putPiece(out, s.token.toUtf8());
    putPiece(out, s.bookStamp);
    putPiece(out, s.lastSync.toUtf8());
    putNumber(out, quint32(s.links.size()));
    for (const Link& l : s.links) {
        putPiece(out, l.href.toUtf8());
        putPiece(out, l.etag);
        putPiece(out, l.card);
        out.append(reinterpret_cast<const char*>(l.record.bytes.data()), qsizetype(kRecordSize));
    }
    return out;
}

bool decodeJson(const QByteArray& bytes, SyncState* s, QString* error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
    const QJsonObject root = doc.object();
    if (parse.error != QJsonParseError::NoError || root.value(QStringLiteral("version")).toInt() != 1) {
        *error = QStringLiteral("it is no sync state of this program");
        return false;
    }
    s->addressBook = root.value(QStringLiteral("addressBook")).toString();
    s->token = root.value(QStringLiteral("token")).toString();
    s->bookStamp = QByteArray::fromHex(root.value(QStringLiteral("bookStamp")).toString().toLatin1());
    s->lastSync = root.value(QStringLiteral("lastSync")).toString();
    for (const QJsonValue& v : root.value(QStringLiteral("links")).toArray()) {
        const QJsonObject o = v.toObject();
        Link l;
        l.href = o.value(QStringLiteral("href")).toString();
        l.etag = o.value(QStringLiteral("etag")).toString().toUtf8();
        l.card = QByteArray::fromBase64(o.value(QStringLiteral("card")).toString().toLatin1());
        const QByteArray record = QByteArray::fromBase64(o.value(QStringLiteral("record")).toString().toLatin1());
        if (l.href.isEmpty() || record.size() != static_cast<qsizetype>(kRecordSize)) {
            *error = QStringLiteral("a contact of it is damaged");
            return false;
        }
        std::copy(record.begin(), record.end(), l.record.bytes.begin());
        s->links << l;
    }
    return true;
}

bool decode(const QByteArray& bytes, SyncState* s, QString* error)
{
    *s = {};
    if (bytes.startsWith('{'))
        return decodeJson(bytes, s, error);
    if (!bytes.startsWith(kMagic)) {
        *error = QStringLiteral("it is no sync state of this program");
        return false;
    }
    Pieces in{bytes.constData() + kMagic.size(), bytes.constData() + bytes.size()};
    if (in.number() != kFormat) {
        *error = QStringLiteral("it is a sync state of another version of this program");
        return false;
    }
    s->addressBook = QString::fromUtf8(in.piece());
    s->token = QString::fromUtf8(in.piece());
    s->bookStamp = in.piece();
    s->lastSync = QString::fromUtf8(in.piece());
    const quint32 count = in.number();
    // No more links than the bytes left could hold, whatever the count says.
    s->links.reserve(std::min<qsizetype>(count, bytes.size() / qsizetype(kRecordSize)));
    for (quint32 i = 0; i < count && in.ok; ++i) {
        Link l;
        l.href = QString::fromUtf8(in.piece());
        l.etag = in.piece();
        l.card = in.piece();
        if (!in.raw(reinterpret_cast<char*>(l.record.bytes.data()), qsizetype(kRecordSize)) || l.href.isEmpty())
            break;
        s->links << l;
    }
    if (!in.ok || s->links.size() != qsizetype(count) || in.at != in.end) {
        *error = QStringLiteral("it is damaged");
        return false;
    }
    return true;
}

// The file read whole, never through a link, never a pipe; false with the
// reason (a missing file is `missing`, no error).
bool readState(const QString& path, QByteArray* bytes, bool* missing, QString* error, QDateTime* modified = nullptr)
{
    *missing = !QFileInfo::exists(path) && !QFileInfo(path).isSymLink();
    if (*missing)
        return true;
    QFile f(path);
    if (!io::openRegular(f, QIODevice::ReadOnly, error))
        return false;
    if (f.size() > kLargest) {
        *error = QStringLiteral("it is larger than any sync state");
        return false;
    }
    *bytes = f.readAll();
    if (modified)
        *modified = f.fileTime(QFileDevice::FileModificationTime);
    return true;
}

} // namespace

QString statePath(const QString& bookPath)
{
    return bookPath + QStringLiteral("-sync");
}

QString pendingStatePath(const QString& bookPath)
{
    return bookPath + QStringLiteral("-sync.new");
}

QByteArray bookStamp(const QByteArray& bookBytes)
{
    // BLAKE2b: as sure as SHA-256 that two books never share a stamp, and
    // more than twice as fast on a full book.
    return QCryptographicHash::hash(bookBytes, QCryptographicHash::Blake2b_256);
}

bool loadState(const QString& bookPath, const QByteArray& book, SyncState* state, QString* error, bool mayWrite)
{
    *state = {};
    const QString pending = pendingStatePath(bookPath);
    QByteArray bytes;
    bool missing = true;
    QString why;
    if (readState(pending, &bytes, &missing, &why) && !missing) {
        SyncState p;
        const bool matches = decode(bytes, &p, &why) && p.bookStamp == bookStamp(book);
        if (matches && !mayWrite) {
            *state = p;
            return true;
        }
        // The sync's change is in the book: its state is the state.
        if (matches && !io::writeWholeFile(statePath(bookPath), bytes, error))
            return false;
        if (mayWrite)
            io::remove(pending, &why);
    }
    const QString path = statePath(bookPath);
    QDateTime checked;
    if (!readState(path, &bytes, &missing, &why, &checked) || (!missing && !decode(bytes, state, &why))) {
        *error = QStringLiteral("The sync state %1 cannot be read: %2. Move it aside and sync again: a first sync links "
                                "the contacts alike on both sides again.")
                     .arg(QFileInfo(path).fileName(), why);
        return false;
    }
    state->checked = checked;
    return true;
}

bool writeState(const QString& path, const SyncState& state, QString* error)
{
    return io::writeWholeFile(path, encode(state), error);
}

bool markChecked(const QString& bookPath, QString* error)
{
    QFile f(statePath(bookPath));
    if (!io::openRegular(f, QIODevice::ReadOnly, error))
        return false;
    if (!f.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime)) {
        *error = f.errorString();
        return false;
    }
    return true;
}

QString describeLastSync(const SyncState& state)
{
    if (state.lastSync.isEmpty())
        return {};
    const QString format = QStringLiteral("yyyy-MM-dd hh:mm");
    const QDateTime changed = QDateTime::fromString(state.lastSync.left(format.size()), format);
    QString text = QStringLiteral("Last sync: %1").arg(state.lastSync);
    if (changed.isValid() && state.checked.isValid() && state.checked.toString(format) > changed.toString(format))
        text = QStringLiteral("Last sync: %1, nothing to do (last change: %2)").arg(state.checked.toString(format), state.lastSync);
    return text + QStringLiteral("; %1 contacts linked.").arg(state.links.size());
}

bool takeUpPending(const QString& bookPath, QString* error)
{
    return io::renameOver(pendingStatePath(bookPath), statePath(bookPath), error);
}

} // namespace pb::sync
