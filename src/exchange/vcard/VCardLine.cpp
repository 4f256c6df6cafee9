#include "exchange/vcard/VCardLine.h"
#include "exchange/TextDecoding.h"

#include "platform/Codepage.h"

#include <QStringDecoder>

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace pb::exchange::detail {

// The card's own bookkeeping: neither a value of the contact nor worth naming.
constexpr const char* kMeta[] = {
    "VERSION", "PRODID", "REV", "UID", "KIND", "SOURCE", "NAME", "PROFILE", "CLIENTPIDMAP", "SORT-STRING", "CLASS",
    "X-ABUID", "X-ABLABEL", "X-ABADR", "X-ABSHOWAS", "X-EVOLUTION-FILE-AS", "X-MOZILLA-HTML", "X-WAB-GENDER",
    "MAILER", "X-EVOLUTION-LIST", "X-EVOLUTION-LIST-SHOW-ADDRESSES", "X-EVOLUTION-LIST-SHOW_ADDRESSES",
    "X-KADDRESSBOOK-X-IMADDRESS",
};

Prop kindOf(QByteArrayView name)
{
    // Every name the reader knows, upper case and sorted, for a binary search.
    static const std::vector<std::pair<std::string_view, Prop>> known = [] {
        std::vector<std::pair<std::string_view, Prop>> all = {
            {"BEGIN", Prop::Begin}, {"END", Prop::End},     {"N", Prop::N},       {"FN", Prop::FN},
            {"TEL", Prop::Tel},     {"EMAIL", Prop::Email}, {"ADR", Prop::Adr},   {"ORG", Prop::Org},
            {"NOTE", Prop::Note},   {"PHOTO", Prop::Photo}, {"LOGO", Prop::Photo}, {"AGENT", Prop::Agent},
            {"LABEL", Prop::Label},
        };
        for (const ExtraKind& e : kExtras)
            all.emplace_back(e.property, Prop::Extra);
        for (const char* m : kMeta)
            all.emplace_back(m, Prop::Meta);
        // The first of a name wins, as it did in a walk through the lists.
        std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        all.erase(std::unique(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first == b.first; }), all.end());
        return all;
    }();
    // The names nearly every card holds, without a search.
    static constexpr std::pair<std::string_view, Prop> common[] = {
        {"N", Prop::N},     {"FN", Prop::FN},     {"TEL", Prop::Tel},     {"EMAIL", Prop::Email}, {"ADR", Prop::Adr},
        {"ORG", Prop::Org}, {"NOTE", Prop::Note}, {"BEGIN", Prop::Begin}, {"END", Prop::End},     {"VERSION", Prop::Meta},
    };
    for (const auto& [word, kind] : common)
        if (sameLetters(name, word))
            return kind;
    std::array<char, 40> upper;
    if (name.size() > static_cast<qsizetype>(upper.size()))
        return Prop::Other;
    for (qsizetype i = 0; i < name.size(); ++i)
        upper[static_cast<std::size_t>(i)] = asciiUpper(name[i]);
    const std::string_view key(upper.data(), static_cast<std::size_t>(name.size()));
    const auto it = std::lower_bound(known.begin(), known.end(), key, [](const auto& a, std::string_view k) { return a.first < k; });
    return it != known.end() && it->first == key ? it->second : Prop::Other;
}

const ExtraKind* extraKindOf(QByteArrayView name)
{
    for (const ExtraKind& e : kExtras)
        if (sameLetters(name, e.property))
            return &e;
    return nullptr;
}

const ExtraKind* extraKindOf(const QString& name)
{
    for (const ExtraKind& e : kExtras)
        if (name.compare(QLatin1String(e.property), Qt::CaseInsensitive) == 0)
            return &e;
    return nullptr;
}

// Whether the bytes hold the word, in any case.
bool containsLetters(QByteArrayView bytes, const char* word)
{
    const auto n = static_cast<qsizetype>(std::strlen(word));
    for (qsizetype i = 0; i + n <= bytes.size(); ++i)
        if (sameLetters(bytes.sliced(i, n), word))
            return true;
    return false;
}

QByteArray decodeQuotedPrintable(QByteArrayView in)
{
    const auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 1 == in.size())
            break;   // a soft line break with nothing after it
        if (in[i] == '=' && i + 2 < in.size() && hex(in[i + 1]) >= 0 && hex(in[i + 2]) >= 0) {
            out.append(static_cast<char>(hex(in[i + 1]) * 16 + hex(in[i + 2])));
            i += 2;
            continue;
        }
        out.append(in[i]);
    }
    return out;
}

