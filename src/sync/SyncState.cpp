#include "sync/SyncState.h"

#include "records/FileIo.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace pb::sync {

namespace {

constexpr int kVersion = 1;
constexpr qint64 kLargest = qint64(1) << 30;   // no state of 32,767 cards comes near it

QByteArray encode(const SyncState& s)
{
    QJsonArray links;
    for (const Link& l : s.links)
        links.append(QJsonObject{
            {QStringLiteral("href"), l.href},
            {QStringLiteral("etag"), QString::fromUtf8(l.etag)},
            {QStringLiteral("card"), QString::fromLatin1(l.card.toBase64())},
            {QStringLiteral("record"),
             QString::fromLatin1(QByteArray(l.record.bytes.data(), static_cast<qsizetype>(kRecordSize)).toBase64())},
        });
    const QJsonObject root{
        {QStringLiteral("version"), kVersion},
        {QStringLiteral("addressBook"), s.addressBook},
        {QStringLiteral("token"), s.token},
        {QStringLiteral("bookStamp"), QString::fromLatin1(s.bookStamp.toHex())},
        {QStringLiteral("lastSync"), s.lastSync},
        {QStringLiteral("links"), links},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

bool decode(const QByteArray& bytes, SyncState* s, QString* error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
    const QJsonObject root = doc.object();
    if (parse.error != QJsonParseError::NoError || root.value(QStringLiteral("version")).toInt() != kVersion) {
        *error = QStringLiteral("it is no sync state of this program");
        return false;
    }
    *s = {};
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

// The file read whole, never through a link, never a pipe; false with the
// reason (a missing file is `missing`, no error).
bool readState(const QString& path, QByteArray* bytes, bool* missing, QString* error)
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
    return QCryptographicHash::hash(bookBytes, QCryptographicHash::Sha256);
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
    if (!readState(path, &bytes, &missing, &why) || (!missing && !decode(bytes, state, &why))) {
        *error = QStringLiteral("The sync state %1 cannot be read: %2.").arg(QFileInfo(path).fileName(), why);
        return false;
    }
    return true;
}

bool writeState(const QString& path, const SyncState& state, QString* error)
{
    return io::writeWholeFile(path, encode(state), error);
}

} // namespace pb::sync
