#include "exchange/Exchange.h"
#include "exchange/ExchangeParts.h"

#include "platform/BigBuffer.h"
#include "platform/Codepage.h"
#include "records/RecordNumber.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <optional>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace pb::exchange {

using namespace detail;

namespace detail {

const QString kCrLf = QStringLiteral("\r\n");

QString toCrLf(const QString& text)
{
    if (!text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    const QChar* p = text.constData();
    const qsizetype n = text.size();
    qsizetype run = 0;   // start of the characters not copied yet
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] != u'\r' && p[i] != u'\n')
            continue;
        out.append(p + run, i - run).append(kCrLf);
        if (p[i] == u'\r' && i + 1 < n && p[i + 1] == u'\n')
            ++i;
        run = i + 1;
    }
    return out.append(p + run, n - run);
}

// The code page 8-bit text without a declared character set is read in,
// while one file is read.
thread_local int fallbackPage = 1252;

// Whether a text is UTF-16, and in which byte order: with its byte-order
// mark (as Apple and spreadsheets write "Unicode text"), or without one,
// as some web mail programs write it; then each of its first characters,
// the ASCII of "BEGIN:VCARD" or a header row, has one zero byte, always on
// the same side, which no UTF-8 or code-page text has.
struct Utf16Kind {
    bool utf16 = false;
    bool littleEndian = false;
    qsizetype mark = 0;   // bytes of the byte-order mark
};

constexpr qsizetype kUtf16Probe = 16;   // bytes looked at without a mark

Utf16Kind utf16Kind(QByteArrayView head)
{
    if (head.startsWith("\xFF\xFE"))
        return {true, true, 2};
    if (head.startsWith("\xFE\xFF"))
        return {true, false, 2};
    if (head.size() < kUtf16Probe)
        return {};
    int lowZero = 0, highZero = 0;
    for (qsizetype i = 0; i < kUtf16Probe; i += 2) {
        const bool first = head[i] == '\0', second = head[i + 1] == '\0';
        lowZero += !first && second;
        highZero += first && !second;
    }
    constexpr int pairs = kUtf16Probe / 2;
    if (lowZero == pairs)
        return {true, true, 0};
    if (highZero == pairs)
        return {true, false, 0};
    return {};
}

} // namespace

QString notText(QByteArrayView head)
{
    if (!head.contains('\0') || utf16Kind(head).utf16)
        return {};
    struct Kind {
        const char* magic;
        const char* what;
    };
    static const Kind kinds[] = {
        {"%PDF", "a PDF document"},
        {"PK\x03\x04", "a ZIP archive (a spreadsheet such as .xlsx or .ods is one: save it as CSV first)"},
        {"\xD0\xCF\x11\xE0", "an old Microsoft Office document (save it as CSV first)"},
        {"\x89PNG", "a PNG picture"},
        {"\xFF\xD8\xFF", "a JPEG picture"},
        {"GIF8", "a GIF picture"},
        {"\x1F\x8B", "a gzip-compressed file (unpack it first)"},
        {"\x7F" "ELF", "a program"},
        {"SQLite format 3", "an SQLite database (export its contacts as vCard or CSV first)"},
    };
    QString looks = QStringLiteral("a binary file");
    for (const Kind& k : kinds)
        if (head.startsWith(QByteArrayView(k.magic)))
            looks = QString::fromLatin1(k.what);
    return QStringLiteral("It is not text: it holds NUL bytes and looks like %1, not a vCard or CSV file in UTF-8, "
                          "UTF-16 or a code page.")
        .arg(looks);
}

namespace detail {

// A file in UTF-16 as UTF-8; other bytes as they are.
QByteArray fromUtf16(const QByteArray& data)
{
    const Utf16Kind kind = utf16Kind(data);
    if (!kind.utf16)
        return data;
    QStringDecoder utf16(kind.littleEndian ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
    const QString text = utf16.decode(QByteArrayView(data).sliced(kind.mark));
    return text.toUtf8();
}

// A CSV cell's line breaks as the book keeps them: a lone LF becomes CR LF;
// a lone CR is a character of the value and stays, so that it comes back
// from the book's own export as it went in.
QString lfToCrLf(const QString& text)
{
    if (!text.contains(u'\n'))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            out += u'\r';
        out += text[i];
    }
    return out;
}

// Whether a spreadsheet would take a cell for a formula (OWASP's CSV
// injection guidance): it begins with "=", "@", TAB or CR, or with "+" or
// "-" before anything but a plain number or telephone number ("+1 555
// 0100" stays as it is). A cell of quotes before such a beginning counts
// too, so that the one quote the export puts in front always comes off
// again on import.
bool formulaLike(QStringView s)
{
    while (s.startsWith(u'\''))
        s = s.sliced(1);
    if (s.isEmpty())
        return false;
    const QChar c = s.front();
    if (c == u'=' || c == u'@' || c == u'\t' || c == u'\r')
        return true;
    if (c != u'+' && c != u'-')
        return false;
    const QStringView rest = s.sliced(1);
    bool digit = false;
    for (QChar r : rest) {
        if (r.isDigit())
            digit = true;
        else if (r != u' ' && r != u'(' && r != u')' && r != u'.' && r != u'/' && r != u'-')
            return true;
    }
    return !digit;
}

// Whether a value's first character needs the formula check at all.
bool mayLookLikeAFormula(char c)
{
    return c == '=' || c == '@' || c == '\t' || c == '\r' || c == '+' || c == '-' || c == '\'';
}

// Whether every line break of the text is CR LF already, as toCrLf() makes it.
bool crLfOnly(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            return false;
        if (text[i] == '\r') {
            if (i + 1 == text.size() || text[i + 1] != '\n')
                return false;
            ++i;
        }
    }
    return true;
}

// Whether 8-bit text is UTF-8: valid UTF-8, or mostly so with a broken
// character (a value cut in the middle of one), the broken one becoming
// U+FFFD (stored as "?", which the report names). Otherwise it is the code
// page's. The text can be looked at a piece at a time.
class Utf8Scan
{
public:
    // Looks at the text and returns how much of it was taken: all of it,
    // but for a character the piece cuts short unless it is the last.
    qsizetype feed(std::string_view text, bool last)
    {
        const char* p = text.data();
        const char* const end = p + text.size();
        while (p < end) {
            // Plain ASCII eight bytes at a time.
            if (end - p >= 8) {
                std::uint64_t v;
                std::memcpy(&v, p, 8);
                if ((v & 0x8080808080808080u) == 0) {
                    p += 8;
                    continue;
                }
            }
            const auto b = static_cast<unsigned char>(*p);
            if (b < 0x80) {
                ++p;
                continue;
            }
            const int len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
            if (len > 0 && end - p < len && !last)
                break;   // the rest of it comes with the next piece
            bool ok = len > 0 && end - p >= len;
            for (int k = 1; ok && k < len; ++k)
                ok = (static_cast<unsigned char>(p[k]) & 0xC0) == 0x80;
            if (ok)
                ++sequences_;
            else
                ++broken_;
            p += ok ? len : 1;
        }
        return p - text.data();
    }
    bool utf8() const { return broken_ == 0 || sequences_ > broken_; }

private:
    qsizetype sequences_ = 0, broken_ = 0;
};

bool readAsUtf8(QByteArrayView bytes)
{
    Utf8Scan scan;
    scan.feed(std::string_view(bytes.data(), static_cast<std::size_t>(bytes.size())), true);
    return scan.utf8();
}

// UTF-8 (with or without its mark) when readAsUtf8(), the book's code page
// otherwise.
QString decodeText(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    if (!readAsUtf8(bytes))
        return codepage::decodeWith(fallbackPage, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    return utf8.decode(bytes);
}

bool plainByte(char b)
{
    const auto c = static_cast<unsigned char>(b);
    return (c >= 0x20 && c != 0x7F) || c == '\r' || c == '\n' || c == '\t';
}

} // namespace

namespace detail {

// A run of spaces is one: the book ends a field's shown text at two.
void collapseSpaces(std::string& bytes)
{
    if (bytes.find("  ") == std::string::npos)
        return;
    const auto end = std::unique(bytes.begin(), bytes.end(), [](char a, char b) { return a == ' ' && b == ' '; });
    bytes.erase(end, bytes.end());
}

} // namespace

