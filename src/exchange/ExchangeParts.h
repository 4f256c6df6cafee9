#pragma once

// The pieces the readers and writers of the formats share: the short names
// of the values kept in Comments, vCard escaping and folding, a CSV cell,
// the stored text of a record's fields. For the exchange's own files only.

#include "exchange/Exchange.h"
#include "exchange/TextDecoding.h"
#include "platform/Codepage.h"
#include "records/ContactRecord.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <array>
#include <string_view>

namespace pb::exchange::detail {

// Properties kept in Comments, by the short name they get there, in the
// order they come (birthday and title first).
struct ExtraKind {
    const char* property;
    const char* label;
    int order;
};
inline constexpr ExtraKind kExtras[] = {
    {"BDAY", "birthday", 0},         {"TITLE", "title", 1},          {"ROLE", "role", 2},
    {"NICKNAME", "nickname", 6},     {"URL", "web", 7},              {"IMPP", "im", 8},
    {"X-AIM", "aim", 8},             {"X-ICQ", "icq", 8},            {"X-JABBER", "jabber", 8},
    {"X-MSN", "msn", 8},             {"X-YAHOO", "yahoo", 8},        {"X-SKYPE", "skype", 8},
    {"X-SKYPE-USERNAME", "skype", 8}, {"X-GOOGLE-TALK", "google talk", 8}, {"X-GADUGADU", "gadu-gadu", 8},
    {"X-QQ", "qq", 8},               {"X-TWITTER", "twitter", 8},    {"X-SIP", "sip", 8},
    {"ANNIVERSARY", "anniversary", 9}, {"X-ANNIVERSARY", "anniversary", 9}, {"X-EVOLUTION-ANNIVERSARY", "anniversary", 9},
    {"GENDER", "gender", 10},        {"X-GENDER", "gender", 10},     {"X-SPOUSE", "spouse", 10},
    {"X-EVOLUTION-SPOUSE", "spouse", 10}, {"X-ASSISTANT", "assistant", 10}, {"X-EVOLUTION-ASSISTANT", "assistant", 10},
    {"X-MANAGER", "manager", 10},    {"X-EVOLUTION-MANAGER", "manager", 10}, {"RELATED", "related", 10},
    {"X-ABRELATEDNAMES", "related", 10}, {"X-ABDATE", "date", 10},   {"CATEGORIES", "groups", 11},
    {"GEO", "geo", 12},              {"TZ", "time zone", 12},        {"LANG", "language", 12},
    {"X-PHONETIC-FIRST-NAME", "phonetic first name", 12}, {"X-PHONETIC-LAST-NAME", "phonetic last name", 12},
    {"FBURL", "free/busy", 12},      {"CALURI", "calendar", 12},     {"X-MAIDENNAME", "maiden name", 12},
};

// Text as a vCard value: backslash, comma and semicolon escaped, line
// breaks as "\n".
void appendEscaped(QByteArray& out, QStringView text);
// Lines of at most 75 octets, continued with a space, never inside a
// UTF-8 character: `line` folded onto `out`, or written at `out` (room: the
// line's size, three more for every 74 octets, and two; returns the end).
void appendFolded(QByteArray& out, QByteArrayView line);
char* foldInto(char* out, QByteArrayView line);
char* putLiteral(char* out, const char* text);
// A CSV cell: quoted when it must be, a formula's first character guarded.
QString csvCell(const QString& value);
// Whether a stored value's first byte may make a spreadsheet read a formula.
bool mayLookLikeAFormula(char c);
// Whether a spreadsheet would take a cell for a formula (OWASP's CSV
// injection guidance); a cell of quotes before such a beginning counts too.
bool formulaLike(QStringView s);
// A field's text as stored: up to the first NUL, without the spaces that
// pad it (what fromRecord() decodes).
inline std::string_view storedText(const char* record, Field f)
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

// The shown records of a book's bytes, one at a time: each field's stored
// text (a last record cut short completed as the program reads it), and
// whether a field holds a byte that decoding may join to the letter before
// it: such a record goes the way of a Contact.
using StoredFields = std::array<std::string_view, kFieldCount>;
template <typename F>
void forEachShownRecord(const QByteArray& book, int count, F each)
{
    const codepage::Utf8Bytes& t = codepage::utf8Bytes();
    const qsizetype size = static_cast<qsizetype>(kRecordSize);
    int n = 0;
    StoredFields fields;
    for (qsizetype at = 0; n < count && at < book.size(); at += size, ++n) {
        ContactRecord partial;
        const char* r = book.constData() + at;
        if (book.size() - at < size) {
            std::copy_n(r, book.size() - at, partial.bytes.begin());
            r = partial.bytes.data();
        }
        bool exact = true;
        for (Field f : kAllFields) {
            const std::string_view text = storedText(r, f);
            fields[static_cast<std::size_t>(f)] = text;
            if (t.anyCombining)
                for (char b : text)
                    exact = exact && !t.combining[static_cast<unsigned char>(b)];
        }
        each(r, fields, exact, t);
    }
}


} // namespace pb::exchange::detail
