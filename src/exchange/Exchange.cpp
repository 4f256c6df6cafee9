#include "exchange/Exchange.h"

#include "platform/Codepage.h"

#include <QStringDecoder>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace pb::exchange {

namespace {

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

// UTF-8 (with or without its mark) when the bytes are valid UTF-8,
// Windows-1252 otherwise.
QString decodeText(QByteArrayView bytes)
{
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(bytes);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return codepage::decodeWith(1252, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// --- vCard ------------------------------------------------------------------------

// The properties a card is read for; the others are passed over unparsed.
enum class Prop { Other, Begin, End, N, FN, Tel, Email, Adr, Org, Note, Photo };

bool sameLetters(QByteArrayView a, const char* b)
{
    const auto n = static_cast<qsizetype>(std::strlen(b));
    if (a.size() != n)
        return false;
    for (qsizetype i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != b[i])
            return false;
    return true;
}

Prop kindOf(QByteArrayView name)
{
    static const std::pair<const char*, Prop> names[] = {
        {"BEGIN", Prop::Begin}, {"END", Prop::End},   {"N", Prop::N},         {"FN", Prop::FN},
        {"TEL", Prop::Tel},     {"EMAIL", Prop::Email}, {"ADR", Prop::Adr},   {"ORG", Prop::Org},
        {"NOTE", Prop::Note},   {"PHOTO", Prop::Photo}, {"LOGO", Prop::Photo},
    };
    for (const auto& [text, kind] : names)
        if (sameLetters(name, text))
            return kind;
    return Prop::Other;
}

struct Property {
    Prop kind = Prop::Other;
    QList<QPair<QString, QString>> params;   // upper-case names
    QString value;                   // raw, still escaped
    QString param(const QString& n) const
    {
        QStringList out;
        for (const auto& [k, v] : params)
            if (k == n)
                out << v;
        return out.join(u',');
    }
    // TYPE values, also vCard 2.1's bare ones (TEL;WORK;PREF).
    QStringList types() const
    {
        QStringList out;
        for (const auto& [k, v] : params)
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

// Calls `each` with every unfolded logical line: CR LF (or LF, or CR) plus
// a space or tab continues a line; a quoted-printable value ending in "="
// continues on the next line. Lines that are not folded are not copied.
template <typename F>
void forEachLogicalLine(QByteArrayView data, F each)
{
    QByteArray joined;        // a folded line put together
    bool isJoined = false;
    QByteArrayView line;      // the line being gathered
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
        const QByteArrayView last = current();
        if (any && last.endsWith('=') && last.toByteArray().toUpper().contains("QUOTED-PRINTABLE")) {
            join({});   // a soft line break of quoted-printable text
            joined.chop(1);
            joined.append(raw);
        } else if (any && !raw.isEmpty() && (raw[0] == ' ' || raw[0] == '\t')) {
            join(raw.sliced(1));
        } else {
            if (any)
                each(current());
            line = raw;
            isJoined = false;
            any = true;
        }
        if (e == end)
            break;
        p = e + ((*e == '\r' && e + 1 < end && e[1] == '\n') ? 2 : 1);
    }
    if (any)
        each(current());
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

// The property's name without its group (item1.TEL) or parameters.
QByteArrayView nameOf(QByteArrayView head)
{
    QByteArrayView name = head.first(std::min(head.size(), head.indexOf(';') < 0 ? head.size() : head.indexOf(';'))).trimmed();
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0)
        name = name.sliced(dot + 1);
    return name;
}

QString decodeValue(QByteArrayView value, const QString& charset)
{
    if (charset.isEmpty() || charset == QLatin1String("UTF-8"))
        return decodeText(value);
    if (charset.startsWith(QLatin1String("WINDOWS-")) || charset.startsWith(QLatin1String("CP")))
        return codepage::decodeWith(codepage::parse(charset).value_or(1252),
                                    std::string_view(value.data(), static_cast<std::size_t>(value.size())));
    if (charset == QLatin1String("ISO-8859-1") || charset == QLatin1String("LATIN1"))
        return QString::fromLatin1(value);
    return decodeText(value);
}

Property parseLine(QByteArrayView line, qsizetype colon, Prop kind)
{
    Property p;
    p.kind = kind;
    const QByteArrayView head = line.first(colon);
    for (qsizetype at = head.indexOf(';'); at >= 0;) {
        const qsizetype next = head.indexOf(';', at + 1);
        const QByteArrayView param = head.sliced(at + 1, (next < 0 ? head.size() : next) - at - 1).trimmed();
        const qsizetype eq = param.indexOf('=');
        if (eq < 0)
            p.params.append({QString::fromLatin1(param).toUpper(), QString()});
        else
            p.params.append({QString::fromLatin1(param.first(eq)).toUpper(), QString::fromUtf8(param.sliced(eq + 1))});
        at = next;
    }
    const QByteArrayView value = line.sliced(colon + 1);
    const QString charset = p.params.isEmpty() ? QString() : p.param(QStringLiteral("CHARSET")).toUpper();
    if (!p.params.isEmpty() &&
        (p.param(QStringLiteral("ENCODING")).compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0 ||
         p.types().contains(QStringLiteral("QUOTED-PRINTABLE"))))
        p.value = decodeValue(decodeQuotedPrintable(value), charset);
    else
        p.value = decodeValue(value, charset);
    return p;
}

QString typeLabel(const Property& p)
{
    QStringList t = p.types();
    t.removeAll(QStringLiteral("PREF"));
    t.removeAll(QStringLiteral("VOICE"));
    t.removeAll(QStringLiteral("INTERNET"));
    t.removeAll(QStringLiteral("QUOTED-PRINTABLE"));
    return t.isEmpty() ? QString() : QStringLiteral(" (") + t.join(u',').toLower() + u')';
}

QString addressText(const Property& p)
{
    // post office box; extended; street; locality; region; postal code; country
    const QStringList a = splitEscaped(p.value, u';');
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

// Of several TEL (EMAIL, ADR) the preferred one goes to the field, the first
// when none is; the others are kept in the comments.
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
    for (qsizetype i = 0; i < props.size(); ++i)
        if (i != chosen)
            extra << label + typeLabel(props[i]) + QStringLiteral(": ") + QString(text(props[i])).replace(kCrLf, QLatin1String(", "));
}

QString plainText(const Property& p)
{
    return toCrLf(unescape(p.value));
}

Contact contactFrom(const QList<Property>& card, ReadReport* report)
{
    Contact c;
    QList<Property> tels, emails, adrs;
    QString fn;
    bool haveN = false;
    QStringList notes;
    for (const Property& p : card) {
        if (p.kind == Prop::N) {
            const QStringList n = splitEscaped(p.value, u';');
            c[Field::LastName] = n.value(0);
            c[Field::FirstName] = n.value(2).isEmpty() ? n.value(1) : n.value(1) + u' ' + n.value(2);
            haveN = !c[Field::LastName].isEmpty() || !c[Field::FirstName].isEmpty();
        } else if (p.kind == Prop::FN) {
            fn = unescape(p.value);
        } else if (p.kind == Prop::Tel) {
            tels << p;
        } else if (p.kind == Prop::Email) {
            emails << p;
        } else if (p.kind == Prop::Adr) {
            adrs << p;
        } else if (p.kind == Prop::Org) {
            c[Field::Company] = splitEscaped(p.value, u';').join(QStringLiteral(", "));
            while (c[Field::Company].endsWith(QLatin1String(", ")))
                c[Field::Company].chop(2);
        } else if (p.kind == Prop::Note) {
            notes << plainText(p);
        } else if (p.kind == Prop::Photo) {
            if (report)
                ++report->photosSkipped;
        }
    }
    if (!haveN && !fn.isEmpty()) {
        const qsizetype space = fn.lastIndexOf(u' ');
        c[Field::FirstName] = space < 0 ? fn : fn.left(space);
        c[Field::LastName] = space < 0 ? QString() : fn.mid(space + 1);
    }
    QStringList extra;
    takePreferred(tels, c, Field::Phone, QStringLiteral("Phone"), plainText, extra);
    takePreferred(emails, c, Field::Email, QStringLiteral("E-mail"), plainText, extra);
    takePreferred(adrs, c, Field::Address, QStringLiteral("Address"), addressText, extra);
    notes += extra;
    c[Field::Comments] = notes.join(kCrLf);
    return c;
}

// Lines of at most 75 octets, continued with a space, never inside a
// UTF-8 character.
void appendFolded(QByteArray& out, const QByteArray& line)
{
    qsizetype at = 0;
    qsizetype room = 75;
    while (line.size() - at > room) {
        qsizetype cut = at + room;
        while (cut > at && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        out.append(line.constData() + at, cut - at).append("\r\n ");
        at = cut;
        room = 74;
    }
    out.append(line.constData() + at, line.size() - at).append("\r\n");
}

// --- CSV ------------------------------------------------------------------------------

QList<QStringList> parseCsv(const QString& text, QChar sep)
{
    QList<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                cell += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                cell += c;
            }
            continue;
        }
        if (c == u'"') {
            quoted = true;
            any = true;
        } else if (c == sep) {
            row << cell;
            cell.clear();
            any = true;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            if (any || !cell.isEmpty()) {
                row << cell;
                rows << row;
            }
            row.clear();
            cell.clear();
            any = false;
        } else {
            cell += c;
            any = true;
        }
    }
    if (any || !cell.isEmpty()) {
        row << cell;
        rows << row;
    }
    return rows;
}

QChar detectSeparator(const QString& text)
{
    const QString header = text.left(text.indexOf(u'\n') < 0 ? text.size() : text.indexOf(u'\n'));
    QChar best = u',';
    qsizetype most = -1;
    for (QChar sep : {QChar(u','), QChar(u';'), QChar(u'\t')}) {
        qsizetype n = 0;
        bool quoted = false;
        for (QChar c : header) {
            if (c == u'"')
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

QString csvCell(const QString& text)
{
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

QList<Contact> readVCard(const QByteArray& data, ReadReport* report)
{
    QList<Contact> out;
    out.reserve(data.size() / 256);   // about the size of a small card
    QList<Property> card;
    bool inCard = false;
    QByteArrayView bytes(data);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);   // a UTF-8 mark before the first card
    forEachLogicalLine(bytes, [&](QByteArrayView line) {
        if (line.trimmed().isEmpty())
            return;
        const qsizetype colon = colonOf(line);
        const Prop kind = colon < 0 ? Prop::Other : kindOf(nameOf(line.first(colon)));
        if (kind == Prop::Begin && sameLetters(line.sliced(colon + 1).trimmed(), "VCARD")) {
            card.clear();
            inCard = true;
        } else if (kind == Prop::End && inCard) {
            out << contactFrom(card, report);
            inCard = false;
        } else if (inCard) {
            if (kind != Prop::Other && kind != Prop::Begin && kind != Prop::End)
                card << parseLine(line, colon, kind);
        } else if (report) {
            report->skipped << QStringLiteral("A line outside any card: %1").arg(QString::fromUtf8(line.first(std::min<qsizetype>(60, line.size()))));
        }
    });
    if (inCard && report)
        report->skipped << QStringLiteral("A card without its END:VCARD line");
    return out;
}

QByteArray writeVCard(const QList<Contact>& contacts, VCardVersion version)
{
    QByteArray out;
    out.reserve(contacts.size() * 320);
    QByteArray line;
    const auto put = [&](const char* name, std::initializer_list<QStringView> parts, const char* tail = "") {
        line.resize(0);
        line.append(name);
        bool first = true;
        for (QStringView part : parts) {
            if (!first)
                line.append(';');
            appendEscaped(line, part);
            first = false;
        }
        line.append(tail);
        appendFolded(out, line);
    };
    for (const Contact& c : contacts) {
        out.append("BEGIN:VCARD\r\n").append(version == VCardVersion::V40 ? "VERSION:4.0\r\n" : "VERSION:3.0\r\n");
        put("N:", {c[Field::LastName], c[Field::FirstName]}, ";;;");
        const QString fn = QStringList{c[Field::FirstName], c[Field::LastName]}.join(u' ').trimmed();
        put("FN:", {fn});
        if (!c[Field::Phone].isEmpty())
            put("TEL;TYPE=voice:", {c[Field::Phone]});
        if (!c[Field::Email].isEmpty())
            put(version == VCardVersion::V40 ? "EMAIL:" : "EMAIL;TYPE=internet:", {c[Field::Email]});
        if (!c[Field::Company].isEmpty())
            put("ORG:", {c[Field::Company]});
        if (!c[Field::Address].isEmpty())
            put("ADR:;;", {c[Field::Address]}, ";;;;");
        if (!c[Field::Comments].isEmpty())
            put("NOTE:", {c[Field::Comments]});
        out.append("END:VCARD\r\n");
    }
    return out;
}

QList<Contact> readCsv(const QByteArray& data, ReadReport* report)
{
    const QString text = decodeText(data);
    const QList<QStringList> rows = parseCsv(text, detectSeparator(text));
    QList<Contact> out;
    if (rows.isEmpty())
        return out;
    // Which columns feed which field: the first matching column is the field,
    // further ones (a second phone) go to the comments.
    const QStringList header = rows.first();
    std::array<QList<qsizetype>, kFieldCount> columns;
    QList<qsizetype> unused;
    for (qsizetype i = 0; i < header.size(); ++i) {
        bool used = false;
        for (std::size_t f = 0; f < kFieldCount && !used; ++f)
            for (const QString& name : csvHeaders()[f])
                if (header[i].trimmed().compare(name, Qt::CaseInsensitive) == 0) {
                    columns[f] << i;
                    used = true;
                    break;
                }
        if (!used && !header[i].trimmed().isEmpty())
            unused << i;
    }
    if (report && !unused.isEmpty()) {
        QStringList names;
        for (qsizetype i : unused)
            names << header[i];
        report->skipped << QStringLiteral("Columns not read: %1").arg(names.join(QStringLiteral(", ")));
    }
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QStringList& row = rows[r];
        Contact c;
        QStringList extra;
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            for (qsizetype col : columns[f]) {
                const QString v = toCrLf(row.value(col));
                if (v.isEmpty())
                    continue;
                if (c.fields[f].isEmpty() && f != static_cast<std::size_t>(Field::Comments))
                    c.fields[f] = v;
                else if (f == static_cast<std::size_t>(Field::Comments))
                    c.fields[f] = c.fields[f].isEmpty() ? v : c.fields[f] + kCrLf + v;
                else
                    extra << header[col] + QStringLiteral(": ") + v;
            }
        }
        if (!extra.isEmpty()) {
            QStringList all;
            if (!c[Field::Comments].isEmpty())
                all << c[Field::Comments];
            c[Field::Comments] = (all + extra).join(kCrLf);
        }
        bool empty = std::all_of(c.fields.begin(), c.fields.end(), [](const QString& s) { return s.isEmpty(); });
        if (empty) {
            if (report)
                report->skipped << QStringLiteral("Row %1 holds nothing").arg(r + 1);
            continue;
        }
        out << c;
    }
    return out;
}

BookCheck checkBook(const QByteArray& bytes)
{
    BookCheck check;
    // A last record cut short reads, as the program reads it, completed with
    // zero bytes.
    const qsizetype size = static_cast<qsizetype>(kRecordSize);
    const qsizetype records = (bytes.size() + size - 1) / size;
    check.strayBytes = bytes.size() % size;
    int lastRecord = 0;   // the last record that is not a free slot
    bool counting = true;
    for (qsizetype i = 0; i < records; ++i) {
        ContactRecord r;
        std::copy_n(bytes.constData() + i * size, std::min(size, bytes.size() - i * size), r.bytes.begin());
        const int n = static_cast<int>(i + 1);
        if (r.isFree()) {
            counting = false;
            continue;
        }
        if (counting)
            check.count = n;
        else
            check.uncounted << n;
        lastRecord = n;
        for (Field f : kAllFields) {
            const std::string_view raw = r.raw(f);
            if (raw.find('\0') == std::string_view::npos && raw.find("  ") == std::string_view::npos)
                check.noEnd << qMakePair(n, f);
            if (std::any_of(raw.begin(), raw.end(), [](char c) { return !codepage::defines(static_cast<unsigned char>(c)); }))
                check.undefined << qMakePair(n, f);
        }
    }
    for (int n = check.count + 1; n < lastRecord; ++n)
        if (!check.uncounted.contains(n))
            check.freeSlots << n;
    return check;
}

QString describe(const BookCheck& c)
{
    static const char* const names[] = {"FirstName", "LastName", "Phone", "E-mail", "Company", "Address", "Comments"};
    const auto places = [](const QList<QPair<int, Field>>& list) {
        QStringList out;
        for (const auto& [n, f] : list)
            out << QStringLiteral("record %1 %2").arg(n).arg(QLatin1String(names[static_cast<int>(f)]));
        return out.join(QStringLiteral(", "));
    };
    const auto numbers = [](const QList<int>& list) {
        QStringList out;
        for (int n : list)
            out << QString::number(n);
        return out.join(QStringLiteral(", "));
    };
    QStringList lines;
    lines << QStringLiteral("The program counts %1 records.").arg(c.count);
    if (c.strayBytes)
        lines << QStringLiteral("The file ends in %1 bytes that are no whole record (read as one completed with zero bytes).").arg(c.strayBytes);
    if (!c.freeSlots.isEmpty())
        lines << QStringLiteral("Free slots inside the book: %1.").arg(numbers(c.freeSlots));
    if (!c.uncounted.isEmpty())
        lines << QStringLiteral("Records after a free slot, never shown: %1.").arg(numbers(c.uncounted));
    if (!c.noEnd.isEmpty())
        lines << QStringLiteral("Fields without the two spaces that end them: %1.").arg(places(c.noEnd));
    if (!c.undefined.isEmpty())
        lines << QStringLiteral("Fields with bytes the code page does not define: %1.").arg(places(c.undefined));
    if (c.clean())
        lines << QStringLiteral("Nothing else to report.");
    return lines.join(u'\n');
}

QByteArray writeCsv(const QList<Contact>& contacts)
{
    QStringList header;
    for (const QStringList& names : csvHeaders())
        header << csvCell(names.first());
    QString out = header.join(u',') + kCrLf;
    for (const Contact& c : contacts) {
        QStringList cells;
        for (const QString& v : c.fields)
            cells << csvCell(v);
        out += cells.join(u',') + kCrLf;
    }
    return out.toUtf8();
}

} // namespace pb::exchange
