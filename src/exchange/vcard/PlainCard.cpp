#include "exchange/vcard/PlainCard.h"

#include <algorithm>

namespace pb::exchange::detail {

namespace {

// Calls `each(type)` with each kind a property's parameters give (TYPE's
// values, and vCard 2.1's bare ones), as take() let them through: no
// blanks, no quotes, every other parameter refused.
template <typename F>
void forEachType(std::string_view head, qsizetype semicolon, F each)
{
    if (semicolon < 0)
        return;
    std::string_view params = head.substr(static_cast<std::size_t>(semicolon) + 1);
    while (true) {
        const std::size_t end = params.find(';');
        std::string_view param = params.substr(0, end);
        if (const std::size_t eq = param.find('='); eq != std::string_view::npos)
            param.remove_prefix(eq + 1);
        while (!param.empty()) {
            const std::size_t comma = param.find(',');
            if (comma != 0)
                each(param.substr(0, comma));
            if (comma == std::string_view::npos)
                break;
            param.remove_prefix(comma + 1);
        }
        if (end == std::string_view::npos)
            return;
        params.remove_prefix(end + 1);
    }
}

} // namespace

const char* PlainCard::read(const char* p, const char* end, RecordDraft& r)
{
    values_.fill({});
    items_.clear();
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
        const auto span = [&](qsizetype from, qsizetype size) {
            return folded ? Span{nullptr, at + static_cast<std::size_t>(from), static_cast<std::size_t>(size)}
                          : Span{line.data() + from, 0, static_cast<std::size_t>(size)};
        };
        const Span value = span(colon + 1, line.size() - colon - 1);
        if (kind == Prop::Tel || kind == Prop::Email || kind == Prop::Adr || kind == Prop::Extra) {
            items_.push_back({kind, kind == Prop::Extra ? extra_ : nullptr, span(0, colon), semicolon, value});
        } else {
            values_[static_cast<std::size_t>(kind)] = value;
        }
    }
    return nullptr;   // no END:VCARD in what is held
}

bool PlainCard::take(QByteArrayView head, qsizetype semicolon, Prop kind)
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
        // Kinds only ("TYPE=cell", vCard 2.1's bare "WORK").
        for (qsizetype at = semicolon; at >= 0;) {
            const qsizetype next = head.indexOf(';', at + 1);
            const QByteArrayView param = head.sliced(at + 1, (next < 0 ? head.size() : next) - at - 1).trimmed();
            const qsizetype eq = param.indexOf('=');
            if (eq >= 0 ? !sameLetters(param.first(eq).trimmed(), "TYPE") || param.contains('"')
                        : param.isEmpty() || containsLetters(param, "QUOTED-PRINTABLE") || containsLetters(param, "CHARSET"))
                return false;
            at = next;
        }
        // Several of them: one is the field's, the others go to Comments.
        for (qsizetype i = 0; i < head.size(); ++i) {
            const char c = head[i];
            if (static_cast<unsigned char>(c) >= 0x80 || asciiSpace(c) || c == '"' ||
                (c == '=' && (i + 1 == head.size() || head[i + 1] == ';')))
                return false;
        }
        seen_ |= 1u << static_cast<unsigned>(kind);
        return true;
    case Prop::Extra: {
        // An extra's plain text; the groups' list and any parameters the other way.
        if (params)
            return false;
        extra_ = extraKindOf(nameOf(head));
        return extra_ && std::string_view(extra_->property) != "CATEGORIES";
    }
    default:
        return false;
    }
    const unsigned bit = 1u << static_cast<unsigned>(kind);
    if (seen_ & bit)
        return false;   // a second one of a kind: the report names it
    seen_ |= bit;
    return true;
}

std::string_view PlainCard::text(const Span& s) const
{
    return s.p ? std::string_view(s.p, s.size) : std::string_view(unfolded_).substr(s.at, s.size);
}

std::string_view PlainCard::value(Prop kind) const
{
    return text(values_[static_cast<std::size_t>(kind)]);
}

const PlainCard::Item* PlainCard::chosen(Prop kind) const
{
    const Item* first = nullptr;
    int count = 0;
    for (const Item& item : items_)
        if (item.kind == kind && count++ == 0)
            first = &item;
    if (count < 2)
        return first;
    for (const Item& item : items_) {
        if (item.kind != kind)
            continue;
        bool pref = false;
        forEachType(text(item.head), item.semicolon, [&](std::string_view type) { pref = pref || sameLetters(QByteArrayView(type.data(), static_cast<qsizetype>(type.size())), "PREF"); });
        if (pref)
            return &item;
    }
    return first;
}

