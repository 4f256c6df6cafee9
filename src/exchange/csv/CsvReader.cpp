// CSV files read into contacts, and the rows the book stores whole
// straight into records.
#include "exchange/Exchange.h"
#include "exchange/ExchangeParts.h"
#include "exchange/FilePieces.h"
#include "exchange/RecordDraft.h"
#include "exchange/TextDecoding.h"
#include "exchange/csv/CsvColumns.h"
#include "exchange/csv/CsvRows.h"

#include "platform/Codepage.h"

#include <QFile>

#include <optional>

namespace pb::exchange {

using namespace detail;

namespace detail {

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

} // namespace detail

namespace {

// A card made of a CSV row: what the left-out file keeps of it.
QByteArray cardOf(const Contact& c)
{
    Contact whole = c;
    whole[Field::Comments] = (c.extras + (c.note.isEmpty() ? QStringList() : QStringList{c.note})).join(kCrLf);
    return writeVCard({whole});
}

// The contacts of a CSV's rows, handed over one at a time.
class CsvContacts
{
public:
    CsvContacts(qint64 total, bool utf8, ReadReport* report, QuickRecords* quick)
        : total_(total), utf8_(utf8), report_(report)
    {
        if (quick)
            room_.emplace(quick, total, 8);   // a row of a few short cells
    }

    // Where the piece being read begins in the text.
    qint64 base = 0;

    // One row, ending `at` bytes into the piece; false to stop.
    bool row(const std::vector<std::string_view>& cells, qsizetype at)
    {
        if (rowNumber_++ == 0)
            return header(cells);
        if (report_ && report_->progress && rowNumber_ % 256 == 0 && !report_->progress(base + at, total_)) {
            report_->cancelled = true;
            return false;
        }
        if (room_ && utf8_) {
            // A row the book stores whole and without a word becomes its record at once.
            switch (storeStraight(cells, room_->next())) {
            case Straight::Stored:
                room_->keep();
                return true;
            case Straight::Empty:
                return true;   // an empty row of the sheet
            case Straight::No:
                break;
            }
        }
        Contact c = contactOf(cells);
        if (std::all_of(c.fields.begin(), c.fields.end(), [](const QString& s) { return s.isEmpty(); }))
            return true;   // an empty row of the sheet
        if (room_) {
            // Stored whole after all (a code page's text, a second phone
            // left empty ...).
            if (quietRecord(c, room_->next().bytes.data())) {
                room_->keepWhole();
                return true;
            }
            room_->listed(out_.size());
        }
        c.source = cardOf(c);
        out_ << std::move(c);
        return true;
    }

    QList<Contact> take() { return std::move(out_); }

private:
    enum class Straight { Stored, Empty, No };

    // A cell's text is decoded when it is needed, never the whole file's at once.
    QString decoded(std::string_view cell) const
    {
        if (cell.empty())
            return QString();
        if (utf8_)
            return QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size()));
        return codepage::decodeWith(fallbackPage, cell);
    }

    bool header(const std::vector<std::string_view>& cells)
    {
        QStringList names;
        for (std::string_view cell : cells)
            names << decoded(cell);
        QString refused;
        if (columns_.read(names, &refused))
            return true;
        if (report_)
            report_->skipped << refused;
        return false;
    }

