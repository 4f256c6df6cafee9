#include "sync/CardPatch.h"

#include "exchange/Exchange.h"
#include "exchange/ExchangeParts.h"
#include "exchange/Import.h"
#include "exchange/vcard/VCardLine.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace pb::sync {

using namespace exchange;
using namespace exchange::detail;

namespace {

// One logical line of the card, with the bytes it took in the file.
struct CardLine {
    QByteArray text;    // unfolded
    const char* from;   // the raw bytes, folding and all
    const char* to;
    Prop kind = Prop::Other;
    qsizetype colon = -1;
    bool preferred = false;
};

// The lines of the first card in `card`, BEGIN and END included (an
// embedded AGENT card's lines belong to their property).
std::vector<CardLine> linesOf(const QByteArray& card)
{
    std::vector<CardLine> lines;
    bool in = false;
    int agent = 0;
    forEachLogicalLine(QByteArrayView(card), [&](QByteArrayView line, const char* from, const char* to) {
        const qsizetype colon = colonOf(line);
        const Prop kind = colon < 0 ? Prop::Other : kindOf(nameOf(line.first(colon)));
        const bool begins = colon >= 0 && cardMark(line, colon, kind, Prop::Begin);
        const bool ends = colon >= 0 && cardMark(line, colon, kind, Prop::End);
        if (!in && !begins)
            return true;
        if (in && agent > 0) {
            agent += begins ? 1 : ends ? -1 : 0;
            lines.back().to = to;   // part of the AGENT property
            return true;
        }
        in = true;
        CardLine l{line.toByteArray(), from, to, kind, colon, false};
        if (kind == Prop::Agent && startsWithLetters(line.sliced(colon + 1).trimmed(), "BEGIN:VCARD"))
            agent = 1;
        if (kind == Prop::Tel || kind == Prop::Email || kind == Prop::Adr)
            l.preferred = parseLine(l.text, colon, kind, nullptr).preferred();
        lines.push_back(std::move(l));
        return !ends;
    });
    return lines;
}

// Which line of a kind the import took for its field: the first
// preferred one when there are several, else the first; -1: none.
qsizetype chosenLine(const std::vector<CardLine>& lines, Prop kind)
{
    qsizetype first = -1, count = 0;
    for (qsizetype i = 0; i < static_cast<qsizetype>(lines.size()); ++i)
        if (lines[static_cast<std::size_t>(i)].kind == kind && count++ == 0)
            first = i;
    if (count < 2)
        return first;
    for (qsizetype i = 0; i < static_cast<qsizetype>(lines.size()); ++i)
        if (lines[static_cast<std::size_t>(i)].kind == kind && lines[static_cast<std::size_t>(i)].preferred)
            return i;
    return first;
}

// A line's name and parameters as they were, without those that said how
// the old value was encoded (the new one is plain UTF-8).
QByteArray plainHead(const CardLine& l)
{
    const QList<QByteArray> parts = l.text.first(l.colon).split(';');
    QByteArray head = parts.value(0);
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray p = parts[i].trimmed().toUpper();
        if (p.startsWith("ENCODING") || p.startsWith("CHARSET") || p == "QUOTED-PRINTABLE" || p == "BASE64" || p == "8BIT")
            continue;
        head += ';' + parts[i];
    }
    return head;
}

// A property line: `head`, then the values, each escaped, `sep` between them.
QByteArray propertyLine(const QByteArray& head, const QStringList& values, char sep = ';')
{
    QByteArray line = head + ':';
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            line += sep;
        appendEscaped(line, values[i]);
    }
    QByteArray out;
    appendFolded(out, line);
    return out;
}

// The note part of Comments: its lines that are none of the card's extras
// (each extra taken once), as the import would store it.
QString noteOf(const QString& comments, QStringList extras)
{
    QStringList note;
    for (const QString& line : comments.split(kCrLf)) {
        if (const qsizetype at = extras.indexOf(line); at >= 0) {
            extras.removeAt(at);
            continue;
        }
        note << line;
    }
    while (!note.isEmpty() && note.first().trimmed().isEmpty())
        note.removeFirst();
    while (!note.isEmpty() && note.last().trimmed().isEmpty())
        note.removeLast();
    return note.join(kCrLf);
}

// What the card's lines become: a line replaced, dropped, or added before END.
class Patch
{
public:
    explicit Patch(std::vector<CardLine> lines) : lines_(std::move(lines)), with_(lines_.size()) {}

    const std::vector<CardLine>& lines() const { return lines_; }
    void replace(qsizetype i, QByteArray bytes) { with_[static_cast<std::size_t>(i)] = std::move(bytes); }
    // vCard 2.1 reads 8-bit text as ASCII unless told otherwise.
    bool v21 = false;
    void drop(qsizetype i) { with_[static_cast<std::size_t>(i)] = QByteArray(); }
    void add(QByteArray bytes) { added_ += bytes; }
    // Every line of a kind dropped.
    void dropAll(Prop kind)
    {
        for (qsizetype i = 0; i < static_cast<qsizetype>(lines_.size()); ++i)
            if (lines_[static_cast<std::size_t>(i)].kind == kind)
                drop(i);
    }
    // Line `at` (the one the field came from) rewritten with the values, or
    // a line added when there is none (-1); an empty value drops it.
    void set(qsizetype at, const QByteArray& name, const QStringList& values, bool empty)
    {
        if (at < 0) {
            if (!empty)
                add(propertyLine(head(name, values), values));
            return;
        }
        if (empty)
            drop(at);
        else
            replace(at, propertyLine(head(plainHead(lines_[static_cast<std::size_t>(at)]), values), values));
    }

