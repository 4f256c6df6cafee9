#pragma once

// The syntax of a vCard, without what its properties mean: logical lines
// (folding, quoted-printable soft breaks), names with their groups and
// parameters, character sets, escaping.

#include "exchange/ExchangeParts.h"
#include "exchange/RecordDraft.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <string_view>

namespace pb::exchange::detail {

// The properties a card is read for; the others are passed over unparsed.
enum class Prop { Other, Begin, End, N, FN, Tel, Email, Adr, Org, Note, Photo, Agent, Label, Extra, Meta };

// ASCII upper case (property names and parameters are ASCII; other bytes
// stay as they are, as in the C locale).
inline char asciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
inline bool sameLetters(QByteArrayView a, std::string_view b)
{
    if (a.size() != static_cast<qsizetype>(b.size()))
        return false;
    for (std::size_t i = 0; i < b.size(); ++i)
        if (asciiUpper(a[static_cast<qsizetype>(i)]) != b[i])
            return false;
    return true;
}
bool startsWithLetters(QByteArrayView line, const char* word);
// Whether the bytes hold the word, in any case.
bool containsLetters(QByteArrayView bytes, const char* word);
// Blank as the C locale has it: space, tab, line breaks, form feed.
inline bool asciiSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// What a property's name is read as (its group and parameters taken off).
Prop kindOf(QByteArrayView name);
// The extra a property's name (upper case) is kept in Comments as, if any.
const ExtraKind* extraKindOf(const QString& name);
const ExtraKind* extraKindOf(QByteArrayView name);

struct Property {
    Prop kind = Prop::Other;
    QString name;                    // upper case, without its group (extras and unknown ones only)
    QByteArray head;                 // name and parameters, when there are parameters
    QString value;                   // raw, still escaped
    // The parameters as written (read when asked for: most properties are
    // never asked): `each(name, value)`, the value empty for a bare one.
    template <typename F>
    void forEachParam(F each) const
    {
        for (qsizetype at = head.indexOf(';'); at >= 0;) {
            const qsizetype next = head.indexOf(';', at + 1);
            const QByteArrayView param = QByteArrayView(head).sliced(at + 1, (next < 0 ? head.size() : next) - at - 1).trimmed();
            const qsizetype eq = param.indexOf('=');
            each(eq < 0 ? param : param.first(eq).trimmed(), eq < 0 ? QByteArrayView() : param.sliced(eq + 1));
            at = next;
        }
    }
    // The values of the parameters named `n` (upper case), joined by commas.
    QString param(const char* n) const;
    // TYPE values, upper case, also vCard 2.1's bare ones (TEL;WORK;PREF).
    QStringList types() const;
    bool preferred() const;
};

QByteArray decodeQuotedPrintable(QByteArrayView in);
// Splits a structured value at unescaped `sep`, unescaping each part.
QStringList splitEscaped(const QString& value, QChar sep);
QString unescape(const QString& value);
// Whether the line's name and parameters (before the first colon) ask for
// quoted-printable.
bool quotedPrintableLine(QByteArrayView line);

// The end of the line that begins at `p` (its first CR or LF, or `end`).
const char* lineEnd(const char* p, const char* end);
// Where the next line begins after a line ending at `e`.
const char* afterBreak(const char* e, const char* end);

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
qsizetype colonOf(QByteArrayView line);
// Whether a line whose name is of `kind` is the card mark `mark` (BEGIN or
// END) of a vCard.
bool cardMark(QByteArrayView line, qsizetype colon, Prop kind, Prop mark);
// The property's name without its group (item1.TEL) or parameters, and
// where the parameters begin (-1: there are none).
QByteArrayView nameOf(QByteArrayView head, qsizetype* semicolon);
QByteArrayView nameOf(QByteArrayView head);
// A declared character set is honoured through Qt's decoders (ICU knows
// KOI8-R, the ISO-8859 family, Shift_JIS, Big5, ...); an unknown one is
// read as undeclared text is, and the report says so.
QString decodeValue(QByteArrayView value, const QString& charset, QStringList* unknownCharsets);
// A line split at its colon into a property; the value decoded, still escaped.
Property parseLine(QByteArrayView line, qsizetype colon, Prop kind, QStringList* unknownCharsets);

// Appends the value unescaped ("\n" and "\N" a line break, "\x" the x);
// with `crLf` a line break is written CR LF. The value is one line of the
// file, so it holds no line break of its own. False: it does not fit.
bool unescapeTo(Text& out, std::string_view v, bool crLf);

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

} // namespace pb::exchange::detail