// Splits a structured value at unescaped `sep`, unescaping each part.
QStringList splitEscaped(const QString& value, QChar sep)
{
    if (!value.contains(u'\\') && !value.contains(sep))
        return {value};
    QStringList parts;
    parts.reserve(8);
    QString cur;   // a part with an escape in it, put together
    const QChar* p = value.constData();
    const qsizetype n = value.size();
    qsizetype run = 0;   // start of the characters not copied yet
    const auto endPart = [&](qsizetype i) {
        if (cur.isNull()) {
            parts << QString(p + run, i - run);
        } else {
            parts << std::move(cur.append(p + run, i - run));
            cur = QString();
        }
    };
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] == u'\\' && i + 1 < n) {
            cur.append(p + run, i - run);
            const QChar next = p[++i];
            cur.append((next == u'n' || next == u'N') ? QChar(u'\n') : next);
            run = i + 1;
        } else if (p[i] == sep) {
            endPart(i);
            run = i + 1;
        }
    }
    endPart(n);
    return parts;
}

QString unescape(const QString& value)
{
    if (!value.contains(u'\\'))
        return value;
    return splitEscaped(value, QChar(0xFFFF)).join(QString());
}

// Appends the text as UTF-8 with "\\", "," and ";" escaped and each line
// break (CR LF, CR or LF) written as "\\n".
void appendEscaped(QByteArray& out, QStringView text)
{
    const qsizetype n = text.size();
    qsizetype run = 0;   // start of the characters not copied yet
    const auto flush = [&](qsizetype to) {
        const QStringView part = text.sliced(run, to - run);
        if (std::all_of(part.begin(), part.end(), [](QChar c) { return c.unicode() < 0x80; }))
            for (QChar c : part)
                out.append(static_cast<char>(c.unicode()));
        else
            out.append(part.toUtf8());
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'\\' || c == u',' || c == u';') {
            flush(i);
            out.append('\\').append(static_cast<char>(c.unicode()));
            run = i + 1;
        } else if (c == u'\r' || c == u'\n') {
            flush(i);
            out.append("\\n");
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            run = i + 1;
        }
    }
    flush(n);
}

bool startsWithLetters(QByteArrayView line, const char* word)
{
    const auto n = static_cast<qsizetype>(std::strlen(word));
    return line.size() >= n && sameLetters(line.first(n), word);
}

bool quotedPrintableLine(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    const QByteArrayView head = colon < 0 ? line : line.first(colon);
    for (qsizetype i = 0; i + 16 <= head.size(); ++i)
        if (sameLetters(head.sliced(i, 16), "QUOTED-PRINTABLE"))
            return true;
    return false;
}

qsizetype colonOf(QByteArrayView line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return i;
    }
    return -1;
}

bool cardMark(QByteArrayView line, qsizetype colon, Prop kind, Prop mark)
{
    return kind == mark && sameLetters(line.sliced(colon + 1).trimmed(), "VCARD");
}

// The property's name without its group (item1.TEL) or parameters, and
// where the parameters begin (-1: there are none).
QByteArrayView nameOf(QByteArrayView head, qsizetype* semicolon)
{
    qsizetype end = head.size(), dot = -1;
    for (qsizetype i = 0; i < head.size(); ++i) {
        if (head[i] == ';') {
            end = i;
            break;
        }
        if (head[i] == '.')
            dot = i;
    }
    *semicolon = end < head.size() ? end : -1;
    QByteArrayView name = head.first(end).trimmed();
    if (dot >= 0)
        name = name.sliced(dot - (name.data() - head.data()) + 1);
    return name;
}

QByteArrayView nameOf(QByteArrayView head)
{
    qsizetype semicolon;
    return nameOf(head, &semicolon);
}

QString decodeValue(QByteArrayView value, const QString& charset, QStringList* unknownCharsets)
{
    if (charset.isEmpty() || charset == QLatin1String("UTF-8") || charset == QLatin1String("US-ASCII"))
        return decodeText(value);
    if (const auto page = codepage::parse(charset))
        return codepage::decodeWith(*page, std::string_view(value.data(), static_cast<std::size_t>(value.size())));
    if (charset == QLatin1String("ISO-8859-1") || charset == QLatin1String("LATIN1"))
        return QString::fromLatin1(value);
    QStringDecoder decoder(charset.toLatin1().constData());
    if (decoder.isValid()) {
        const QString text = decoder.decode(value);
        if (!decoder.hasError())
            return text;
    }
    if (unknownCharsets && !unknownCharsets->contains(charset))
        unknownCharsets->append(charset);
    return decodeText(value);
}

Property parseLine(QByteArrayView line, qsizetype colon, Prop kind, QStringList* unknownCharsets)
{
    Property p;
    p.kind = kind;
    const QByteArrayView head = line.first(colon);
    if (kind == Prop::Extra || kind == Prop::Photo)
        p.name = QString::fromLatin1(nameOf(head)).toUpper();
    const QByteArrayView value = line.sliced(colon + 1);
    if (head.indexOf(';') < 0) {
        p.value = decodeValue(value, QString(), unknownCharsets);
        return p;
    }
    p.head = head.toByteArray();
    // Most parameters say only the kind of a number or address: the
    // character set and the encoding are looked for only where named.
    const QString charset = containsLetters(head, "CHARSET") ? p.param("CHARSET").toUpper() : QString();
    if (containsLetters(head, "QUOTED-PRINTABLE") &&
        (p.param("ENCODING").compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0 ||
         p.types().contains(QStringLiteral("QUOTED-PRINTABLE"))))
        p.value = decodeValue(decodeQuotedPrintable(value), charset, unknownCharsets);
    else
        p.value = decodeValue(value, charset, unknownCharsets);
    return p;
}

