// Contacts written as vCards: one card layout for the book's records and
// for contacts, the short forms at the head of Comments given back their
// properties.
#include "exchange/Exchange.h"
#include "exchange/ExchangeParts.h"
#include "platform/BigBuffer.h"
#include "platform/Codepage.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <optional>

namespace pb::exchange {

using namespace detail;

namespace {

// --- the short forms at the head of Comments, back to their properties -----

// A kind of number, address or link as the import writes it before the
// value ("cell", "work,voice"): lower-case words the vCard types know.
bool isTypeLabel(QStringView word)
{
    static const QStringList known = {
        QStringLiteral("home"),  QStringLiteral("work"),  QStringLiteral("cell"),   QStringLiteral("voice"),
        QStringLiteral("fax"),   QStringLiteral("pager"), QStringLiteral("msg"),    QStringLiteral("video"),
        QStringLiteral("text"),  QStringLiteral("main"),  QStringLiteral("iphone"), QStringLiteral("car"),
        QStringLiteral("isdn"),  QStringLiteral("dom"),   QStringLiteral("intl"),   QStringLiteral("postal"),
        QStringLiteral("parcel"), QStringLiteral("textphone"), QStringLiteral("mobile"), QStringLiteral("bbs"),
        QStringLiteral("modem"), QStringLiteral("pcs"),
    };
    const auto parts = word.split(u',');
    return !word.isEmpty() && std::all_of(parts.begin(), parts.end(), [](QStringView t) {
        return known.contains(t) || (t.startsWith(u"x-") && t.size() > 2);
    });
}

// A number as people write it, letters of a vanity number and "ext." too,
// but beginning as a number does.
bool looksLikePhone(QStringView v)
{
    return !v.isEmpty() && (v.front().isDigit() || v.front() == u'+' || v.front() == u'(') &&
           std::count_if(v.begin(), v.end(), [](QChar c) { return c.isDigit(); }) >= 3 &&
           std::all_of(v.begin(), v.end(), [](QChar c) {
               return c.isDigit() || (c.unicode() < 0x80 && c.isLetter()) || c == u' ' || c == u'+' || c == u'-' ||
                      c == u'(' || c == u')' || c == u'.' || c == u'/' || c == u'#' || c == u'*';
           });
}

// One line of Comments the import wrote for a property: that property.
struct ShortForm {
    QByteArray head;   // the name and its parameters, up to the colon
    QString value;
    bool address = false;   // the value is the street part of an ADR
    bool list = false;      // the value is a list, ", " between its items
};

std::optional<ShortForm> shortFormOf(QStringView line)
{
    const qsizetype space = line.indexOf(u' ');
    if (space <= 0)
        return std::nullopt;
    QStringView label = line.first(space);
    QStringView rest = line.sliced(space + 1);
    // "e-mail work x@y", "address home 1 Main St": a kind may follow the label.
    const auto typed = [&](QByteArray name) {
        ShortForm f;
        const qsizetype next = rest.indexOf(u' ');
        if (next > 0 && isTypeLabel(rest.first(next))) {
            name += ";TYPE=" + rest.first(next).toLatin1();
            rest = rest.sliced(next + 1);
        }
        f.head = name;
        f.value = rest.toString();
        return f;
    };
    // The name's prefix and suffix, and a display name that says more than
    // the name: back into N and FN.
    if (label == u"name" || line.startsWith(u"shown as ")) {
        ShortForm f;
        f.head = label == u"name" ? QByteArray("N") : QByteArray("FN");
        f.value = (label == u"name" ? rest : line.sliced(9)).toString();
        return f.value.isEmpty() ? std::nullopt : std::optional(f);
    }
    if (label == u"phone" || isTypeLabel(label)) {
        if (!looksLikePhone(rest))
            return std::nullopt;
        ShortForm f;
        f.head = label == u"phone" ? QByteArray("TEL") : "TEL;TYPE=" + label.toLatin1();
        f.value = rest.toString();
        return f;
    }
    if (label == u"e-mail") {
        ShortForm f = typed("EMAIL");
        return f.value.contains(u'@') && !f.value.contains(u' ') ? std::optional(f) : std::nullopt;
    }
    if (label == u"address") {
        ShortForm f = typed("ADR");
        f.address = true;
        return f.value.isEmpty() ? std::nullopt : std::optional(f);
    }
    // The extras: "birthday 1980-04-22", "web work https://…"; a label of
    // two words ("google talk", "time zone") is matched whole.
    for (const ExtraKind& kind : kExtras) {
        const QLatin1StringView name(kind.label);
        if (!line.startsWith(name) || line.size() <= name.size() + 1 || line[name.size()] != u' ')
            continue;
        label = line.first(name.size());
        rest = line.sliced(name.size() + 1);
        ShortForm f = typed(QByteArray(kind.property));
        const QByteArrayView property(kind.property);
        if (f.value.isEmpty())
            return std::nullopt;
        // Values whose shape is known are held to it, so that a note of the
        // user's own ("web design at nine") stays a note.
        if (property == "URL" && (f.value.contains(u' ') || !f.value.contains(u'.')))
            return std::nullopt;
        if ((property == "BDAY" || property.endsWith("ANNIVERSARY")) && !f.value.front().isDigit() && !f.value.startsWith(u'-'))
            return std::nullopt;
        if (property == "IMPP" && !f.value.contains(u':') && !f.value.contains(u'@'))
            return std::nullopt;
        f.list = property == "CATEGORIES";
        return f;
    }
    return std::nullopt;
}

// Whether stored Comments may begin with a short form at all: its first
// word is a label's (lower-case ASCII letters, '-' and ',').
bool mayBeShortForm(std::string_view comments)
{
    const std::size_t space = comments.find(' ');
    if (space == 0 || space == std::string_view::npos || space > 24)
        return false;
    return std::all_of(comments.begin(), comments.begin() + static_cast<std::ptrdiff_t>(space),
                       [](char c) { return (c >= 'a' && c <= 'z') || c == '-' || c == ','; });
}

// The properties the head of Comments holds, one line each, up to the
// first line that is none; `rest` is what follows (the note).
QList<ShortForm> shortFormsOf(const QString& comments, QString* rest)
{
    QList<ShortForm> out;
    qsizetype at = 0;
    while (at < comments.size()) {
        qsizetype end = comments.indexOf(kCrLf, at);
        if (end < 0)
            end = comments.size();
        const std::optional<ShortForm> f = shortFormOf(QStringView(comments).sliced(at, end - at));
        if (!f)
            break;
        out << *f;
        at = std::min(comments.size(), end + 2);
    }
    if (rest)
        *rest = comments.mid(at);
    return out;
}

// The card's layout after N and FN: the fields that are one property each,
// in the order written, then the short forms of Comments and the note.
struct FieldLine {
    Field field;
    const char* name;     // up to the value
    const char* name40;   // the same in vCard 4.0
    const char* tail;     // after the value
};
constexpr FieldLine kFieldLines[] = {
    {Field::Phone, "TEL;TYPE=voice:", "TEL;TYPE=voice:", ""},
    {Field::Email, "EMAIL;TYPE=internet:", "EMAIL:", ""},
    {Field::Company, "ORG:", "ORG:", ""},
    {Field::Address, "ADR:;;", "ADR:;;", ";;;;"},
};

const char* versionLine(VCardVersion version)
{
    return version == VCardVersion::V40 ? "VERSION:4.0\r\n" : "VERSION:3.0\r\n";
}

// The short forms as their properties, and the note.
void appendForms(QByteArray& out, QByteArray& line, const QList<ShortForm>& forms, const QString& note)
{
    for (const ShortForm& f : forms) {
        line.resize(0);
        line.append(f.head).append(f.address ? ":;;" : ":");
        if (f.list) {
            const QStringList items = f.value.split(QStringLiteral(", "));
            for (qsizetype i = 0; i < items.size(); ++i) {
                if (i > 0)
                    line.append(',');
                appendEscaped(line, items[i]);
            }
        } else {
            appendEscaped(line, f.value);
            line.append(f.address ? ";;;;" : "");
        }
        appendFolded(out, line);
    }
    if (!note.isEmpty()) {
        line.resize(0);
        line.append("NOTE:");
        appendEscaped(line, note);
        appendFolded(out, line);
    }
}

void appendCard(QByteArray& out, QByteArray& line, const Contact& c, VCardVersion version)
{
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
    // What the import put at the head of Comments goes back to its property.
    QString note;
    QList<ShortForm> forms = shortFormsOf(c[Field::Comments], &note);
    QString honours, fn = QStringList{c[Field::FirstName], c[Field::LastName]}.join(u' ').trimmed();
    forms.removeIf([&](const ShortForm& f) {
        if (f.head == "N")
            honours = f.value;
        else if (f.head == "FN")
            fn = f.value;
        return f.head == "N" || f.head == "FN";
    });
    out.append("BEGIN:VCARD\r\n").append(versionLine(version));
    if (honours.isEmpty())
        put("N:", {c[Field::LastName], c[Field::FirstName]}, ";;;");
    else
        put("N:", {c[Field::LastName], c[Field::FirstName], QStringView(), honours}, ";");
    put("FN:", {fn});
    for (const FieldLine& l : kFieldLines)
        if (!c[l.field].isEmpty())
            put(version == VCardVersion::V40 ? l.name40 : l.name, {c[l.field]}, l.tail);
    appendForms(out, line, forms, note);
    out.append("END:VCARD\r\n");
}

// Appends stored bytes as UTF-8 at `out`, escaped as appendEscaped() does;
// returns the end.
char* putEscaped(char* out, std::string_view text, const codepage::Utf8Bytes& t)
{
    // Bytes written as they are: ASCII but the escaped ones and line breaks.
    static const std::array<bool, 256> plain = [] {
        std::array<bool, 256> a{};
        for (int b = 0; b < 0x80; ++b)
            a[static_cast<std::size_t>(b)] = b != '\\' && b != ',' && b != ';' && b != '\r' && b != '\n';
        return a;
    }();
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        std::size_t run = i;
        while (run < n && plain[static_cast<unsigned char>(text[run])])
            ++run;
        out = std::copy(text.data() + i, text.data() + run, out);
        if (run == n)
            break;
        i = run;
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == '\\' || b == ',' || b == ';') {
            *out++ = '\\';
            *out++ = static_cast<char>(b);
        } else if (b == '\r' || b == '\n') {
            *out++ = '\\';
            *out++ = 'n';
            if (b == '\r' && i + 1 < n && text[i + 1] == '\n')
                ++i;
        } else {
            out = std::copy_n(t.utf8[b].data(), t.length[b], out);
        }
        ++i;
    }
    return out;
}

} // namespace