void storable(std::string& bytes, const QString& text, QString* lost)
{
    // Every code page holds ASCII as it is: the common case needs no table.
    bytes.clear();
    bool plain = true;
    for (QChar c : text) {
        if (c.unicode() >= 0x80 || !plainByte(static_cast<char>(c.unicode()))) {
            plain = false;
            break;
        }
        bytes += static_cast<char>(c.unicode());
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

namespace detail {

// --- vCard ------------------------------------------------------------------------

// The properties a card is read for; the others are passed over unparsed.
enum class Prop { Other, Begin, End, N, FN, Tel, Email, Adr, Org, Note, Photo, Agent, Label, Extra, Meta };

// ASCII upper case (property names and parameters are ASCII; other bytes
// stay as they are, as in the C locale).
char asciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameLetters(QByteArrayView a, std::string_view b)
{
    if (a.size() != static_cast<qsizetype>(b.size()))
        return false;
    for (std::size_t i = 0; i < b.size(); ++i)
        if (asciiUpper(a[static_cast<qsizetype>(i)]) != b[i])
            return false;
    return true;
}

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

struct Property {
    Prop kind = Prop::Other;
    QString name;                    // upper case, without its group (extras and unknown ones only)
    QByteArray head;                 // name and parameters, when there are parameters
    QString value;                   // raw, still escaped
    // The parameters, upper-case names (read when asked for: most
    // properties are never asked).
    QList<QPair<QString, QString>> params() const
    {
        QList<QPair<QString, QString>> out;
        for (qsizetype at = head.indexOf(';'); at >= 0;) {
            const qsizetype next = head.indexOf(';', at + 1);
            const QByteArrayView param = QByteArrayView(head).sliced(at + 1, (next < 0 ? head.size() : next) - at - 1).trimmed();
            const qsizetype eq = param.indexOf('=');
            if (eq < 0)
                out.append({QString::fromLatin1(param).toUpper(), QString()});
            else
                out.append({QString::fromLatin1(param.first(eq)).toUpper(), QString::fromUtf8(param.sliced(eq + 1))});
            at = next;
        }
        return out;
    }
    QString param(const QString& n) const
    {
        QStringList out;
        for (const auto& [k, v] : params())
            if (k == n)
                out << v;
        return out.join(u',');
    }
    // TYPE values, also vCard 2.1's bare ones (TEL;WORK;PREF).
    QStringList types() const
    {
        QStringList out;
        for (const auto& [k, v] : params())
            if (k == QLatin1String("TYPE") || v.isEmpty())
                for (const QString& t : (v.isEmpty() ? k : v).split(u',', Qt::SkipEmptyParts))
                    out << t.toUpper().remove(u'"');
        return out;
    }
    bool preferred() const { return types().contains(QStringLiteral("PREF")) || !param(QStringLiteral("PREF")).isEmpty(); }
};

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
    QString cur;
    const QChar* p = value.constData();
    const qsizetype n = value.size();
    qsizetype run = 0;   // start of the characters not copied yet
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] == u'\\' && i + 1 < n) {
            cur.append(p + run, i - run);
            const QChar next = p[++i];
            cur.append((next == u'n' || next == u'N') ? QChar(u'\n') : next);
            run = i + 1;
        } else if (p[i] == sep) {
            parts << cur.append(p + run, i - run);
            cur.clear();
            run = i + 1;
        }
    }
    parts << cur.append(p + run, n - run);
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

// Whether the line's name and parameters (before the first colon) ask for
// quoted-printable.
bool quotedPrintableLine(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    const QByteArrayView head = colon < 0 ? line : line.first(colon);
    for (qsizetype i = 0; i + 16 <= head.size(); ++i)
        if (sameLetters(head.sliced(i, 16), "QUOTED-PRINTABLE"))
            return true;
    return false;
}

// Calls `each(line, from, to)` with every unfolded logical line and the
// span of the file it came from: CR LF (or LF, or CR) plus a space or tab
// continues a line; a quoted-printable value ending in "=" continues on the
// next line, unless that line begins or ends a card. Lines that are not
// folded are not copied. `each` returns false to stop after its line; the
// result is where the next line begins (the end of `data` when all were read).
template <typename F>
const char* forEachLogicalLine(QByteArrayView data, F each)
{
    QByteArray joined;        // a folded line put together
    bool isJoined = false;
    QByteArrayView line;      // the line being gathered
    bool qp = false;          // ... asks for quoted-printable
    const char* from = nullptr;
    const char* to = nullptr;
    bool any = false;
    const auto current = [&] { return isJoined ? QByteArrayView(joined) : line; };
    const auto join = [&](QByteArrayView more) {
        if (!isJoined) {
            joined.clear();
            joined.append(line);
            isJoined = true;
        }
        joined.append(more);
    };
    const char* p = data.data();
    const char* const end = p + data.size();
    while (true) {
        const char* e = std::find_if(p, end, [](char c) { return c == '\n' || c == '\r'; });
        const QByteArrayView raw(p, e - p);
        const char* next = e == end ? e : e + ((*e == '\r' && e + 1 < end && e[1] == '\n') ? 2 : 1);
        const bool cardLine = startsWithLetters(raw, "BEGIN:") || startsWithLetters(raw, "END:");
        if (any && qp && current().endsWith('=') && !cardLine) {
            join({});   // a soft line break of quoted-printable text
            joined.chop(1);
            joined.append(raw);
            to = next;
        } else if (any && !raw.isEmpty() && (raw[0] == ' ' || raw[0] == '\t')) {
            join(raw.sliced(1));
            to = next;
        } else {
            if (any && !each(current(), from, to))
                return to;
            line = raw;
            isJoined = false;
            qp = quotedPrintableLine(raw);
            from = p;
            to = next;
            any = true;
        }
        if (e == end)
            break;
        p = next;
    }
    if (any)
        each(current(), from, to);
    return end;
}

// Where the name and parameters end: the first colon outside quotes.
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

// Whether a line whose name is of `kind` is the card mark `mark` (BEGIN or
// END) of a vCard.
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

// A declared character set is honoured through Qt's decoders (ICU knows
// KOI8-R, the ISO-8859 family, Shift_JIS, Big5, ...); an unknown one is
// read as undeclared text is, and the report says so.
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
    const QString charset = containsLetters(head, "CHARSET") ? p.param(QStringLiteral("CHARSET")).toUpper() : QString();
    if (containsLetters(head, "QUOTED-PRINTABLE") &&
        (p.param(QStringLiteral("ENCODING")).compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0 ||
         p.types().contains(QStringLiteral("QUOTED-PRINTABLE"))))
        p.value = decodeValue(decodeQuotedPrintable(value), charset, unknownCharsets);
    else
        p.value = decodeValue(value, charset, unknownCharsets);
    return p;
}

QString typeLabel(const Property& p)
{
    QStringList t = p.types();
    for (const char* noise : {"PREF", "VOICE", "INTERNET", "QUOTED-PRINTABLE", "X-INTERNET", "OTHER"})
        t.removeAll(QLatin1String(noise));
    t.removeIf([](const QString& s) { return s.startsWith(QLatin1String("CHARSET")) || s.startsWith(QLatin1String("ENCODING")); });
    return t.join(u',').toLower();
}

QString addressText(const Property& p)
{
    // post office box; extended; street; locality; region; postal code; country
    QStringList a = splitEscaped(p.value, u';');
    for (QString& part : a) {
        // A part after a folded line begins with its space.
        while (part.startsWith(u' ') || part.startsWith(u'\t'))
            part.remove(0, 1);
        while (part.endsWith(u' ') || part.endsWith(u'\t'))
            part.chop(1);
    }
    QStringList lines;
    for (qsizetype i : {0, 1, 2})
        if (!a.value(i).isEmpty())
            lines << a.value(i);
    QStringList townParts;
    for (qsizetype i : {3, 4, 5})
        if (!a.value(i).isEmpty())
            townParts << a.value(i);
    const QString town = townParts.join(u' ');
    if (!town.isEmpty())
        lines << town;
    if (!a.value(6).isEmpty())
        lines << a.value(6);
    return toCrLf(lines.join(u'\n'));
}

QString plainText(const Property& p)
{
    return toCrLf(unescape(p.value));
}