QString Property::param(const char* n) const
{
    QString out;
    bool any = false;
    forEachParam([&](QByteArrayView name, QByteArrayView value) {
        if (!sameLetters(name, n))
            return;
        if (any)
            out += u',';
        out += QString::fromUtf8(value);
        any = true;
    });
    return out;
}

QStringList Property::types() const
{
    QStringList out;
    forEachParam([&](QByteArrayView name, QByteArrayView value) {
        if (!value.isEmpty() && !sameLetters(name, "TYPE"))
            return;
        const QByteArrayView list = value.isEmpty() ? name : value;
        for (qsizetype at = 0; at <= list.size();) {
            qsizetype comma = list.indexOf(',', at);
            if (comma < 0)
                comma = list.size();
            QByteArray type = list.sliced(at, comma - at).toByteArray().toUpper();
            type.replace("\"", "");
            if (!type.isEmpty())
                out << QString::fromUtf8(type);
            at = comma + 1;
        }
    });
    return out;
}

bool Property::preferred() const
{
    bool pref = false;
    forEachParam([&](QByteArrayView name, QByteArrayView value) {
        if (!value.isEmpty() && sameLetters(name, "PREF")) {
            pref = true;   // vCard 4.0: PREF=1
            return;
        }
        if (!value.isEmpty() && !sameLetters(name, "TYPE"))
            return;
        for (QByteArrayView type : (value.isEmpty() ? name : value).toByteArray().replace("\"", "").split(','))
            pref = pref || sameLetters(type, "PREF");
    });
    return pref;
}

bool unescapeTo(Text& out, std::string_view v, bool crLf)
{
    while (!v.empty()) {
        const std::size_t slash = v.find('\\');
        if (!out.put(v.substr(0, slash)))
            return false;
        if (slash == std::string_view::npos || slash + 1 == v.size())
            return slash == std::string_view::npos || out.put('\\');
        const char c = v[slash + 1];
        if (c == 'n' || c == 'N') {
            if ((crLf && !out.put('\r')) || !out.put('\n'))
                return false;
        } else if (!out.put(c)) {
            return false;
        }
        v.remove_prefix(slash + 2);
    }
    return true;
}

const char* lineEnd(const char* p, const char* end)
{
    // Eight bytes at a time: a byte of x is zero where the text holds LF
    // (or CR); the lowest flagged byte is the first such byte.
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
    const auto zeroByte = [](std::uint64_t x) { return (x - kOnes) & ~x & kHigh; };
    // (Only the lowest flag is sure: on a big-endian machine byte by byte.)
    for (; std::endian::native == std::endian::little && end - p >= 8; p += 8) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        if (const std::uint64_t hit = zeroByte(v ^ (kOnes * '\n')) | zeroByte(v ^ (kOnes * '\r')))
            return p + std::countr_zero(hit) / 8;
    }
    while (p < end && *p != '\n' && *p != '\r')
        ++p;
    return p;
}

// Where the next line begins after a line ending at `e`.
const char* afterBreak(const char* e, const char* end)
{
    if (e == end)
        return e;
    return e + ((*e == '\r' && e + 1 < end && e[1] == '\n') ? 2 : 1);
}

// Lines of at most 75 octets, continued with a space, never inside a
// UTF-8 character.
// Writes the line at `out` folded so; returns the end. Room: the line's
// size, three more for every 74 octets, and two.
char* foldInto(char* out, QByteArrayView line)
{
    qsizetype at = 0;
    qsizetype room = 75;
    while (line.size() - at > room) {
        qsizetype cut = at + room;
        while (cut > at && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        out = std::copy_n(line.constData() + at, cut - at, out);
        *out++ = '\r';
        *out++ = '\n';
        *out++ = ' ';
        at = cut;
        room = 74;
    }
    out = std::copy_n(line.constData() + at, line.size() - at, out);
    *out++ = '\r';
    *out++ = '\n';
    return out;
}

void appendFolded(QByteArray& out, QByteArrayView line)
{
    const qsizetype at = out.size();
    out.resize(at + line.size() + (line.size() / 74 + 1) * 3 + 2);
    out.truncate(foldInto(out.data() + at, line) - out.constData());
}

char* putLiteral(char* out, const char* text)
{
    while (*text)
        *out++ = *text++;
    return out;
}

} // namespace pb::exchange::detail
