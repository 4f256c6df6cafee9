#include "exchange/Exchange.h"

#include "platform/Codepage.h"

#include <QStringDecoder>

#include <algorithm>

namespace pb::exchange {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString toCrLf(QString text)
{
    if (!text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    return text.replace(QLatin1String("\n"), kCrLf);
}

// UTF-8 (with or without its mark) when the bytes are valid UTF-8,
// Windows-1252 otherwise.
QString decodeText(const QByteArray& data)
{
    if (std::all_of(data.begin(), data.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(data);
    QByteArray bytes = data;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return codepage::decodeWith(1252, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// --- vCard ------------------------------------------------------------------------

struct Property {
    QString name;                    // upper case, without its group
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

QByteArray decodeQuotedPrintable(const QByteArray& in)
{
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 2 < in.size()) {
            bool ok = false;
            const int v = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out.append(static_cast<char>(v));
                i += 2;
                continue;
            }
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
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar n = value[++i];
            cur += (n == u'n' || n == u'N') ? QChar(u'\n') : n;
        } else if (c == sep) {
            parts << cur;
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts << cur;
    return parts;
}

QString unescape(const QString& value)
{
    return splitEscaped(value, QChar(0xFFFF)).join(QString());
}

QString escape(const QString& text)
{
    QString out;
    QString lines = text;
    lines.replace(kCrLf, QLatin1String("\n"));
    for (QChar c : std::as_const(lines)) {
        if (c == u'\\' || c == u',' || c == u';')
            out += u'\\';
        if (c == u'\n') {
            out += QLatin1String("\\n");
            continue;
        }
        out += c;
    }
    return out;
}

// Unfolded logical lines: CR LF (or LF, or CR) plus a space or tab
// continues a line; a quoted-printable value ending in "=" continues on the
// next line.
QList<QByteArray> logicalLines(const QByteArray& data)
{
    QList<QByteArray> lines;
    const char* p = data.constData();
    const char* const end = p + data.size();
    while (p <= end) {
        const char* e = std::find_if(p, end, [](char c) { return c == '\n' || c == '\r'; });
        const QByteArrayView raw(p, e - p);
        if (!lines.isEmpty() && lines.last().endsWith('=') && lines.last().toUpper().contains("QUOTED-PRINTABLE")) {
            lines.last().chop(1);   // a soft line break of quoted-printable text
            lines.last().append(raw);
        } else if (!lines.isEmpty() && !raw.isEmpty() && (raw[0] == ' ' || raw[0] == '\t')) {
            lines.last().append(raw.sliced(1));
        } else {
            lines.append(raw.toByteArray());
        }
        if (e == end)
            break;
        p = e + ((*e == '\r' && e + 1 < end && e[1] == '\n') ? 2 : 1);
    }
    return lines;
}

Property parseLine(const QByteArray& line)
{
    Property p;
    // The name and parameters end at the first colon outside quotes.
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon < 0)
        return p;
    const QList<QByteArray> head = line.left(colon).split(';');
    QByteArray name = head.value(0).trimmed().toUpper();
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0)
        name = name.mid(dot + 1);   // grouped: item1.TEL
    p.name = QString::fromLatin1(name);
    for (qsizetype i = 1; i < head.size(); ++i) {
        const QByteArray param = head[i].trimmed();
        const qsizetype eq = param.indexOf('=');
        if (eq < 0)
            p.params.append({QString::fromLatin1(param.toUpper()), QString()});
        else
            p.params.append({QString::fromLatin1(param.left(eq).toUpper()), QString::fromUtf8(param.mid(eq + 1))});
    }
    QByteArray value = line.mid(colon + 1);
    if (p.param(QStringLiteral("ENCODING")).compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0 ||
        p.types().contains(QStringLiteral("QUOTED-PRINTABLE")))
        value = decodeQuotedPrintable(value);
    const QString charset = p.param(QStringLiteral("CHARSET")).toUpper();
    if (charset.isEmpty() || charset == QLatin1String("UTF-8"))
        p.value = decodeText(value);
    else if (charset.startsWith(QLatin1String("WINDOWS-")) || charset.startsWith(QLatin1String("CP")))
        p.value = codepage::decodeWith(codepage::parse(charset).value_or(1252),
                                       std::string_view(value.constData(), static_cast<std::size_t>(value.size())));
    else if (charset == QLatin1String("ISO-8859-1") || charset == QLatin1String("LATIN1"))
        p.value = QString::fromLatin1(value);
    else
        p.value = decodeText(value);
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
    for (qsizetype i = 0; i < props.size(); ++i)
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
        if (p.name == QLatin1String("N")) {
            const QStringList n = splitEscaped(p.value, u';');
            c[Field::LastName] = n.value(0);
            c[Field::FirstName] = n.value(2).isEmpty() ? n.value(1) : n.value(1) + u' ' + n.value(2);
            haveN = !c[Field::LastName].isEmpty() || !c[Field::FirstName].isEmpty();
        } else if (p.name == QLatin1String("FN")) {
            fn = unescape(p.value);
        } else if (p.name == QLatin1String("TEL")) {
            tels << p;
        } else if (p.name == QLatin1String("EMAIL")) {
            emails << p;
        } else if (p.name == QLatin1String("ADR")) {
            adrs << p;
        } else if (p.name == QLatin1String("ORG")) {
            c[Field::Company] = splitEscaped(p.value, u';').join(QStringLiteral(", "));
            while (c[Field::Company].endsWith(QLatin1String(", ")))
                c[Field::Company].chop(2);
        } else if (p.name == QLatin1String("NOTE")) {
            notes << plainText(p);
        } else if (p.name == QLatin1String("PHOTO") || p.name == QLatin1String("LOGO")) {
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
    for (const QByteArray& line : logicalLines(data)) {
        if (line.trimmed().isEmpty())
            continue;
        const Property p = parseLine(line);
        if (p.name == QLatin1String("BEGIN") && p.value.trimmed().compare(QLatin1String("VCARD"), Qt::CaseInsensitive) == 0) {
            card.clear();
            inCard = true;
        } else if (p.name == QLatin1String("END") && inCard) {
            out << contactFrom(card, report);
            inCard = false;
        } else if (inCard) {
            card << p;
        } else if (report) {
            report->skipped << QStringLiteral("A line outside any card: %1").arg(QString::fromUtf8(line.left(60)));
        }
    }
    if (inCard && report)
        report->skipped << QStringLiteral("A card without its END:VCARD line");
    return out;
}

QByteArray writeVCard(const QList<Contact>& contacts, VCardVersion version)
{
    QByteArray out;
    out.reserve(contacts.size() * 320);
    for (const Contact& c : contacts) {
        QList<QString> lines;
        lines << QStringLiteral("BEGIN:VCARD")
              << (version == VCardVersion::V40 ? QStringLiteral("VERSION:4.0") : QStringLiteral("VERSION:3.0"));
        lines << QStringLiteral("N:") + escape(c[Field::LastName]) + u';' + escape(c[Field::FirstName]) + QStringLiteral(";;;");
        const QString fn = QStringList{c[Field::FirstName], c[Field::LastName]}.join(u' ').trimmed();
        lines << QStringLiteral("FN:") + escape(fn);
        if (!c[Field::Phone].isEmpty())
            lines << QStringLiteral("TEL;TYPE=voice:") + escape(c[Field::Phone]);
        if (!c[Field::Email].isEmpty())
            lines << (version == VCardVersion::V40 ? QStringLiteral("EMAIL:") : QStringLiteral("EMAIL;TYPE=internet:")) +
                         escape(c[Field::Email]);
        if (!c[Field::Company].isEmpty())
            lines << QStringLiteral("ORG:") + escape(c[Field::Company]);
        if (!c[Field::Address].isEmpty())
            lines << QStringLiteral("ADR:;;") + escape(c[Field::Address]) + QStringLiteral(";;;;");
        if (!c[Field::Comments].isEmpty())
            lines << QStringLiteral("NOTE:") + escape(c[Field::Comments]);
        lines << QStringLiteral("END:VCARD");
        for (const QString& l : lines)
            appendFolded(out, l.toUtf8());
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