bool PlainCard::record(RecordDraft& r)
{
    for (Prop kind : {Prop::Tel, Prop::Email, Prop::Adr})
        if (const Item* item = chosen_[static_cast<std::size_t>(kind)] = chosen(kind))
            values_[static_cast<std::size_t>(kind)] = item->value;
    if (!nameInto(r) || !phoneInto(r))
        return false;
    Text& t = text_[2];
    t.clear();
    if (!unescapeTo(t, value(Prop::Email), true) || !quietlyInto(r, Field::Email, t.view()))
        return false;
    return companyInto(r) && addressInto(r) && commentsInto(r);
}

// First and last name from N, or from FN when there is no N; a display
// name that says more than the name, or a prefix or suffix, goes the other way.
bool PlainCard::nameInto(RecordDraft& r)
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
    return quietlyInto(r, Field::FirstName, first.view()) && quietlyInto(r, Field::LastName, last.view());
}

// The number trimmed; a "tel:" URI or a number that begins or ends with a
// character outside ASCII goes the other way. `out` holds what the view
// returned looks at.
bool PlainCard::phoneText(std::string_view value, Text& out)
{
    out.clear();
    if (!unescapeTo(out, value, true))
        return false;
    std::string_view phone = out.view();
    while (!phone.empty() && asciiSpace(phone.front()))
        phone.remove_prefix(1);
    while (!phone.empty() && asciiSpace(phone.back()))
        phone.remove_suffix(1);
    if (!phone.empty() && (static_cast<unsigned char>(phone.front()) >= 0x80 || static_cast<unsigned char>(phone.back()) >= 0x80))
        return false;
    if (startsWithLetters(QByteArrayView(phone.data(), static_cast<qsizetype>(phone.size())), "TEL:"))
        return false;
    Text& trimmed = text_[7];
    trimmed.clear();
    trimmed.put(phone);
    out.clear();
    return out.put(trimmed.view());
}

bool PlainCard::phoneInto(RecordDraft& r)
{
    Text& t = text_[2];
    return phoneText(value(Prop::Tel), t) && quietlyInto(r, Field::Phone, t.view());
}

// Every part of ORG, ", " between them, none at the end.
bool PlainCard::companyInto(RecordDraft& r)
{
    Text& t = text_[2];
    t.clear();
    if (has(Prop::Org)) {
        if (!forEachPart(value(Prop::Org), [&](std::string_view part, std::size_t n) {
                return (n == 0 || t.put(", ")) && unescapeTo(t, part, false);
            }))
            return false;
        while (t.size() >= 2 && t.view().substr(t.size() - 2) == ", ")
            t.shrink(2);
    }
    return quietlyInto(r, Field::Company, t.view());
}

// Street lines, then the town's parts on one line, then the country; a
// part with blanks at either end goes the other way (which trims it).
bool PlainCard::addressText(std::string_view value, Text& t)
{
    t.clear();
    if (!splitTo(parts_, value, true))
        return false;
    const auto line = [&](std::string_view text) { return (t.empty() || t.put("\r\n")) && t.put(text); };
    for (const Text& part : parts_) {
        const std::string_view v = part.view();
        if (!v.empty() && (asciiSpace(v.front()) || asciiSpace(v.back())))
            return false;
    }
    for (std::size_t i : {0, 1, 2})
        if (!parts_[i].empty() && !line(parts_[i].view()))
            return false;
    Text& town = text_[3];
    town.clear();
    for (std::size_t i : {3, 4, 5})
        if (!parts_[i].empty() && ((!town.empty() && !town.put(' ')) || !town.put(parts_[i].view())))
            return false;
    return (town.empty() || line(town.view())) && (parts_[6].empty() || line(parts_[6].view()));
}

bool PlainCard::addressInto(RecordDraft& r)
{
    Text& t = text_[2];
    t.clear();
    return (!has(Prop::Adr) || addressText(value(Prop::Adr), t)) && quietlyInto(r, Field::Address, t.view());
}

