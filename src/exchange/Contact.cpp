#include "exchange/Contact.h"
#include "exchange/TextDecoding.h"

#include "platform/Codepage.h"

#include <algorithm>
#include <cstring>

namespace pb::exchange {

using namespace detail;

namespace detail {

// A run of spaces is one: the book ends a field's shown text at two.
void collapseSpaces(std::string& bytes)
{
    if (bytes.find("  ") == std::string::npos)
        return;
    const auto end = std::unique(bytes.begin(), bytes.end(), [](char a, char b) { return a == ' ' && b == ' '; });
    bytes.erase(end, bytes.end());
}

} // namespace detail

void Contact::composeComments()
{
    QStringList all = extras;
    if (!note.isEmpty())
        all << note;
    fields[static_cast<std::size_t>(Field::Comments)] = all.join(kCrLf);
}

void storable(std::string& bytes, const QString& text, QString* lost)
{
    // Every code page holds ASCII as it is: the common case needs no table.
    bytes.resize(static_cast<std::size_t>(text.size()));
    bool plain = true;
    const ushort* in = text.utf16();
    for (qsizetype i = 0; i < text.size() && plain; ++i) {
        plain = in[i] < 0x80 && plainByte(static_cast<char>(in[i]));
        bytes[static_cast<std::size_t>(i)] = static_cast<char>(in[i]);
    }
    if (!plain) {
        bytes = codepage::encodeReporting(text, lost);
        for (char& b : bytes) {
            if (!plainByte(b)) {
                const QString one(QChar(static_cast<unsigned char>(b)));
                if (!lost->contains(one))
                    *lost += one;
                b = '?';
            }
        }
    }
    collapseSpaces(bytes);
}

bool quietRecord(const Contact& c, char* record)
{
    if (!c.notKept.isEmpty())
        return false;
    std::string bytes;
    for (Field f : kAllFields) {
        QString lost;
        storable(bytes, c[f], &lost);
        const FieldLayout l = layoutOf(f);
        if (!lost.isEmpty() || bytes.size() > l.width)
            return false;
        std::memcpy(record + l.offset, bytes.data(), bytes.size());
        std::memset(record + l.offset + bytes.size(), ' ', l.width - bytes.size());
    }
    return true;
}

Contact fromRecord(const ContactRecord& r)
{
    Contact c;
    for (Field f : kAllFields) {
        std::string_view text = r.raw(f);
        text = text.substr(0, std::min(text.size(), text.find('\0')));
        while (!text.empty() && text.back() == ' ')
            text.remove_suffix(1);
        c[f] = codepage::decode(text);
    }
    return c;
}

Extent extentOf(const QByteArray& book)
{
    Extent e;
    bool counting = true;
    for (qsizetype at = 0; at < book.size(); at += static_cast<qsizetype>(kRecordSize)) {
        const bool free = book[at] == '\0';
        counting = counting && !free;
        if (counting)
            ++e.count;
        else if (!free)
            ++e.hidden;
    }
    return e;
}

QList<Contact> shownContacts(const QByteArray& book, int count)
{
    QList<Contact> out;
    out.reserve(count);
    const qsizetype size = static_cast<qsizetype>(kRecordSize);
    for (qsizetype at = 0; out.size() < count && at < book.size(); at += size) {
        ContactRecord r;
        std::copy_n(book.constData() + at, std::min(size, book.size() - at), r.bytes.begin());
        out << fromRecord(r);
    }
    return out;
}

ContactRecord toRecord(const Contact& c)
{
    ContactRecord r;
    for (Field f : kAllFields)
        r.store(f, c[f]);
    if (r.isFree())
        r.store(Field::FirstName, QStringLiteral(" "));   // a record, never a free slot
    return r;
}

} // namespace pb::exchange