    QByteArray head(const QByteArray& name, const QStringList& values) const
    {
        const bool ascii = std::all_of(values.begin(), values.end(), [](const QString& v) {
            return std::all_of(v.begin(), v.end(), [](QChar c) { return c.unicode() < 0x80; });
        });
        return v21 && !ascii ? name + ";CHARSET=UTF-8" : name;
    }

    QByteArray result(const QByteArray& card) const
    {
        if (lines_.empty())
            return card;
        QByteArray out(card.constData(), lines_.front().from - card.constData());
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            const CardLine& l = lines_[i];
            if (l.kind == Prop::End && (i + 1 == lines_.size()))
                out += added_;
            if (with_[i])
                out += *with_[i];
            else
                out.append(l.from, l.to - l.from);
        }
        const char* end = lines_.back().to;
        out.append(end, card.constData() + card.size() - end);
        return out;
    }

private:
    std::vector<CardLine> lines_;
    std::vector<std::optional<QByteArray>> with_;
    QByteArray added_;
};

qsizetype firstLine(const std::vector<CardLine>& lines, Prop kind)
{
    for (qsizetype i = 0; i < static_cast<qsizetype>(lines.size()); ++i)
        if (lines[static_cast<std::size_t>(i)].kind == kind)
            return i;
    return -1;
}

// N keeps its prefix and suffix; the middle name went into the first name.
void patchName(Patch& patch, const Contact& now)
{
    const auto& lines = patch.lines();
    const qsizetype n = firstLine(lines, Prop::N);
    QStringList parts = {now[Field::LastName], now[Field::FirstName], QString(), QString(), QString()};
    if (n >= 0) {
        const CardLine& l = lines[static_cast<std::size_t>(n)];
        const QStringList old = splitEscaped(parseLine(l.text, l.colon, Prop::N, nullptr).value, u';');
        parts[3] = old.value(3);
        parts[4] = old.value(4);
    }
    patch.set(n, "N", parts, false);
    // The display name: the one Comments names ("shown as ..."), which the
    // import keeps when it says more than the name, else the name.
    QString shown = QStringList{now[Field::FirstName], now[Field::LastName]}.join(u' ').trimmed();
    for (const QString& line : now[Field::Comments].split(kCrLf))
        if (line.startsWith(QLatin1String("shown as ")))
            shown = line.mid(9);
    patch.set(firstLine(lines, Prop::FN), "FN", {shown}, false);
}

void patchNote(Patch& patch, const Contact& card, const Contact& now)
{
    const QString note = noteOf(now[Field::Comments], card.extras);
    if (note == card.note)
        return;
    const auto& lines = patch.lines();
    const qsizetype at = firstLine(lines, Prop::Note);
    patch.dropAll(Prop::Note);
    patch.set(at, "NOTE", {note}, note.isEmpty());
}

} // namespace

ContactRecord recordOfCard(const QByteArray& card)
{
    ReadReport read;
    const QList<Contact> contacts = readContacts(card, QStringLiteral("card.vcf"), &read);
    const ImportPlan plan = planImport(contacts.mid(0, 1), read, QByteArray());
    return plan.count() > 0 ? plan.record(0) : ContactRecord();
}

QList<Field> changedFields(const QByteArray& card, const ContactRecord& now)
{
    const ContactRecord base = recordOfCard(card);
    QList<Field> changed;
    for (Field f : kAllFields)
        if (base.raw(f) != now.raw(f))
            changed << f;
    return changed;
}

QByteArray patchCard(const QByteArray& card, const ContactRecord& now, const QByteArray& rev, bool* changed)
{
    const QList<Field> fields = changedFields(card, now);
    *changed = !fields.isEmpty();
    if (fields.isEmpty())
        return card;
    ReadReport read;
    const Contact old = readVCard(card, &read).value(0);
    const Contact mine = fromRecord(now);
    Patch patch(linesOf(card));
    const auto& lines = patch.lines();
    for (const CardLine& l : lines)
        if (l.kind == Prop::Meta && sameLetters(nameOf(l.text.first(l.colon)), "VERSION"))
            patch.v21 = l.text.sliced(l.colon + 1).trimmed() == "2.1";
    const auto has = [&](Field f) { return fields.contains(f); };
    if (has(Field::FirstName) || has(Field::LastName))
        patchName(patch, mine);
    if (has(Field::Phone))
        patch.set(chosenLine(lines, Prop::Tel), "TEL", {mine[Field::Phone]}, mine[Field::Phone].isEmpty());
    if (has(Field::Email))
        patch.set(chosenLine(lines, Prop::Email), "EMAIL", {mine[Field::Email]}, mine[Field::Email].isEmpty());
    if (has(Field::Company))
        patch.set(firstLine(lines, Prop::Org), "ORG", {mine[Field::Company]}, mine[Field::Company].isEmpty());
    if (has(Field::Address))
        patch.set(chosenLine(lines, Prop::Adr), "ADR",
                  {QString(), QString(), mine[Field::Address], QString(), QString(), QString(), QString()},
                  mine[Field::Address].isEmpty());
    if (has(Field::Comments))
        patchNote(patch, old, mine);
    // REV says when the card last changed: one, now.
    for (qsizetype i = 0; i < static_cast<qsizetype>(lines.size()); ++i) {
        const CardLine& l = lines[static_cast<std::size_t>(i)];
        if (l.kind == Prop::Meta && sameLetters(nameOf(l.text.first(l.colon)), "REV"))
            patch.drop(i);
    }
    QByteArray revLine;
    appendFolded(revLine, "REV:" + rev);
    patch.add(revLine);
    return patch.result(card);
}

} // namespace pb::sync
