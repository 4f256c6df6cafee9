// Contacts written as CSV, with the column names the import reads first.
#include "exchange/Exchange.h"
#include "exchange/ExchangeParts.h"
#include "platform/BigBuffer.h"
#include "platform/Codepage.h"

#include <QStringList>

#include <algorithm>

namespace pb::exchange {

using namespace detail;

namespace detail {

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

QString csvCell(const QString& value)
{
    const QString text = formulaLike(value) ? u'\'' + value : value;
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r') &&
        !text.contains(u';') && !text.startsWith(u' ') && !text.endsWith(u' '))
        return text;
    return u'"' + QString(text).replace(QLatin1String("\""), QLatin1String("\"\"")) + u'"';
}

} // namespace detail

QByteArray writeCsv(const QList<Contact>& contacts)
{
    QStringList header;
    for (const QStringList& names : csvHeaders())
        header << csvCell(names.first());
    // With the byte-order mark spreadsheets look for to read UTF-8.
    QString out = QChar(0xFEFF) + header.join(u',') + kCrLf;
    for (const Contact& c : contacts) {
        QStringList cells;
        for (const QString& v : c.fields)
            cells << csvCell(v);
        out += cells.join(u',') + kCrLf;
    }
    return out.toUtf8();
}

QByteArray exportCsv(const QByteArray& book, int count)
{
    QByteArray out = writeCsv({});   // the mark and the header
    out.reserve(book.size() * 2 + 4096);
    memory::preferHugePages(out.constData(), static_cast<std::size_t>(out.capacity()));
    std::array<char, 4 * kRecordSize> row;
    forEachShownRecord(book, count, [&](const char* r, const StoredFields& field, bool exact, const codepage::Utf8Bytes& t) {
        // A value a spreadsheet could take for a formula goes the usual way,
        // which guards it.
        for (const std::string_view v : field)
            exact = exact && (v.empty() || !mayLookLikeAFormula(v.front()));
        if (!exact) {
            ContactRecord whole;
            std::copy_n(r, kRecordSize, whole.bytes.begin());
            const QByteArray one = writeCsv({fromRecord(whole)});
            out.append(one.sliced(one.indexOf("\r\n") + 2));   // the row without the mark and header
            return;
        }
        char* e = row.data();
        bool firstCell = true;
        for (Field f : kAllFields) {
            if (!firstCell)
                *e++ = ',';
            firstCell = false;
            const std::string_view v = field[static_cast<std::size_t>(f)];
            const bool quote = v.find_first_of(",\"\n\r;") != std::string_view::npos || (!v.empty() && v.front() == ' ') ||
                               (!v.empty() && v.back() == ' ');
            if (quote)
                *e++ = '"';
            for (char c : v) {
                const auto b = static_cast<unsigned char>(c);
                if (b == '"')
                    *e++ = '"';
                if (b < 0x80)
                    *e++ = c;
                else
                    e = std::copy_n(t.utf8[b].data(), t.length[b], e);
            }
            if (quote)
                *e++ = '"';
        }
        *e++ = '\r';
        *e++ = '\n';
        out.append(row.data(), e - row.data());
    });
    return out;
}

} // namespace pb::exchange