// A telephone number, also as a vCard 4.0 "tel:" URI: the number, and its
// extension as people write it.
QString phoneText(const Property& p)
{
    QString v = plainText(p).trimmed();
    if (!v.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        return v;
    v = v.mid(4);
    const QStringList parts = v.split(u';');
    QString number = parts.first();
    for (const QString& param : parts.mid(1))
        if (param.startsWith(QLatin1String("ext="), Qt::CaseInsensitive))
            number += QStringLiteral(" ext. ") + param.mid(4);
    return number;
}

QString oneLine(QString text)
{
    return text.replace(kCrLf, QLatin1String(", ")).simplified();
}

// Of several TEL (EMAIL, ADR) the preferred one goes to the field, the first
// when none is; the others become extras: "cell +1 555 0100".
void takePreferred(const QList<Property>& props, Contact& c, Field field, const QString& label,
                   QString (*text)(const Property&), QStringList& extra)
{
    if (props.isEmpty())
        return;
    qsizetype chosen = 0;
    for (qsizetype i = 0; i < props.size() && props.size() > 1; ++i)
        if (props[i].preferred()) {
            chosen = i;
            break;
        }
    c[field] = text(props[chosen]);
    for (qsizetype i = 0; i < props.size(); ++i) {
        if (i == chosen)
            continue;
        const QString type = typeLabel(props[i]);
        QString shortForm = field == Field::Phone ? (type.isEmpty() ? label : type) : label + (type.isEmpty() ? QString() : u' ' + type);
        extra << shortForm + u' ' + oneLine(text(props[i]));
    }
}

// A property kept in Comments: "birthday 1980-04-22", "web https://...".
QString extraText(const Property& p, const ExtraKind& kind)
{
    const QString value = QLatin1String(kind.property) == QLatin1String("CATEGORIES")
                              ? splitEscaped(p.value, u',').join(QStringLiteral(", "))
                              : unescape(p.value);
    const QString type = typeLabel(p);
    return QLatin1String(kind.label) + (type.isEmpty() ? QString() : u' ' + type) + u' ' + oneLine(toCrLf(value));
}

// A picture given by its address (a URI), not by its bytes.
bool isLink(const Property& p)
{
    const QString value = p.param(QStringLiteral("VALUE"));
    if (value.compare(QLatin1String("uri"), Qt::CaseInsensitive) == 0 || value.compare(QLatin1String("url"), Qt::CaseInsensitive) == 0)
        return !p.value.trimmed().startsWith(QLatin1String("data:"), Qt::CaseInsensitive);
    static const QRegularExpression scheme(QStringLiteral("^\\s*[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(p.value).hasMatch();
}

// Text with letters none of which the book's code page holds: stored, it
// would be question marks only.
bool noLetterFits(const QString& text)
{
    bool letters = false;
    for (char32_t ch : text.toUcs4()) {
        if (!QChar::isLetter(ch))
            continue;
        if (ch < 0x80 || codepage::byteFor(ch) != '\0')
            return false;
        letters = true;
    }
    return letters;
}

Contact contactFrom(const QList<Property>& card, ReadReport* report)
{
    Contact c;
    const auto notKept = [&](const QString& what) {
        if (!c.notKept.contains(what))
            c.notKept << what;
    };
    QList<Property> tels, emails, adrs, labels;
    QList<std::pair<int, QString>> others;   // (order, text)
    QString fn;
    bool haveN = false;
    QStringList notes;
    for (const Property& p : card) {
        if (p.kind == Prop::N) {
            const QStringList n = splitEscaped(p.value, u';');
            c[Field::LastName] = n.value(0);
            c[Field::FirstName] = n.value(2).isEmpty() ? n.value(1) : n.value(1) + u' ' + n.value(2);
            haveN = !c[Field::LastName].isEmpty() || !c[Field::FirstName].isEmpty();
            // Prefix and suffix ("Dr.", "Jr.") have no field: kept among the extras.
            const QString honours = QStringList{n.value(3), n.value(4)}.join(u' ').simplified();
            if (!honours.isEmpty())
                others.append({5, QStringLiteral("name ") + honours});
        } else if (p.kind == Prop::FN) {
            fn = unescape(p.value);
        } else if (p.kind == Prop::Tel) {
            tels << p;
        } else if (p.kind == Prop::Email) {
            emails << p;
        } else if (p.kind == Prop::Adr) {
            adrs << p;
        } else if (p.kind == Prop::Label) {
            labels << p;
        } else if (p.kind == Prop::Org) {
            c[Field::Company] = splitEscaped(p.value, u';').join(QStringLiteral(", "));
            while (c[Field::Company].endsWith(QLatin1String(", ")))
                c[Field::Company].chop(2);
        } else if (p.kind == Prop::Note) {
            notes << plainText(p);
        } else if (p.kind == Prop::Photo) {
            // A picture's link is text the book has no place for; a picture
            // itself is only counted.
            if (isLink(p))
                notKept(QStringLiteral("%1 (a link)").arg(p.name));
            else if (report)
                ++report->photosSkipped;
        } else if (p.kind == Prop::Extra) {
            if (const ExtraKind* kind = extraKindOf(p.name); kind && !unescape(p.value).trimmed().isEmpty()) {
                if (noLetterFits(unescape(p.value)))
                    notKept(p.name + QStringLiteral(" (its letters are not in the book's code page)"));
                else
                    others.append({kind->order, extraText(p, *kind)});
            }
        } else if (p.kind == Prop::Agent) {
            notKept(QStringLiteral("AGENT"));
        } else if (p.kind == Prop::Other && !p.name.isEmpty()) {
            notKept(p.name);
        }
    }
    if (!haveN && !fn.isEmpty()) {
        const qsizetype space = fn.lastIndexOf(u' ');
        c[Field::FirstName] = space < 0 ? fn : fn.left(space);
        c[Field::LastName] = space < 0 ? QString() : fn.mid(space + 1);
    } else if (haveN && !fn.isEmpty()) {
        // A display name that says more than the name (a middle name, a
        // nickname in it) is kept too.
        const QString shown = QStringList{c[Field::FirstName], c[Field::LastName]}.join(u' ').simplified();
        const QStringList words = fn.simplified().split(u' ');
        if (!std::all_of(words.begin(), words.end(), [&](const QString& w) { return shown.contains(w, Qt::CaseInsensitive); })) {
            if (noLetterFits(fn))
                notKept(QStringLiteral("FN (its letters are not in the book's code page)"));
            else
                others.append({5, QStringLiteral("shown as ") + fn.simplified()});
        }
    }
    QStringList phonesEtc;
    takePreferred(tels, c, Field::Phone, QStringLiteral("phone"), phoneText, phonesEtc);
    takePreferred(emails, c, Field::Email, QStringLiteral("e-mail"), plainText, phonesEtc);
    if (!adrs.isEmpty())
        takePreferred(adrs, c, Field::Address, QStringLiteral("address"), addressText, phonesEtc);
    else
        takePreferred(labels, c, Field::Address, QStringLiteral("address"), plainText, phonesEtc);
    std::stable_sort(others.begin(), others.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [order, text] : others)
        if (order < 3)
            c.extras << text;
    c.extras += phonesEtc;
    for (const auto& [order, text] : others)
        if (order >= 3)
            c.extras << text;
    c.note = notes.join(kCrLf);
    c.composeComments();
    return c;
}

// --- cards read straight into a record ------------------------------------------

// A field's text on its way into a record, in UTF-8: room for any value a
// field could hold (three bytes a character, and some), so that a longer
// one is known to be too long without counting characters.
class Text
{
public:
    static constexpr std::size_t kRoom = 512;
    void clear() { n_ = 0; }
    bool empty() const { return n_ == 0; }
    std::size_t size() const { return n_; }
    const char* data() const { return buf_.data(); }
    std::string_view view() const { return {buf_.data(), n_}; }
    char back() const { return buf_[n_ - 1]; }
    void shrink(std::size_t by) { n_ -= by; }
    // False once the text no longer fits its room.
    bool put(char c)
    {
        if (n_ == kRoom)
            return false;
        buf_[n_++] = c;
        return true;
    }
    bool put(std::string_view s)
    {
        if (s.size() > kRoom - n_)
            return false;
        std::memcpy(buf_.data() + n_, s.data(), s.size());
        n_ += s.size();
        return true;
    }

private:
    std::array<char, kRoom> buf_;
    std::size_t n_ = 0;
};

bool asciiSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Appends the value unescaped ("\n" and "\N" a line break, "\x" the x);
// with `crLf` a line break is written CR LF. The value is one line of the
// file, so it holds no line break of its own. False: it does not fit.
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

// Calls `each(part, index)` with every part of a structured value between
// unescaped ';' (still escaped); false as soon as `each` is.
template <typename F>
bool forEachPart(std::string_view v, F each)
{
    std::size_t n = 0;
    std::size_t from = 0;
    for (std::size_t i = 0; i <= v.size(); ++i) {
        if (i < v.size() && v[i] == '\\') {
            ++i;
            continue;
        }
        if (i < v.size() && v[i] != ';')
            continue;
        if (!each(v.substr(from, i - from), n++))
            return false;
        from = i + 1;
    }
    return true;
}

// The parts of a structured value, each unescaped, into `parts` (those past
// the last are left empty). False: one does not fit.
template <std::size_t N>
bool splitTo(std::array<Text, N>& parts, std::string_view v, bool crLf)
{
    for (Text& t : parts)
        t.clear();
    return forEachPart(v, [&](std::string_view part, std::size_t n) { return n >= N || unescapeTo(parts[n], part, crLf); });
}

// A record on its way into PackedRecords: each field's bytes at its place,
// as many as `used` says, without the padding (which packing drops).
struct RecordDraft {
    std::array<char, kRecordSize> bytes;
    std::array<std::uint8_t, kFieldCount> used;
};

// Writes the UTF-8 text into the field of `r` in the code page's bytes
// when the import stores it without a word: valid UTF-8 (no byte-order
// mark in front), every character one the page holds, no control character
// but CR, LF and tab, and no more than the field's width. False otherwise,
// and the card goes the way that reports.
bool quietlyInto(RecordDraft& r, Field f, std::string_view utf8)
{
    const FieldLayout l = layoutOf(f);
    char* const start = r.bytes.data() + l.offset;
    char* out = start;
    char* const stop = out + l.width;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    if (utf8.size() >= 3 && utf8.substr(0, 3) == "\xEF\xBB\xBF")
        return false;
    const bool fits = utf8.size() <= l.width;   // then the bytes fit too
    while (p < end) {
        if (!fits && out == stop)
            return false;
        const unsigned char b = *p;
        if (b < 0x80) {
            if ((b < 0x20 && b != '\r' && b != '\n' && b != '\t') || b == 0x7F)
                return false;
            if (b == ' ' && out > start && out[-1] == ' ') {
                ++p;   // a run of spaces is stored as one
                continue;
            }
            *out++ = static_cast<char>(b);
            ++p;
            continue;
        }
        char32_t c;
        int more;
        if ((b & 0xE0) == 0xC0 && b >= 0xC2) {
            c = b & 0x1F;
            more = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            more = 2;
        } else {
            return false;   // four bytes (beyond the pages) or no lead byte
        }
        if (end - p <= more)
            return false;
        for (int k = 1; k <= more; ++k) {
            if ((p[k] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (p[k] & 0x3F);
        }
        if ((more == 2 && c < 0x800) || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        const char byte = codepage::byteFor(c);
        if (byte == '\0')
            return false;
        *out++ = byte;
        p += more + 1;
    }
    r.used[static_cast<std::size_t>(f)] = static_cast<std::uint8_t>(out - start);
    return true;
}

// The end of the line that begins at `p` (its first CR or LF, or `end`).
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

// A card whose every property has a field of its own and says nothing the
// report would mention, read in one pass straight into its record: the
// record contactFrom() and the import's plan would make of it.
class PlainCard
{
public:
    // The card whose BEGIN:VCARD line starts at `p`, with the text held up
    // to `end`: its record written into `r`, and where the line after its
    // END:VCARD begins; or nullptr, and the card is read the usual way
    // (`r` then holds nothing of use).
    const char* read(const char* p, const char* end, RecordDraft& r)
    {
        values_.fill({});
        seen_ = 0;
        unfolded_.clear();
        bool first = true;
        while (p < end) {
            // One line, unfolded: a line break and a space or tab go on with it.
            const char* const e = lineEnd(p, end);
            const char* next = afterBreak(e, end);
            const QByteArrayView raw(p, e - p);
            // A quoted-printable value ending in "=" goes on in the next line.
            const auto goesOn = [&](QByteArrayView text) { return text.endsWith('=') && quotedPrintableLine(raw); };
            QByteArrayView line = raw;
            std::size_t at = 0;   // where it is in unfolded_, when folded
            bool folded = false;
            while (next < end && (*next == ' ' || *next == '\t')) {
                if (first || goesOn(line))
                    return nullptr;   // the BEGIN line folded, or a soft break: the usual way
                if (!folded) {
                    at = unfolded_.size();
                    unfolded_.append(raw.data(), static_cast<std::size_t>(raw.size()));
                    folded = true;
                }
                const char* const more = lineEnd(next, end);
                unfolded_.append(next + 1, static_cast<std::size_t>(more - next - 1));
                line = QByteArrayView(unfolded_.data() + at, static_cast<qsizetype>(unfolded_.size() - at));
                next = afterBreak(more, end);
            }
            p = next;
            if (first) {
                first = false;   // the BEGIN line, which the caller checked
                continue;
            }
            if (std::all_of(line.begin(), line.end(), asciiSpace))
                continue;
            if (goesOn(line))
                return nullptr;
            const qsizetype colon = colonOf(line);
            if (colon < 0)
                return nullptr;
            const QByteArrayView head = line.first(colon);
            qsizetype semicolon;
            const Prop kind = kindOf(nameOf(head, &semicolon));
            if (kind == Prop::End)
                return cardMark(line, colon, kind, Prop::End) && record(r) ? p : nullptr;
            if (kind == Prop::Meta)
                continue;   // the card's bookkeeping, read by neither way
            if (!take(head, semicolon, kind))
                return nullptr;
            const auto size = static_cast<std::size_t>(line.size() - colon - 1);
            values_[static_cast<std::size_t>(kind)] =
                folded ? Span{nullptr, at + static_cast<std::size_t>(colon) + 1, size} : Span{line.data() + colon + 1, 0, size};
        }
        return nullptr;   // no END:VCARD in what is held
    }

private:
    // Whether a property of this kind and with these parameters can be
    // read straight into its field.
    bool take(QByteArrayView head, qsizetype semicolon, Prop kind)
    {
        const bool params = semicolon >= 0;
        switch (kind) {
        case Prop::N:
        case Prop::FN:
        case Prop::Org:
        case Prop::Note:
            if (params)
                return false;
            break;
        case Prop::Tel:
        case Prop::Email:
        case Prop::Adr:
            // Kinds only ("TYPE=cell", vCard 2.1's bare "WORK"): with one
            // value of its kind they change nothing.
            for (qsizetype at = semicolon; at >= 0;) {
                const qsizetype next = head.indexOf(';', at + 1);
                const QByteArrayView param = head.sliced(at + 1, (next < 0 ? head.size() : next) - at - 1).trimmed();
                const qsizetype eq = param.indexOf('=');
                if (eq >= 0 ? !sameLetters(param.first(eq).trimmed(), "TYPE") || param.contains('"')
                            : param.isEmpty() || containsLetters(param, "QUOTED-PRINTABLE") || containsLetters(param, "CHARSET"))
                    return false;
                at = next;
            }
            break;
        default:
            return false;
        }
        const unsigned bit = 1u << static_cast<unsigned>(kind);
        if (seen_ & bit)
            return false;   // a second one of a kind: the report names it
        seen_ |= bit;
        return true;
    }

    bool has(Prop kind) const { return seen_ & (1u << static_cast<unsigned>(kind)); }
    std::string_view value(Prop kind) const
    {
        const Span& v = values_[static_cast<std::size_t>(kind)];
        return v.p ? std::string_view(v.p, v.size) : std::string_view(unfolded_).substr(v.at, v.size);
    }

    bool record(RecordDraft& r)
    {
        Text& first = text_[0];
        Text& last = text_[1];
        first.clear();
        last.clear();
        bool haveN = false;
        if (has(Prop::N)) {
            if (!splitTo(parts_, value(Prop::N), false) || !parts_[3].empty() || !parts_[4].empty())
                return false;   // a prefix or suffix: kept among the extras, the other way
            last.put(parts_[0].view());
            first.put(parts_[1].view());
            if (!parts_[2].empty() && (!first.put(' ') || !first.put(parts_[2].view())))
                return false;
            haveN = !last.empty() || !first.empty();
        }
        Text& fn = text_[2];
        fn.clear();
        if (!unescapeTo(fn, value(Prop::FN), false))
            return false;
        if (!haveN && !fn.empty()) {
            const std::string_view whole = fn.view();
            const std::size_t space = whole.rfind(' ');
            first.put(space == std::string_view::npos ? whole : whole.substr(0, space));
            if (space != std::string_view::npos)
                last.put(whole.substr(space + 1));
        } else if (haveN && !fn.empty()) {
            // A display name that says no more than the name.
            const std::string_view f = first.view(), l = last.view(), whole = fn.view();
            const bool joined = whole.size() == f.size() + 1 + l.size() && whole.substr(0, f.size()) == f &&
                                whole[f.size()] == ' ' && whole.substr(f.size() + 1) == l;
            if (!joined && !(l.empty() && whole == f) && !(f.empty() && whole == l))
                return false;
        }
        if (!quietlyInto(r, Field::FirstName, first.view()) || !quietlyInto(r, Field::LastName, last.view()))
            return false;

        Text& t = text_[2];
        t.clear();
        if (!unescapeTo(t, value(Prop::Tel), true))
            return false;
        std::string_view phone = t.view();
        while (!phone.empty() && asciiSpace(phone.front()))
            phone.remove_prefix(1);
        while (!phone.empty() && asciiSpace(phone.back()))
            phone.remove_suffix(1);
        if ((!phone.empty() && (static_cast<unsigned char>(phone.front()) >= 0x80 || static_cast<unsigned char>(phone.back()) >= 0x80)) ||
            startsWithLetters(QByteArrayView(phone.data(), static_cast<qsizetype>(phone.size())), "TEL:") ||
            !quietlyInto(r, Field::Phone, phone))
            return false;

        t.clear();
        if (!unescapeTo(t, value(Prop::Email), true) || !quietlyInto(r, Field::Email, t.view()))
            return false;

        t.clear();
        if (has(Prop::Org)) {
            // Every part, ", " between them, none at the end.
            if (!forEachPart(value(Prop::Org), [&](std::string_view part, std::size_t n) {
                    return (n == 0 || t.put(", ")) && unescapeTo(t, part, false);
                }))
                return false;
            while (t.size() >= 2 && t.view().substr(t.size() - 2) == ", ")
                t.shrink(2);
        }
        if (!quietlyInto(r, Field::Company, t.view()))
            return false;

        t.clear();
        if (has(Prop::Adr)) {
            // Street lines, then the town's parts on one line, then the country.
            if (!splitTo(parts_, value(Prop::Adr), true))
                return false;
            const auto line = [&](std::string_view text) { return (t.empty() || t.put("\r\n")) && t.put(text); };
            for (const Text& part : parts_) {
                const std::string_view v = part.view();
                if (!v.empty() && (v.front() == ' ' || v.back() == ' ' || v.front() == '\t' || v.back() == '\t'))
                    return false;   // trimmed, the other way
            }
            for (std::size_t i : {0, 1, 2})
                if (!parts_[i].empty() && !line(parts_[i].view()))
                    return false;
            Text& town = text_[3];
            town.clear();
            for (std::size_t i : {3, 4, 5})
                if (!parts_[i].empty() && ((!town.empty() && !town.put(' ')) || !town.put(parts_[i].view())))
                    return false;
            if ((!town.empty() && !line(town.view())) || (!parts_[6].empty() && !line(parts_[6].view())))
                return false;
        }
        if (!quietlyInto(r, Field::Address, t.view()))
            return false;

        t.clear();
        return unescapeTo(t, value(Prop::Note), true) && quietlyInto(r, Field::Comments, t.view());
    }

    // A value: in the text read, or (p null) at `at` in unfolded_.
    struct Span {
        const char* p = nullptr;
        std::size_t at = 0, size = 0;
    };
    std::array<Span, 16> values_;   // by kind
    std::string unfolded_;          // the card's folded lines, put together
    unsigned seen_ = 0;
    // Scratch, kept from card to card.
    std::array<Text, 4> text_;
    std::array<Text, 7> parts_;
};

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

// --- CSV ------------------------------------------------------------------------------

// How reading a piece of a CSV's text ended.
struct CsvEnd {
    qsizetype rest = 0;        // where the row the piece ends in begins (the piece's size: none does)
    qsizetype openQuote = -1;  // in the last piece: the quote the text ends inside of, which never closes
    bool stopped = false;      // told to stop
};

// RFC 4180 rows of a piece of the text that begins `base` bytes into it,
// the quotes at `literal` (places in the whole text) taken as plain
// characters, handed to `each(cells, at)` one at a time with where the
// text after the row begins; the cells' quotes are taken off (a doubled one
// is a quote of the cell) and they stay valid until `each` returns, which
// returns false to stop. Unless the piece is the `last`, the row it ends in
// is left for the next piece, which begins with it. A quote that never
// closes would swallow the rest of the text into one cell: the last piece's
// rows stop before it, and it is returned instead (the bytes that mean
// something in a CSV are ASCII, never part of a longer character in the
// encodings read).
template <typename F>
CsvEnd forEachCsvRow(std::string_view text, qint64 base, bool last, char sep, const std::vector<qint64>& literal, F each)
{
    std::string bytes;                  // the row's cells back to back
    std::vector<std::size_t> ends;      // where each cell ends in them
    std::vector<std::string_view> cells;
    bool quoted = false;
    bool any = false;
    const char* const t = text.data();
    const auto n = static_cast<qsizetype>(text.size());
    qsizetype i = 0;
    qsizetype rowStart = 0, quoteAt = -1;
    const auto endRow = [&](qsizetype at) {
        ends.push_back(bytes.size());
        cells.clear();
        std::size_t from = 0;
        for (std::size_t e : ends) {
            cells.emplace_back(bytes.data() + from, e - from);
            from = e;
        }
        const bool go = each(std::as_const(cells), at);
        bytes.clear();
        ends.clear();
        any = false;
        return go;
    };
    while (i < n) {
        if (quoted) {
            // Up to the next quote at once: a doubled one is a quote in the cell.
            const void* q = std::memchr(t + i, '"', static_cast<std::size_t>(n - i));
            const qsizetype j = q ? static_cast<const char*>(q) - t : n;
            bytes.append(t + i, static_cast<std::size_t>(j - i));
            if (j == n) {
                i = n;
                break;
            }
            if (j + 1 < n && t[j + 1] == '"') {
                bytes += '"';
                i = j + 2;
            } else {
                quoted = false;
                i = j + 1;
            }
            continue;
        }
        const char c = t[i];
        if (c == '"' && !std::binary_search(literal.begin(), literal.end(), base + i)) {
            quoted = true;
            quoteAt = i;
            any = true;
            ++i;
        } else if (c == sep) {
            ends.push_back(bytes.size());
            any = true;
            ++i;
        } else if (c == '\r' || c == '\n') {
            i += (c == '\r' && i + 1 < n && t[i + 1] == '\n') ? 2 : 1;
            if (any && !endRow(i))
                return {i, -1, true};
            rowStart = i;
        } else {
            // Plain characters up to the next one that means something.
            qsizetype j = i + 1;
            while (j < n && t[j] != sep && t[j] != '"' && t[j] != '\r' && t[j] != '\n')
                ++j;
            bytes.append(t + i, static_cast<std::size_t>(j - i));
            any = true;
            i = j;
        }
    }
    if (!last)
        return {rowStart, -1, false};
    if (quoted)
        return {rowStart, quoteAt, false};
    if (any && !endRow(n))
        return {n, -1, true};
    return {n, -1, false};
}

// The separator the header row uses most: comma, semicolon or tab.
char detectSeparator(std::string_view text)
{
    const std::string_view header = text.substr(0, text.find('\n'));
    char best = ',';
    qsizetype most = -1;
    for (char sep : {',', ';', '\t'}) {
        qsizetype n = 0;
        bool quoted = false;
        for (char c : header) {
            if (c == '"')
                quoted = !quoted;
            else if (c == sep && !quoted)
                ++n;
        }
        if (n > most) {
            most = n;
            best = sep;
        }
    }
    return best;
}

QString csvCell(const QString& value)
{
    const QString text = formulaLike(value) ? u'\'' + value : value;
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r') &&
        !text.contains(u';') && !text.startsWith(u' ') && !text.endsWith(u' '))
        return text;
    return u'"' + QString(text).replace(QLatin1String("\""), QLatin1String("\"\"")) + u'"';
}

} // namespace

const std::array<QStringList, kFieldCount>& csvHeaders()
{
    static const std::array<QStringList, kFieldCount> headers = {{
        {QStringLiteral("First Name"), QStringLiteral("Given Name"), QStringLiteral("FirstName")},
        {QStringLiteral("Last Name"), QStringLiteral("Family Name"), QStringLiteral("Surname"), QStringLiteral("LastName")},
        {QStringLiteral("Phone"), QStringLiteral("Mobile Phone"), QStringLiteral("Mobile Number"), QStringLiteral("Home Phone"),
         QStringLiteral("Business Phone"), QStringLiteral("Work Phone"), QStringLiteral("Primary Phone"),
         QStringLiteral("Phone 1 - Value"), QStringLiteral("Phone 2 - Value")},
        {QStringLiteral("E-mail Address"), QStringLiteral("E-mail"), QStringLiteral("Email"), QStringLiteral("Email Address"),
         QStringLiteral("Primary Email"), QStringLiteral("E-mail 1 - Value"), QStringLiteral("Secondary Email"),
         QStringLiteral("E-mail 2 Address"), QStringLiteral("E-mail 2 - Value")},
        {QStringLiteral("Company"), QStringLiteral("Organization"), QStringLiteral("Organization 1 - Name")},
        {QStringLiteral("Address"), QStringLiteral("Home Address"), QStringLiteral("Home Street"),
         QStringLiteral("Business Street"), QStringLiteral("Work Address"), QStringLiteral("Address 1 - Formatted")},
        {QStringLiteral("Notes"), QStringLiteral("Comments"), QStringLiteral("Note")},
    }};
    return headers;
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

namespace detail {

// The records read straight from a file, each written whole and then kept
// without its padding.
class RecordRoom
{
public:
    // Room for every contact the book could take from a file of `size`
    // bytes whose contacts take at least `smallest` bytes each: growing it
    // later would hold two copies at once.
    RecordRoom(QuickRecords* quick, qint64 size, qint64 smallest) : quick_(quick)
    {
        quick->records.clear();
        quick->record.clear();
        const qint64 most = std::min<qint64>(size / smallest + 16, kMaxRecord + 16);
        // A record's fields take no more than the file's text of them.
        quick->records.reserve(static_cast<qsizetype>(most), static_cast<qsizetype>(size));
        quick->record.reserve(static_cast<std::size_t>(most));
        memory::populate(quick->record.data(), quick->record.capacity() * sizeof(int));
    }

    // Room for one more record, kept only when keep() is called next.
    RecordDraft& next() { return record_; }
    // The record is the next contact's.
    void keep()
    {
        quick_->records.append(record_.bytes.data(), record_.used.data());
        quick_->record.push_back(static_cast<int>(quick_->records.size()) - 1);
    }
    // The same for a record written whole, padding and all.
    void keepWhole()
    {
        quick_->records.append(record_.bytes.data());
        quick_->record.push_back(static_cast<int>(quick_->records.size()) - 1);
    }
    // The next contact is contact `n` of the list, read the usual way.
    void listed(qsizetype n) { quick_->record.push_back(-static_cast<int>(n) - 1); }

private:
    QuickRecords* quick_;
    RecordDraft record_;
};

// Reads the cards of a text handed over in pieces, each ending where a
// line that begins a card starts (no line is ever cut), into contacts and,
// when asked, straight into records.
class VCardReader
{
public:
    VCardReader(ReadReport* report, QuickRecords* quick, qint64 total) : report_(report), quick_(quick), total_(total)
    {
        fallbackPage = report && report->codePage ? report->codePage : 1252;
        const qsizetype likely = static_cast<qsizetype>(total / 256);   // cards, at about the size of a small one
        if (!quick) {
            out_.reserve(likely);
            memory::preferHugePages(out_.constData(), static_cast<std::size_t>(out_.capacity()) * sizeof(Contact));
            return;
        }
        room_.emplace(quick, total, 64);   // no card is much smaller
    }

    bool stopped() const { return stopped_; }

    // The next piece, which begins `at` bytes into the text.
    void read(QByteArrayView text, qint64 at)
    {
        piece_ = text.data();
        pieceAt_ = at;
        const char* p = text.data();
        const char* const end = p + text.size();
        while (p < end && !stopped_) {
            if (quick_ && !inCard_ && agentDepth_ == 0 && beginsCard(p, end)) {
                if (const char* after = plain_.read(p, end, room_->next())) {
                    room_->keep();
                    p = after;
                    if (!goOn(p))
                        break;
                    continue;
                }
                // Otherwise read the usual way below.
            }
            // The usual way, until the reading is outside any card again
            // (without records to read straight, to the end).
            p = forEachLogicalLine(QByteArrayView(p, end), [this](QByteArrayView line, const char* from, const char* to) {
                return this->line(line, from, to) && (!quick_ || inCard_ || agentDepth_ > 0);
            });
        }
        // A card that goes on in the next piece keeps what it has of its source.
        if (inCard_ && !stopped_) {
            const char* from = cardFrom_ ? cardFrom_ : piece_;
            pendingSource_.append(from, end - from);
            cardFrom_ = nullptr;
        }
    }

    QList<Contact> finish()
    {
        if (inCard_ && !stopped_)
            finishCard(nullptr, false);
        if (report_ && !unknownCharsets_.isEmpty())
            report_->skipped << QStringLiteral("Character sets this program does not know (read as UTF-8 or code page %1): %2")
                                    .arg(fallbackPage)
                                    .arg(unknownCharsets_.join(QStringLiteral(", ")));
        return std::move(out_);
    }

private:
    // Whether the line at `p` is a BEGIN:VCARD line.
    static bool beginsCard(const char* p, const char* end)
    {
        const QByteArrayView line(p, lineEnd(p, end) - p);
        const qsizetype colon = colonOf(line);
        return colon >= 0 && cardMark(line, colon, kindOf(nameOf(line.first(colon))), Prop::Begin);
    }

    // The contacts read so far, either way.
    qsizetype contactsRead() const { return quick_ ? static_cast<qsizetype>(quick_->record.size()) : out_.size(); }

    // Tells how far reading has come now and then; false once told to stop.
    bool goOn(const char* at)
    {
        if (!report_ || !report_->progress || contactsRead() < toldAt_ + 256)
            return true;
        toldAt_ = contactsRead();
        if (report_->progress(pieceAt_ + (at - piece_), total_))
            return true;
        stopped_ = true;
        report_->cancelled = true;
        return false;
    }

    // Ends the card being read at `to` (nullptr: where the text ended).
    void finishCard(const char* to, bool whole)
    {
        const qsizetype number = contactsRead() + 1;
        if (room_)
            room_->listed(out_.size());
        Contact c = contactFrom(card_, report_);
        c.source = std::exchange(pendingSource_, QByteArray());
        if (to) {
            const char* from = cardFrom_ ? cardFrom_ : piece_;
            c.source.append(from, to - from);
        }
        if (!whole) {
            c.source.append("END:VCARD\r\n");
            if (report_)
                report_->skipped << QStringLiteral("Contact %1: a card without its END:VCARD line (imported as far as it goes)")
                                        .arg(number);
        }
        out_ << std::move(c);
        card_.clear();
        inCard_ = false;
        cardFrom_ = nullptr;
    }

    // One logical line, read the usual way; false once told to stop.
    bool line(QByteArrayView line, const char* from, const char* to)
    {
        if (!goOn(from))
            return false;
        if (line.trimmed().isEmpty())
            return true;
        const qsizetype colon = colonOf(line);
        const Prop kind = colon < 0 ? Prop::Other : kindOf(nameOf(line.first(colon)));
        const bool begins = colon >= 0 && cardMark(line, colon, kind, Prop::Begin);
        const bool ends = colon >= 0 && cardMark(line, colon, kind, Prop::End);
        if (agentDepth_ > 0) {
            // The lines of a card embedded in a property belong to it.
            agentDepth_ += begins ? 1 : ends ? -1 : 0;
            return true;
        }
        if (begins) {
            if (inCard_)
                finishCard(from, false);   // a card that never ended
            card_.clear();
            inCard_ = true;
            cardFrom_ = from;
        } else if (ends && inCard_) {
            finishCard(to, true);
        } else if (inCard_ && colon < 0) {
            if (report_)
                report_->skipped << QStringLiteral("Contact %1: a line that is no property: %2")
                                        .arg(contactsRead() + 1)
                                        .arg(QString::fromUtf8(line.first(std::min<qsizetype>(60, line.size()))));
        } else if (inCard_) {
            if (kind == Prop::Agent && startsWithLetters(line.sliced(colon + 1).trimmed(), "BEGIN:VCARD"))
                agentDepth_ = 1;   // vCard 2.1: the agent's card follows on the next lines
            if (kind != Prop::Begin && kind != Prop::End && kind != Prop::Meta) {
                if (kind == Prop::Other) {
                    Property p;
                    p.name = QString::fromLatin1(nameOf(line.first(colon))).toUpper();
                    card_ << p;   // named in the report, never parsed
                } else {
                    card_ << parseLine(line, colon, kind, &unknownCharsets_);
                }
            }
        } else if (report_) {
            report_->skipped << QStringLiteral("A line outside any card: %1").arg(QString::fromUtf8(line.first(std::min<qsizetype>(60, line.size()))));
        }
        return true;
    }

    ReadReport* const report_;
    QuickRecords* const quick_;
    const qint64 total_;
    QList<Contact> out_;
    PlainCard plain_;
    QList<Property> card_;
    QStringList unknownCharsets_;
    bool inCard_ = false;
    int agentDepth_ = 0;                // inside an embedded (AGENT) card
    const char* cardFrom_ = nullptr;    // where the card began, in this piece
    QByteArray pendingSource_;          // what earlier pieces held of the card
    std::optional<RecordRoom> room_;    // when records are read straight
    const char* piece_ = nullptr;
    qint64 pieceAt_ = 0;
    bool stopped_ = false;
    qsizetype toldAt_ = 0;              // the contacts read when progress was last told
};

// Where the piece of `text` that can be read now ends: before the last line
// that begins with "BEGIN:VCARD" (in any case), the next piece starting
// there; 0 when there is none.
qsizetype pieceEnd(QByteArrayView text)
{
    constexpr qsizetype kBegin = 11;   // "BEGIN:VCARD"
    for (qsizetype q = text.size() - kBegin; q > 0; --q)
        if ((text[q - 1] == '\n' || text[q - 1] == '\r') && (text[q] == 'B' || text[q] == 'b') &&
            sameLetters(text.sliced(q, kBegin), "BEGIN:VCARD"))
            return q;
    return 0;
}

} // namespace

QList<Contact> readVCard(const QByteArray& input, ReadReport* report)
{
    return readVCard(input, report, nullptr);
}

QList<Contact> readVCard(const QByteArray& input, ReadReport* report, QuickRecords* quick)
{
    const QByteArray data = fromUtf16(input);
    QByteArrayView bytes(data);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);   // a UTF-8 mark before the first card
    VCardReader reader(report, quick, bytes.size());
    reader.read(bytes, 0);
    return reader.finish();
}

namespace detail {

// Hands the file's bytes from where it stands to `read(text, at, last)` a
// piece at a time: `text` begins `at` bytes in and `last` says it reaches
// the end. `read` returns how much of the text it took (all of the last),
// or -1 to stop; what it leaves comes again at the front of the next piece,
// which grows when nothing was taken. False, with the reason in `error`, on
// a read error.
// A line longer than any value a record or a report could use is cut as
// it is read: its beginning is kept, the rest up to its end is not held at
// all, so that one huge line cannot take the memory; each cut is told.
struct LineCut {
    qint64 line;      // from 1
    qint64 dropped;   // bytes left out
};

class LineCap
{
public:
    static constexpr qsizetype kLongest = 1 << 20;   // 1 MiB: a large photo's line, unfolded

    // Cuts the lines of data[from, to) in place, carrying on from the bytes
    // before; returns the new end.
    qsizetype cut(char* data, qsizetype from, qsizetype to)
    {
        char* w = data + from;
        const char* r = data + from;
        const char* const end = data + to;
        while (r < end) {
            const auto* nl = static_cast<const char*>(std::memchr(r, '\n', static_cast<std::size_t>(end - r)));
            const char* const stop = nl ? nl : end;
            const qsizetype run = stop - r;
            if (dropping_) {
                dropped_ += run;
            } else {
                const qsizetype keep = std::min(run, kLongest - length_);
                if (w != r)
                    std::memmove(w, r, static_cast<std::size_t>(keep));
                w += keep;
                length_ += keep;
                if (keep < run) {
                    dropping_ = true;
                    dropped_ = run - keep;
                }
            }
            r = stop;
            if (nl) {
                finishLine();
                *w++ = *r++;   // the line break stays
            }
        }
        return w - data;
    }
    // The cuts so far, the last line's too once the text has ended.
    std::vector<LineCut> cuts()
    {
        finishLine();
        return cuts_;
    }

private:
    void finishLine()
    {
        if (dropping_)
            cuts_.push_back({line_, dropped_});
        dropping_ = false;
        length_ = 0;
        ++line_;
    }

    qsizetype length_ = 0;   // of the line being read, as kept
    qint64 line_ = 1;
    bool dropping_ = false;
    qint64 dropped_ = 0;
    std::vector<LineCut> cuts_;
};

// What the report says of the lines cut.
void reportCuts(const std::vector<LineCut>& cuts, ReadReport* report)
{
    if (!report)
        return;
    for (const LineCut& c : cuts)
        report->skipped << QStringLiteral("Line %1 is longer than any value a record can hold: its first %2 MiB was read, "
                                          "the %3 bytes after them were left out.")
                               .arg(c.line)
                               .arg(LineCap::kLongest >> 20)
                               .arg(c.dropped);
}

template <typename Read>
bool forEachPiece(QFile& in, qsizetype piece, QString* error, const Read& read, std::vector<LineCut>* cuts = nullptr)
{
    QByteArray buffer = memory::uninitialized(piece);
    qsizetype held = 0;      // bytes in the buffer, not yet taken
    qint64 at = 0;           // where the buffer's first byte is in the text
    LineCap cap;
    for (bool atEnd = false; !atEnd;) {
        if (held == buffer.size())
            buffer.resize(buffer.size() * 2);   // nothing taken from a whole piece
        const qint64 got = in.read(buffer.data() + held, buffer.size() - held);
        if (got < 0) {
            *error = in.errorString();
            return false;
        }
        atEnd = got == 0;
        held = cap.cut(buffer.data(), held, held + static_cast<qsizetype>(got));
        const qsizetype took = read(std::string_view(buffer.constData(), static_cast<std::size_t>(held)), at, atEnd);
        if (took < 0)
            break;
        std::memmove(buffer.data(), buffer.constData() + took, static_cast<std::size_t>(held - took));
        held -= took;
        at += took;
    }
    if (cuts)
        *cuts = cap.cuts();
    return true;
}

// A file in UTF-16 (it begins with the mark) is read whole, as UTF-8, by
// `readBytes` into `out`; false when it is no such file.
template <typename ReadBytes>
bool readUtf16File(QFile& in, QString* error, QList<Contact>* out, ReadBytes readBytes)
{
    if (!utf16Kind(in.peek(kUtf16Probe)).utf16)
        return false;
    const QByteArray all = memory::readAll(in);
    if (in.error() != QFileDevice::NoError)
        *error = in.errorString();
    else
        *out = readBytes(all);
    return true;
}

} // namespace

QList<Contact> readVCard(QFile& in, ReadReport* report, QuickRecords* quick, QString* error, qsizetype piece)
{
    error->clear();
    if (QList<Contact> out; readUtf16File(in, error, &out, [&](const QByteArray& all) { return readVCard(all, report, quick); }))
        return out;
    const QByteArray mark = in.peek(3);
    if (mark == "\xEF\xBB\xBF")
        in.skip(3);
    const qint64 total = in.isSequential() ? 0 : std::max<qint64>(0, in.size() - in.pos());
    VCardReader reader(report, quick, total);
    std::vector<LineCut> cuts;
    const bool read = forEachPiece(in, piece, error, [&](std::string_view text, qint64 at, bool last) -> qsizetype {
        if (reader.stopped())
            return -1;
        // Whole cards only, but for the last piece.
        const QByteArrayView view(text.data(), static_cast<qsizetype>(text.size()));
        const qsizetype end = last ? view.size() : pieceEnd(view);
        if (end > 0)
            reader.read(view.first(end), at);
        return end;
    }, &cuts);
    if (!read)
        return {};
    reportCuts(cuts, report);
    return reader.finish();
}

namespace detail {

// One contact as a card.
// A field's text as stored: up to the first NUL, without the spaces that
// pad it (what fromRecord() decodes).
std::string_view storedText(const char* record, Field f)
{
    const FieldLayout l = layoutOf(f);
    std::string_view text(record + l.offset, l.width);
    text = text.substr(0, std::min(text.size(), text.find('\0')));
    // The padding eight bytes at a time, then byte by byte.
    static constexpr std::string_view kEightSpaces = "        ";
    while (text.size() >= 8 && text.substr(text.size() - 8) == kEightSpaces)
        text.remove_suffix(8);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

char* putLiteral(char* out, const char* text)
{
    while (*text)
        *out++ = *text++;
    return out;
}

} // namespace

namespace detail {

// An address part in a column of its own: which address ("Home",
// "Business", ...) and which part.
struct AddressColumn {
    QString group;
    int part;   // 0 street, 1 street 2, 2 city, 3 region, 4 postal code, 5 country
};

std::optional<AddressColumn> addressColumn(const QString& header)
{
    static const QRegularExpression re(
        QStringLiteral("^(home|business|work|other|mailing|primary)?\\s*(address\\s*)?(street|street 1|street 2|street 3|"
                       "city|locality|state|region|province|zip|zip code|zipcode|postal code|postcode|country|"
                       "country/region|country code)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(header.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const QString part = m.captured(3).toLower();
    int n = 0;
    if (part.startsWith(QLatin1String("street")))
        n = part.endsWith(u'2') || part.endsWith(u'3') ? 1 : 0;
    else if (part == QLatin1String("city") || part == QLatin1String("locality"))
        n = 2;
    else if (part == QLatin1String("state") || part == QLatin1String("region") || part == QLatin1String("province"))
        n = 3;
    else if (part.startsWith(QLatin1String("zip")) || part.startsWith(QLatin1String("post")))
        n = 4;
    else
        n = 5;
    return AddressColumn{m.captured(1).toLower(), n};
}

// More columns of a field than the header table names: "Phone 3 - Value",
// "E-mail 4 Address", "Email Work", "Mobile".
int fieldOfPattern(const QString& header)
{
    static const QRegularExpression phone(QStringLiteral("^(phone \\d+ - value|.*\\b(phone|mobile|cell|fax|pager)\\b.*)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression email(QStringLiteral("^(e-?mail\\b.*)$"), QRegularExpression::CaseInsensitiveOption);
    if (header.contains(QLatin1String("type"), Qt::CaseInsensitive) || header.contains(QLatin1String("label"), Qt::CaseInsensitive) ||
        header.contains(QLatin1String("display"), Qt::CaseInsensitive))
        return -1;
    if (email.match(header.trimmed()).hasMatch())
        return static_cast<int>(Field::Email);
    if (phone.match(header.trimmed()).hasMatch())
        return static_cast<int>(Field::Phone);
    return -1;
}

// Whether a first row is data rather than column names: it holds an e-mail
// address or a telephone number.
bool looksLikeAContact(const QStringList& row)
{
    static const QRegularExpression email(QStringLiteral("^[^@\\s]+@[^@\\s]+\\.[^@\\s]+$"));
    static const QRegularExpression phone(QStringLiteral("^\\+?[\\d ()./-]{5,}$"));
    return std::any_of(row.begin(), row.end(), [](const QString& cell) {
        const QString c = cell.trimmed();
        return email.match(c).hasMatch() || (phone.match(c).hasMatch() && std::count_if(c.begin(), c.end(), [](QChar ch) {
                                                                             return ch.isDigit();
                                                                         }) >= 5);
    });
}

QString firstRowIsAContact(const QStringList& row)
{
    QString shown = row.mid(0, 4).join(QStringLiteral(", "));
    if (row.size() > 4)
        shown += QStringLiteral(", ...");
    return QStringLiteral("The first row looks like a contact (%1), not a row of column names, so nothing was read "
                          "from the file. Add a first row that names the columns, for example\n"
                          "First Name,Last Name,E-mail,Phone,Company,Address,Notes\n"
                          "(the columns read are listed in the README), and import the file again.")
        .arg(shown);
}

// A card made of a CSV row: what the left-out file keeps of it.
QByteArray cardOf(const Contact& c)
{
    Contact whole = c;
    whole[Field::Comments] = (c.extras + (c.note.isEmpty() ? QStringList() : QStringList{c.note})).join(kCrLf);
    return writeVCard({whole});
}

} // namespace

void Contact::composeComments()
{
    QStringList all = extras;
    if (!note.isEmpty())
        all << note;
    fields[static_cast<std::size_t>(Field::Comments)] = all.join(kCrLf);
}

QList<Contact> readCsv(const QByteArray& input, ReadReport* report)
{
    return readCsv(input, report, nullptr);
}

namespace detail {

// The contacts of a CSV's text of `total` bytes, which `pieces(read)` hands
// over a piece at a time to read(text, at, last) (see forEachPiece()),
// with the quotes at `literal` taken as plain characters. When the text
// ends inside a quote that never closes, what was read is of no use:
// `openQuote` is where it was opened.
template <typename Pieces>
QList<Contact> readCsvText(const Pieces& pieces, qint64 total, bool utf8, ReadReport* report, QuickRecords* quick,
                           const std::vector<qint64>& literal, qint64* openQuote)
{
    std::optional<RecordRoom> room;
    if (quick)
        room.emplace(quick, total, 8);   // a row of a few short cells
    // A cell's text is decoded when it is needed, never the whole file's at once.
    const auto decoded = [utf8](std::string_view cell) {
        if (cell.empty())
            return QString();
        if (utf8)
            return QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size()));
        return codepage::decodeWith(fallbackPage, cell);
    };
    QList<Contact> out;
    // Which columns feed which field: the first matching column is the field,
    // further ones (a second phone) become extras, as do columns of no
    // field at all; address parts are put together.
    QStringList header;
    std::array<QList<qsizetype>, kFieldCount> columns;
    QList<qsizetype> extraColumns;
    QMap<QString, QList<std::pair<int, qsizetype>>> addressGroups;   // group -> (part, column)
    QStringList groupOrder;
    const auto readHeader = [&]() -> bool {
        int known = 0;
        for (qsizetype i = 0; i < header.size(); ++i) {
            const QString h = header[i].trimmed();
            bool used = false;
            // Address parts first: "Home Street" beside "Home City" is a part.
            if (const auto a = addressColumn(h)) {
                if (!addressGroups.contains(a->group))
                    groupOrder << a->group;
                addressGroups[a->group].append({a->part, i});
                used = true;
            }
            for (std::size_t f = 0; f < kFieldCount && !used; ++f)
                for (const QString& name : csvHeaders()[f])
                    if (h.compare(name, Qt::CaseInsensitive) == 0) {
                        columns[f] << i;
                        used = true;
                        break;
                    }
            if (!used) {
                if (const int f = fieldOfPattern(h); f >= 0) {
                    columns[static_cast<std::size_t>(f)] << i;
                    used = true;
                }
            }
            if (used)
                ++known;
            else if (!h.isEmpty())
                extraColumns << i;
        }
        if (known == 0) {
            // No column this program knows: a file without a header row, or of
            // something else. Nothing is guessed.
            if (report)
                report->skipped << (looksLikeAContact(header) ? firstRowIsAContact(header)
                                                              : QStringLiteral("The first row names no column this program reads "
                                                                               "(First Name, Last Name, E-mail, Phone, ...): the file "
                                                                               "has no header row or holds no contacts. Nothing was "
                                                                               "read from it."));
            return false;
        }
        return true;
    };
    // A row whose cells are all in the first column of a field each, every
    // other column empty, can go straight into its record: these columns.
    std::array<qsizetype, kFieldCount> first;
    std::vector<qsizetype> others;
    const auto readStraight = [&] {
        first.fill(-1);
        for (std::size_t f = 0; f < kFieldCount; ++f)
            for (qsizetype col : columns[f]) {
                if (first[f] < 0)
                    first[f] = col;
                else
                    others.push_back(col);
            }
        for (const auto& group : std::as_const(addressGroups))
            for (const auto& part : group)
                others.push_back(part.second);
        others.insert(others.end(), extraColumns.begin(), extraColumns.end());
    };
    enum class Straight { Stored, Empty, No };
    const auto storeStraight = [&](const std::vector<std::string_view>& cells, RecordDraft& r) {
        for (qsizetype col = header.size(); col < static_cast<qsizetype>(cells.size()); ++col)
            if (!cells[static_cast<std::size_t>(col)].empty())
                return Straight::No;
        for (qsizetype col : others)
            if (col < static_cast<qsizetype>(cells.size()) && !cells[static_cast<std::size_t>(col)].empty())
                return Straight::No;
        bool empty = true;
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            const std::string_view v = first[f] >= 0 && first[f] < static_cast<qsizetype>(cells.size())
                                           ? cells[static_cast<std::size_t>(first[f])]
                                           : std::string_view();
            if (!crLfOnly(v) || (!v.empty() && v.front() == '\'') || !quietlyInto(r, static_cast<Field>(f), v))
                return Straight::No;
            empty = empty && v.empty();
        }
        return empty ? Straight::Empty : Straight::Stored;
    };
    qsizetype rowNumber = 0;
    QStringList row;
    qint64 base = 0;   // where the piece being read begins in the text
    const auto readRow = [&](const std::vector<std::string_view>& cells, qsizetype at) {
        if (rowNumber++ == 0) {
            for (std::string_view cell : cells)
                header << decoded(cell);
            if (!readHeader())
                return false;
            readStraight();
            return true;
        }
        if (report && report->progress && rowNumber % 256 == 0 && !report->progress(base + at, total)) {
            report->cancelled = true;
            return false;
        }
        if (room && utf8) {
            // A row the book stores whole and without a word becomes its record at once.
            switch (storeStraight(cells, room->next())) {
            case Straight::Stored:
                room->keep();
                return true;
            case Straight::Empty:
                return true;   // an empty row of the sheet
            case Straight::No:
                break;
            }
        }
        row.clear();
        for (std::string_view cell : cells) {
            // The quote an export puts before what looks like a formula.
            QString v = decoded(cell);
            if (v.startsWith(u'\'') && formulaLike(QStringView(v).sliced(1)))
                v.remove(0, 1);
            row << v;
        }
        Contact c;
        QStringList extra;
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            for (qsizetype col : columns[f]) {
                const QString v = lfToCrLf(row.value(col));
                if (v.isEmpty())
                    continue;
                if (f == static_cast<std::size_t>(Field::Comments))
                    c.note = c.note.isEmpty() ? v : c.note + kCrLf + v;
                else if (c.fields[f].isEmpty())
                    c.fields[f] = v;
                else
                    extra << header[col].trimmed().toLower() + u' ' + oneLine(v);
            }
        }
        for (const QString& group : std::as_const(groupOrder)) {
            QList<std::pair<int, qsizetype>> parts = addressGroups.value(group);
            std::stable_sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            QStringList street, town;
            QString country;
            for (const auto& [part, col] : parts) {
                const QString v = oneLine(toCrLf(row.value(col)));
                if (v.isEmpty())
                    continue;
                if (part <= 1)
                    street << v;
                else if (part <= 4)
                    town << v;
                else
                    country = v;
            }
            QStringList lines;
            if (!street.isEmpty())
                lines << street.join(QStringLiteral(", "));
            if (!town.isEmpty())
                lines << town.join(u' ');
            if (!country.isEmpty())
                lines << country;
            if (lines.isEmpty())
                continue;
            if (c[Field::Address].isEmpty())
                c[Field::Address] = lines.join(kCrLf);
            else
                extra << QStringLiteral("address ") + (group.isEmpty() ? QString() : group + u' ') + lines.join(QStringLiteral(", "));
        }
        const QString fullName = QStringList{c[Field::FirstName], c[Field::LastName]}.join(u' ').simplified();
        for (qsizetype col : std::as_const(extraColumns)) {
            const QString v = oneLine(toCrLf(row.value(col)));
            // A display name that is just the name says nothing more.
            if (v.isEmpty() || (header[col].contains(QLatin1String("name"), Qt::CaseInsensitive) &&
                                v.compare(fullName, Qt::CaseInsensitive) == 0))
                continue;
            extra << header[col].trimmed().toLower() + u' ' + v;
        }
        // Cells past the header's columns are data too.
        for (qsizetype col = header.size(); col < row.size(); ++col)
            if (const QString v = oneLine(toCrLf(row.value(col))); !v.isEmpty())
                extra << QStringLiteral("column %1 ").arg(col + 1) + v;
        c.extras = extra;
        c.composeComments();
        const bool empty = std::all_of(c.fields.begin(), c.fields.end(), [](const QString& s) { return s.isEmpty(); });
        if (empty)
            return true;   // an empty row of the sheet
        if (room) {
            // Stored whole after all (a code page's text, a second phone
            // left empty ...).
            if (quietRecord(c, room->next().bytes.data())) {
                room->keepWhole();
                return true;
            }
            room->listed(out.size());
        }
        c.source = cardOf(c);
        out << std::move(c);
        return true;
    };
    char sep = 0;
    *openQuote = -1;
    pieces([&](std::string_view text, qint64 at, bool last) -> qsizetype {
        if (!sep)
            sep = detectSeparator(text);
        base = at;
        const CsvEnd end = forEachCsvRow(text, at, last, sep, literal, readRow);
        if (end.stopped)
            return -1;
        if (end.openQuote >= 0)
            *openQuote = at + end.openQuote;
        return last ? static_cast<qsizetype>(text.size()) : end.rest;
    });
    return out;
}

// The contacts of a CSV's text, read again with each quote that never
// closes taken as a plain character (the report names their lines, which
// `lineOf(place)` tells).
template <typename Pieces, typename LineOf>
QList<Contact> readCsvPieces(const Pieces& pieces, qint64 total, bool utf8, ReadReport* report, QuickRecords* quick, LineOf lineOf)
{
    std::vector<qint64> literal;
    QStringList unclosed;
    const qsizetype noted = report ? report->skipped.size() : 0;
    for (;;) {
        qint64 openQuote;
        QList<Contact> out = readCsvText(pieces, total, utf8, report, quick, literal, &openQuote);
        if (openQuote < 0) {
            if (report)
                for (qsizetype i = 0; i < unclosed.size(); ++i)
                    report->skipped.insert(noted + i, unclosed[i]);
            return out;
        }
        literal.insert(std::upper_bound(literal.begin(), literal.end(), openQuote), openQuote);
        unclosed << QStringLiteral("Line %1: a quote that is never closed (read as a plain character)").arg(lineOf(openQuote));
    }
}

} // namespace

QList<Contact> readCsv(const QByteArray& input, ReadReport* report, QuickRecords* quick)
{
    fallbackPage = report && report->codePage ? report->codePage : 1252;
    const QByteArray data = fromUtf16(input);
    QByteArrayView bytes = data;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    const std::string_view text(bytes.data(), static_cast<std::size_t>(bytes.size()));
    const auto whole = [&](const auto& read) { read(text, 0, true); };
    const auto lineOf = [&](qint64 at) { return 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n')); };
    return readCsvPieces(whole, bytes.size(), readAsUtf8(bytes), report, quick, lineOf);
}

QList<Contact> readCsv(QFile& in, ReadReport* report, QuickRecords* quick, QString* error, qsizetype piece)
{
    error->clear();
    if (QList<Contact> out; readUtf16File(in, error, &out, [&](const QByteArray& all) { return readCsv(all, report, quick); }))
        return out;
    const QByteArray mark = in.peek(3);
    fallbackPage = report && report->codePage ? report->codePage : 1252;
    const qint64 origin = in.pos() + (mark == "\xEF\xBB\xBF" ? 3 : 0);
    const qint64 total = std::max<qint64>(0, in.size() - origin);
    // The whole text's bytes say how it is encoded before any cell is decoded.
    std::vector<LineCut> cuts;
    std::vector<LineCut>* firstPass = &cuts;   // every pass cuts the same lines
    const auto pieces = [&](const auto& read) {
        if (error->isEmpty() && !in.seek(origin))
            *error = in.errorString();
        if (error->isEmpty())
            forEachPiece(in, piece, error, read, std::exchange(firstPass, nullptr));
    };
    Utf8Scan scan;
    pieces([&](std::string_view text, qint64, bool last) { return scan.feed(text, last); });
    reportCuts(cuts, report);
    const auto lineOf = [&](qint64 place) {
        int line = 1;
        pieces([&](std::string_view text, qint64 at, bool) -> qsizetype {
            const auto upTo = static_cast<std::size_t>(std::min<qint64>(place - at, static_cast<qint64>(text.size())));
            line += static_cast<int>(std::count(text.begin(), text.begin() + static_cast<qsizetype>(upTo), '\n'));
            return upTo < text.size() ? -1 : static_cast<qsizetype>(text.size());
        });
        return line;
    };
    QList<Contact> out = readCsvPieces(pieces, total, scan.utf8(), report, quick, lineOf);
    if (!error->isEmpty())
        return {};
    return out;
}

} // namespace pb::exchange
