#include "exchange/vcard/VCardContact.h"
#include "exchange/TextDecoding.h"

#include "platform/Codepage.h"

#include <QRegularExpression>

#include <algorithm>

namespace pb::exchange::detail {

namespace {

QString typeLabel(const Property& p)
{
    QStringList t = p.types();
    for (const char* noise : {"PREF", "VOICE", "INTERNET", "QUOTED-PRINTABLE", "X-INTERNET", "OTHER"})
        t.removeAll(QLatin1String(noise));
    t.removeIf([](const QString& s) { return s.startsWith(QLatin1String("CHARSET")) || s.startsWith(QLatin1String("ENCODING")); });
    return t.join(u',').toLower();
}

QString addressText(const Property& p)
{
    // post office box; extended; street; locality; region; postal code; country
    QStringList a = splitEscaped(p.value, u';');
    for (QString& part : a) {
        // A part after a folded line begins with its space.
        while (part.startsWith(u' ') || part.startsWith(u'\t'))
            part.remove(0, 1);
        while (part.endsWith(u' ') || part.endsWith(u'\t'))
            part.chop(1);
    }
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

QString plainText(const Property& p)
{
    return toCrLf(unescape(p.value));
}

// A telephone number, also as a vCard 4.0 "tel:" URI: the number, and its
// extension as people write it.
QString phoneText(const Property& p)
{
    QString v = plainText(p).trimmed();
    if (!v.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        return v;
    v = v.mid(4);
    const QStringList parts = v.split(u';');
    QString number = parts.first();
    for (const QString& param : parts.mid(1))
        if (param.startsWith(QLatin1String("ext="), Qt::CaseInsensitive))
            number += QStringLiteral(" ext. ") + param.mid(4);
    return number;
}


// Of several TEL (EMAIL, ADR) the preferred one goes to the field, the first
// when none is; the others become extras: "cell +1 555 0100".
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
    for (qsizetype i = 0; i < props.size(); ++i) {
        if (i == chosen)
            continue;
        const QString type = typeLabel(props[i]);
        QString shortForm = field == Field::Phone ? (type.isEmpty() ? label : type) : label + (type.isEmpty() ? QString() : u' ' + type);
        extra << shortForm + u' ' + oneLine(text(props[i]));
    }
}

// A property kept in Comments: "birthday 1980-04-22", "web https://...".
QString extraText(const Property& p, const ExtraKind& kind)
{
    const QString value = QLatin1String(kind.property) == QLatin1String("CATEGORIES")
                              ? splitEscaped(p.value, u',').join(QStringLiteral(", "))
                              : unescape(p.value);
    const QString type = typeLabel(p);
    return QLatin1String(kind.label) + (type.isEmpty() ? QString() : u' ' + type) + u' ' + oneLine(toCrLf(value));
}

// A picture given by its address (a URI), not by its bytes.
bool isLink(const Property& p)
{
    const QString value = p.param("VALUE");
    if (value.compare(QLatin1String("uri"), Qt::CaseInsensitive) == 0 || value.compare(QLatin1String("url"), Qt::CaseInsensitive) == 0)
        return !p.value.trimmed().startsWith(QLatin1String("data:"), Qt::CaseInsensitive);
    static const QRegularExpression scheme(QStringLiteral("^\\s*[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(p.value).hasMatch();
}

// Text with letters none of which the book's code page holds: stored, it
// would be question marks only.
bool noLetterFits(const QString& text)
{
    bool letters = false;
    for (char32_t ch : text.toUcs4()) {
        if (!QChar::isLetter(ch))
            continue;
        if (ch < 0x80 || codepage::byteFor(ch) != '\0')
            return false;
        letters = true;
    }
    return letters;
}

// A card's properties sorted by what becomes of them.
class CardSorter
{
public:
    CardSorter(Contact& c, ReadReport* report) : c_(c), report_(report) {}

    void take(const Property& p)
    {
        switch (p.kind) {
        case Prop::N: name(p); break;
        case Prop::FN: fn_ = unescape(p.value); break;
        case Prop::Tel: tels_ << p; break;
        case Prop::Email: emails_ << p; break;
        case Prop::Adr: adrs_ << p; break;
        case Prop::Label: labels_ << p; break;
        case Prop::Org: company(p); break;
        case Prop::Note: notes_ << plainText(p); break;
        case Prop::Photo: picture(p); break;
        case Prop::Extra: extra(p); break;
        case Prop::Agent: notKept(QStringLiteral("AGENT")); break;
        case Prop::Other:
            if (!p.name.isEmpty())
                notKept(p.name);
            break;
        default: break;
        }
    }

    // The name from the display name when the card has no N, or the
    // display name kept when it says more than the name.
    void finishName()
    {
        if (!haveN_ && !fn_.isEmpty()) {
            const qsizetype space = fn_.lastIndexOf(u' ');
            c_[Field::FirstName] = space < 0 ? fn_ : fn_.left(space);
            c_[Field::LastName] = space < 0 ? QString() : fn_.mid(space + 1);
            return;
        }
        if (!haveN_ || fn_.isEmpty())
            return;
        // A display name that says more than the name (a middle name, a
        // nickname in it) is kept too.
        const QString shown = QStringList{c_[Field::FirstName], c_[Field::LastName]}.join(u' ').simplified();
        const QStringList words = fn_.simplified().split(u' ');
        if (std::all_of(words.begin(), words.end(), [&](const QString& w) { return shown.contains(w, Qt::CaseInsensitive); }))
            return;
        if (noLetterFits(fn_))
            notKept(QStringLiteral("FN (its letters are not in the book's code page)"));
        else
            others_.append({5, QStringLiteral("shown as ") + fn_.simplified()});
    }

    // The fields of several values each, and Comments: the birthday and
    // title first, then the further numbers, addresses and the rest of the
    // extras, then the note.
    void finish()
    {
        finishName();
        QStringList phonesEtc;
        takePreferred(tels_, c_, Field::Phone, QStringLiteral("phone"), phoneText, phonesEtc);
        takePreferred(emails_, c_, Field::Email, QStringLiteral("e-mail"), plainText, phonesEtc);
        if (!adrs_.isEmpty())
            takePreferred(adrs_, c_, Field::Address, QStringLiteral("address"), addressText, phonesEtc);
        else
            takePreferred(labels_, c_, Field::Address, QStringLiteral("address"), plainText, phonesEtc);
        std::stable_sort(others_.begin(), others_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [order, text] : others_)
            if (order < 3)
                c_.extras << text;
        c_.extras += phonesEtc;
        for (const auto& [order, text] : others_)
            if (order >= 3)
                c_.extras << text;
        c_.note = notes_.join(kCrLf);
        c_.composeComments();
    }

private:
    void notKept(const QString& what)
    {
        if (!c_.notKept.contains(what))
            c_.notKept << what;
    }

    void name(const Property& p)
    {
        const QStringList n = splitEscaped(p.value, u';');
        c_[Field::LastName] = n.value(0);
        c_[Field::FirstName] = n.value(2).isEmpty() ? n.value(1) : n.value(1) + u' ' + n.value(2);
        haveN_ = !c_[Field::LastName].isEmpty() || !c_[Field::FirstName].isEmpty();
        // Prefix and suffix ("Dr.", "Jr.") have no field: kept among the extras.
        const QString honours = QStringList{n.value(3), n.value(4)}.join(u' ').simplified();
        if (!honours.isEmpty())
            others_.append({5, QStringLiteral("name ") + honours});
    }

    void company(const Property& p)
    {
        QString& company = c_[Field::Company];
        company = splitEscaped(p.value, u';').join(QStringLiteral(", "));
        while (company.endsWith(QLatin1String(", ")))
            company.chop(2);
    }

    // A picture's link is text the book has no place for; a picture itself
    // is only counted.
    void picture(const Property& p)
    {
        if (isLink(p))
            notKept(QStringLiteral("%1 (a link)").arg(p.name));
        else if (report_)
            ++report_->photosSkipped;
    }

    void extra(const Property& p)
    {
        const ExtraKind* kind = extraKindOf(p.name);
        if (!kind || unescape(p.value).trimmed().isEmpty())
            return;
        if (noLetterFits(unescape(p.value)))
            notKept(p.name + QStringLiteral(" (its letters are not in the book's code page)"));
        else
            others_.append({kind->order, extraText(p, *kind)});
    }

    Contact& c_;
    ReadReport* const report_;
    QList<Property> tels_, emails_, adrs_, labels_;
    QList<std::pair<int, QString>> others_;   // (order, text)
    QString fn_;
    bool haveN_ = false;
    QStringList notes_;
};

} // namespace

Contact contactFrom(const QList<Property>& card, ReadReport* report)
{
    Contact c;
    CardSorter sorter(c, report);
    for (const Property& p : card)
        sorter.take(p);
    sorter.finish();
    return c;
}

} // namespace pb::exchange::detail
