#include "sync/BookDiff.h"

#include <QHash>

#include <algorithm>
#include <deque>

namespace pb::sync {

namespace {

constexpr qsizetype kSize = static_cast<qsizetype>(kRecordSize);

QByteArrayView recordAt(const QByteArray& book, int i)
{
    return QByteArrayView(book).sliced(static_cast<qsizetype>(i) * kSize, kSize);
}

// What two records must share to be taken for one contact: its e-mail
// address, else its first and last name, without case or the spaces
// around them (empty: nothing to go by).
QString keyOf(const ContactRecord& r, bool email)
{
    if (email)
        return FieldText(r, Field::Email).trimmed().toCaseFolded();
    const QString first = FieldText(r, Field::FirstName).trimmed().toCaseFolded();
    const QString last = FieldText(r, Field::LastName).trimmed().toCaseFolded();
    return first.isEmpty() && last.isEmpty() ? QString() : first + u'\x1f' + last;
}

ContactRecord recordOf(QByteArrayView bytes)
{
    ContactRecord r;
    std::copy(bytes.begin(), bytes.end(), r.bytes.begin());
    return r;
}

} // namespace

BookDiff diffBook(const QList<ContactRecord>& base, const QByteArray& book, int count)
{
    count = std::clamp(count, 0, static_cast<int>(book.size() / kSize));
    BookDiff d;
    d.baseOf.assign(static_cast<std::size_t>(count), -1);
    std::vector<bool> taken(static_cast<std::size_t>(base.size()), false);

    // The same bytes: the same record, wherever it moved (of identical
    // records, the first here goes with the first there).
    QHash<QByteArrayView, std::deque<int>> byBytes;
    byBytes.reserve(base.size());
    for (int b = 0; b < base.size(); ++b) {
        const auto& bytes = base[b].bytes;
        byBytes[QByteArrayView(bytes.data(), kSize)].push_back(b);
    }
    for (int i = 0; i < count; ++i) {
        const auto it = byBytes.find(recordAt(book, i));
        if (it == byBytes.end() || it->empty())
            continue;
        d.baseOf[static_cast<std::size_t>(i)] = it->front();
        taken[static_cast<std::size_t>(it->front())] = true;
        it->pop_front();
    }

    // Of what is left, a record and a base record that look like one
    // contact are that contact, changed here.
    for (const bool email : {true, false}) {
        QHash<QString, std::deque<int>> byKey;
        for (int b = 0; b < base.size(); ++b)
            if (!taken[static_cast<std::size_t>(b)])
                if (const QString k = keyOf(base[b], email); !k.isEmpty())
                    byKey[k].push_back(b);
        for (int i = 0; i < count; ++i) {
            if (d.baseOf[static_cast<std::size_t>(i)] >= 0)
                continue;
            const auto it = byKey.find(keyOf(recordOf(recordAt(book, i)), email));
            if (it == byKey.end() || it->empty())
                continue;
            const int b = it->front();
            it->pop_front();
            d.baseOf[static_cast<std::size_t>(i)] = b;
            taken[static_cast<std::size_t>(b)] = true;
            d.changed.push_back(b);
        }
    }
    std::sort(d.changed.begin(), d.changed.end());
    for (int b = 0; b < base.size(); ++b)
        if (!taken[static_cast<std::size_t>(b)])
            d.deleted.push_back(b);
    for (int i = 0; i < count; ++i)
        if (d.baseOf[static_cast<std::size_t>(i)] < 0)
            d.added.push_back(i);
    return d;
}

} // namespace pb::sync
