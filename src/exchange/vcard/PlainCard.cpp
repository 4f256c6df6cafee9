#include "exchange/vcard/PlainCard.h"

#include <algorithm>

namespace pb::exchange::detail {

const char* PlainCard::read(const char* p, const char* end, RecordDraft& r)
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

std::string_view PlainCard::value(Prop kind) const
{
    const Span& v = values_[static_cast<std::size_t>(kind)];
    return v.p ? std::string_view(v.p, v.size) : std::string_view(unfolded_).substr(v.at, v.size);
}

bool PlainCard::record(RecordDraft& r)
{
    if (!nameInto(r) || !phoneInto(r))
        return false;
    Text& t = text_[2];
    t.clear();
    if (!unescapeTo(t, value(Prop::Email), true) || !quietlyInto(r, Field::Email, t.view()))
        return false;
    if (!companyInto(r) || !addressInto(r))
        return false;
    t.clear();
    return unescapeTo(t, value(Prop::Note), true) && quietlyInto(r, Field::Comments, t.view());
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
// character outside ASCII goes the other way.
bool PlainCard::phoneInto(RecordDraft& r)
{
    Text& t = text_[2];
    t.clear();
    if (!unescapeTo(t, value(Prop::Tel), true))
        return false;
    std::string_view phone = t.view();
    while (!phone.empty() && asciiSpace(phone.front()))
        phone.remove_prefix(1);
    while (!phone.empty() && asciiSpace(phone.back()))
        phone.remove_suffix(1);
    if (!phone.empty() && (static_cast<unsigned char>(phone.front()) >= 0x80 || static_cast<unsigned char>(phone.back()) >= 0x80))
        return false;
    return !startsWithLetters(QByteArrayView(phone.data(), static_cast<qsizetype>(phone.size())), "TEL:") &&
           quietlyInto(r, Field::Phone, phone);
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
bool PlainCard::addressInto(RecordDraft& r)
{
    Text& t = text_[2];
    t.clear();
    if (has(Prop::Adr)) {
        if (!splitTo(parts_, value(Prop::Adr), true))
            return false;
        const auto line = [&](std::string_view text) { return (t.empty() || t.put("\r\n")) && t.put(text); };
        for (const Text& part : parts_) {
            const std::string_view v = part.view();
            if (!v.empty() && (v.front() == ' ' || v.back() == ' ' || v.front() == '\t' || v.back() == '\t'))
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
        if ((!town.empty() && !line(town.view())) || (!parts_[6].empty() && !line(parts_[6].view())))
            return false;
    }
    return quietlyInto(r, Field::Address, t.view());
}

} // namespace pb::exchange::detail