    Straight storeStraight(const std::vector<std::string_view>& cells, RecordDraft& r) const
    {
        const auto cellCount = static_cast<qsizetype>(cells.size());
        for (qsizetype col = columns_.header.size(); col < cellCount; ++col)
            if (!cells[static_cast<std::size_t>(col)].empty())
                return Straight::No;
        for (qsizetype col : columns_.others)
            if (col < cellCount && !cells[static_cast<std::size_t>(col)].empty())
                return Straight::No;
        bool empty = true;
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            const qsizetype col = columns_.first[f];
            const std::string_view v = col >= 0 && col < cellCount ? cells[static_cast<std::size_t>(col)] : std::string_view();
            if (!crLfOnly(v) || (!v.empty() && v.front() == '\'') || !quietlyInto(r, static_cast<Field>(f), v))
                return Straight::No;
            empty = empty && v.empty();
        }
        return empty ? Straight::Empty : Straight::Stored;
    }

    Contact contactOf(const std::vector<std::string_view>& cells)
    {
        row_.clear();
        for (std::string_view cell : cells) {
            // The quote an export puts before what looks like a formula.
            QString v = decoded(cell);
            if (v.startsWith(u'\'') && formulaLike(QStringView(v).sliced(1)))
                v.remove(0, 1);
            row_ << v;
        }
        Contact c;
        QStringList extra;
        fieldsOf(c, extra);
        addressesOf(c, extra);
        extrasOf(c, extra);
        c.extras = extra;
        c.composeComments();
        return c;
    }

    void fieldsOf(Contact& c, QStringList& extra) const
    {
        for (std::size_t f = 0; f < kFieldCount; ++f) {
            for (qsizetype col : columns_.fields[f]) {
                const QString v = lfToCrLf(row_.value(col));
                if (v.isEmpty())
                    continue;
                if (f == static_cast<std::size_t>(Field::Comments))
                    c.note = c.note.isEmpty() ? v : c.note + kCrLf + v;
                else if (c.fields[f].isEmpty())
                    c.fields[f] = v;
                else
                    extra << columns_.header[col].trimmed().toLower() + u' ' + oneLine(v);
            }
        }
    }

    // Address parts put together: street lines, the town's parts on one
    // line, the country; the first address is the field, the others extras.
    void addressesOf(Contact& c, QStringList& extra) const
    {
        for (const QString& group : std::as_const(columns_.groupOrder)) {
            QStringList street, town;
            QString country;
            for (const auto& [part, col] : columns_.addressGroups.value(group)) {
                const QString v = oneLine(toCrLf(row_.value(col)));
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
    }

    // The columns of no field, and cells past the header's columns.
    void extrasOf(const Contact& c, QStringList& extra) const
    {
        const QString fullName = QStringList{c[Field::FirstName], c[Field::LastName]}.join(u' ').simplified();
        for (qsizetype col : std::as_const(columns_.extra)) {
            const QString v = oneLine(toCrLf(row_.value(col)));
            // A display name that is just the name says nothing more.
            if (v.isEmpty() || (columns_.header[col].contains(QLatin1String("name"), Qt::CaseInsensitive) &&
                                v.compare(fullName, Qt::CaseInsensitive) == 0))
                continue;
            extra << columns_.header[col].trimmed().toLower() + u' ' + v;
        }
        for (qsizetype col = columns_.header.size(); col < row_.size(); ++col)
            if (const QString v = oneLine(toCrLf(row_.value(col))); !v.isEmpty())
                extra << QStringLiteral("column %1 ").arg(col + 1) + v;
    }

    const qint64 total_;
    const bool utf8_;
    ReadReport* const report_;
    std::optional<RecordRoom> room_;
    CsvColumns columns_;
    qsizetype rowNumber_ = 0;
    QStringList row_;
    QList<Contact> out_;
};

// The contacts of a CSV's text of `total` bytes, which `pieces(read)` hands
// over a piece at a time to read(text, at, last) (see forEachPiece()),
// with the quotes at `literal` taken as plain characters. When the text
// ends inside a quote that never closes, what was read is of no use:
// `openQuote` is where it was opened.
template <typename Pieces>
QList<Contact> readCsvText(const Pieces& pieces, qint64 total, bool utf8, ReadReport* report, QuickRecords* quick,
                           const std::vector<qint64>& literal, qint64* openQuote)
{
    CsvContacts contacts(total, utf8, report, quick);
    const auto row = [&](const std::vector<std::string_view>& cells, qsizetype at) { return contacts.row(cells, at); };
    char sep = 0;
    *openQuote = -1;
    pieces([&](std::string_view text, qint64 at, bool last) -> qsizetype {
        if (!sep)
            sep = detectSeparator(text);
        contacts.base = at;
        const CsvEnd end = forEachCsvRow(text, at, last, sep, literal, row);
        if (end.stopped)
            return -1;
        if (end.openQuote >= 0)
            *openQuote = at + end.openQuote;
        return last ? static_cast<qsizetype>(text.size()) : end.rest;
    });
    return contacts.take();
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

QList<Contact> readCsv(const QByteArray& input, ReadReport* report)
{
    return readCsv(input, report, nullptr);
}

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