namespace {

// Whether UTF-8 text holds a character other than ASCII's that Unicode
// counts as white space (a no-break space, an em space, ...).
bool unicodeSpace(std::string_view s)
{
    for (std::string_view seq : {"\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80", "\xE2\x81\x9F", "\xE3\x80\x80"})
        if (s.find(seq) != std::string_view::npos)
            return true;
    return false;
}

// The text on one line as oneLine() makes it: each CR LF ", ", white space
// trimmed and each run of it one space; onto `out`. False when it does not
// fit, or holds white space outside ASCII.
bool oneLineTo(Text& out, std::string_view text)
{
    if (unicodeSpace(text))
        return false;
    bool space = false, any = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            // ", ": the comma a character, the space white space.
            if ((space && any && !out.put(' ')) || !out.put(','))
                return false;
            any = true;
            space = true;
            ++i;
            continue;
        }
        if (asciiSpace(c)) {
            space = true;
            continue;
        }
        if ((space && any && !out.put(' ')) || !out.put(c))
            return false;
        space = false;
        any = true;
    }
    return true;
}

} // namespace

bool PlainCard::typeLabel(const Item& item, Text& out) const
{
    static constexpr const char* kNoise[] = {"PREF", "VOICE", "INTERNET", "QUOTED-PRINTABLE", "X-INTERNET", "OTHER"};
    bool ok = true;
    forEachType(text(item.head), item.semicolon, [&](std::string_view type) {
        const QByteArrayView t(type.data(), static_cast<qsizetype>(type.size()));
        if (std::any_of(std::begin(kNoise), std::end(kNoise), [&](const char* n) { return sameLetters(t, n); }) ||
            startsWithLetters(t, "CHARSET") || startsWithLetters(t, "ENCODING"))
            return;
        if (!out.empty())
            ok = ok && out.put(',');
        for (char c : type)
            ok = ok && out.put(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    });
    return ok;
}

bool PlainCard::shortForm(const Item& item, Text& out)
{
    Text& value = text_[4];
    Text& label = text_[5];
    value.clear();
    label.clear();
    const std::string_view v = text(item.value);
    if (item.kind == Prop::Extra) {
        if (!unescapeTo(value, v, true))
            return false;
        if (std::all_of(value.view().begin(), value.view().end(), asciiSpace))
            return !unicodeSpace(value.view());   // an empty extra is no extra
        return out.put(item.extra->label) && out.put(' ') && oneLineTo(out, value.view());
    }
    if (!typeLabel(item, label))
        return false;
    bool ok = true;
    if (item.kind == Prop::Tel) {
        ok = phoneText(v, value) && out.put(label.empty() ? std::string_view("phone") : label.view());
    } else {
        if (item.kind == Prop::Email)
            ok = unescapeTo(value, v, true) && out.put("e-mail");
        else
            ok = addressText(v, value) && out.put("address");
        ok = ok && (label.empty() || (out.put(' ') && out.put(label.view())));
    }
    return ok && out.put(' ') && oneLineTo(out, value.view());
}

// The short forms of the extras and of the further numbers, e-mail
// addresses and addresses, then the note: birthday, title and role first,
// then the numbers and addresses, then the other extras by their order.
bool PlainCard::commentsInto(RecordDraft& r)
{
    Text& t = text_[6];
    t.clear();
    const auto line = [&](const Item& item) {
        const std::size_t before = t.size();
        if (!t.empty() && !t.put("\r\n"))
            return false;
        const std::size_t start = t.size();
        if (!shortForm(item, t))
            return false;
        if (t.size() == start)
            t.shrink(t.size() - before);   // an empty extra
        return true;
    };
    const auto extrasBy = [&](auto keep) {
        // Stable by order: the card's order within one.
        for (int order = 0; order <= 12; ++order)
            for (const Item& item : items_)
                if (item.kind == Prop::Extra && item.extra->order == order && keep(order) && !line(item))
                    return false;
        return true;
    };
    if (!extrasBy([](int order) { return order < 3; }))
        return false;
    for (Prop kind : {Prop::Tel, Prop::Email, Prop::Adr}) {
        const Item* field = chosen_[static_cast<std::size_t>(kind)];
        for (const Item& item : items_)
            if (item.kind == kind && &item != field && !line(item))
                return false;
    }
    if (!extrasBy([](int order) { return order >= 3; }))
        return false;
    Text& note = text_[4];
    note.clear();
    if (!unescapeTo(note, value(Prop::Note), true))
        return false;
    if (!note.empty() && ((!t.empty() && !t.put("\r\n")) || !t.put(note.view())))
        return false;
    return quietlyInto(r, Field::Comments, t.view());
}

} // namespace pb::exchange::detail