QByteArray writeVCard(const QList<Contact>& contacts, VCardVersion version)
{
    QByteArray out;
    out.reserve(contacts.size() * 320);
    QByteArray line;
    for (const Contact& c : contacts)
        appendCard(out, line, c, version);
    return out;
}

QByteArray exportVCard(const QByteArray& book, int count, VCardVersion version)
{
    // Written straight into one buffer, grown when a card might not fit;
    // what is never written is never touched.
    QByteArray out;
    qsizetype used = 0;
    constexpr qsizetype kCardRoom = 8192;   // more than any card of 440 bytes of fields takes
    const auto room = [&](qsizetype need) {
        if (out.size() - used >= need)
            return;
        out.resize(std::max<qsizetype>(out.size() * 2, used + need + book.size() * 2));
        memory::preferHugePages(out.constData(), static_cast<std::size_t>(out.size()));
    };
    QByteArray spare, card;
    // Every line fits: 440 bytes of fields at most, each byte at most three
    // of UTF-8, and the names.
    std::array<char, 2048> line;
    char* o = nullptr;
    const auto literal = [&](const char* text) { o = putLiteral(o, text); };
    const auto put = [&](const char* name, std::string_view a, std::string_view b, const char* tail,
                         const codepage::Utf8Bytes& t, bool two) {
        char* e = putLiteral(line.data(), name);
        e = putEscaped(e, a, t);
        if (two) {
            *e++ = ';';
            e = putEscaped(e, b, t);
        }
        e = putLiteral(e, tail);
        o = foldInto(o, QByteArrayView(line.data(), e - line.data()));
    };
    QList<ShortForm> forms;
    QString note;
    forEachShownRecord(book, count, [&](const char* r, const StoredFields& field, bool exact, const codepage::Utf8Bytes& t) {
        // Comments that begin with what the import wrote for a property give
        // it back its property; those of the name go the way of a Contact.
        const std::string_view comments = field[static_cast<std::size_t>(Field::Comments)];
        const bool formed = exact && mayBeShortForm(comments);
        if (formed) {
            forms = shortFormsOf(codepage::decode(comments), &note);
            exact = std::none_of(forms.begin(), forms.end(), [](const ShortForm& f) { return f.head == "N" || f.head == "FN"; });
        }
        if (!exact) {
            ContactRecord whole;
            std::copy_n(r, kRecordSize, whole.bytes.begin());
            card.resize(0);
            appendCard(card, spare, fromRecord(whole), version);
            room(card.size());
            used = std::copy(card.begin(), card.end(), out.data() + used) - out.constData();
            return;
        }
        room(kCardRoom);
        o = out.data() + used;
        literal("BEGIN:VCARD\r\n");
        literal(versionLine(version));
        const auto stored = [&](Field f) { return field[static_cast<std::size_t>(f)]; };
        const std::string_view first = stored(Field::FirstName), last = stored(Field::LastName);
        put("N:", last, first, ";;;", t, true);
        // The display name: first and last joined by a space, without the
        // white space around it.
        std::array<char, 2 * kRecordSize> joined;
        char* j = std::copy(first.begin(), first.end(), joined.data());
        *j++ = ' ';
        j = std::copy(last.begin(), last.end(), j);
        std::string_view fn(joined.data(), static_cast<std::size_t>(j - joined.data()));
        while (!fn.empty() && t.space[static_cast<unsigned char>(fn.front())])
            fn.remove_prefix(1);
        while (!fn.empty() && t.space[static_cast<unsigned char>(fn.back())])
            fn.remove_suffix(1);
        put("FN:", fn, {}, "", t, false);
        for (const FieldLine& l : kFieldLines)
            if (const std::string_view v = stored(l.field); !v.empty())
                put(version == VCardVersion::V40 ? l.name40 : l.name, v, {}, l.tail, t, false);
        if (formed) {
            card.resize(0);
            appendForms(card, spare, forms, note);
            o = std::copy(card.begin(), card.end(), o);
        } else if (!comments.empty()) {
            put("NOTE:", comments, {}, "", t, false);
        }
        literal("END:VCARD\r\n");
        used = o - out.constData();
    });
    out.truncate(used);
    return out;
}

} // namespace pb::exchange
