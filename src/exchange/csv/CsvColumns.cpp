#include "exchange/csv/CsvColumns.h"
#include "exchange/Exchange.h"

#include <QRegularExpression>

#include <optional>

namespace pb::exchange {

using namespace detail;

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

namespace detail {

namespace {

// An address part in a column of its own: which address ("Home",
// "Business", ...) and which part.
struct AddressColumn {
    QString group;
    int part;   // 0 street, 1 street 2, 2 city, 3 region, 4 postal code, 5 country
};

std::optional<AddressColumn> addressColumn(const QString& header)
{
    static const QRegularExpression re(
        QStringLiteral("^(home|business|work|other|mailing|primary)?\\s*(address\\s*)?(street|street 1|street 2|street 3|"
                       "city|locality|state|region|province|zip|zip code|zipcode|postal code|postcode|country|"
                       "country/region|country code)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(header.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const QString part = m.captured(3).toLower();
    int n = 0;
    if (part.startsWith(QLatin1String("street")))
        n = part.endsWith(u'2') || part.endsWith(u'3') ? 1 : 0;
    else if (part == QLatin1String("city") || part == QLatin1String("locality"))
        n = 2;
    else if (part == QLatin1String("state") || part == QLatin1String("region") || part == QLatin1String("province"))
        n = 3;
    else if (part.startsWith(QLatin1String("zip")) || part.startsWith(QLatin1String("post")))
        n = 4;
    else
        n = 5;
    return AddressColumn{m.captured(1).toLower(), n};
}

// More columns of a field than the header table names: "Phone 3 - Value",
// "E-mail 4 Address", "Email Work", "Mobile".
int fieldOfPattern(const QString& header)
{
    static const QRegularExpression phone(QStringLiteral("^(phone \\d+ - value|.*\\b(phone|mobile|cell|fax|pager)\\b.*)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression email(QStringLiteral("^(e-?mail\\b.*)$"), QRegularExpression::CaseInsensitiveOption);
    if (header.contains(QLatin1String("type"), Qt::CaseInsensitive) || header.contains(QLatin1String("label"), Qt::CaseInsensitive) ||
        header.contains(QLatin1String("display"), Qt::CaseInsensitive))
        return -1;
    if (email.match(header.trimmed()).hasMatch())
        return static_cast<int>(Field::Email);
    if (phone.match(header.trimmed()).hasMatch())
        return static_cast<int>(Field::Phone);
    return -1;
}

// Whether a first row is data rather than column names: it holds an e-mail
// address or a telephone number.
bool looksLikeAContact(const QStringList& row)
{
    static const QRegularExpression email(QStringLiteral("^[^@\\s]+@[^@\\s]+\\.[^@\\s]+$"));
    static const QRegularExpression phone(QStringLiteral("^\\+?[\\d ()./-]{5,}$"));
    return std::any_of(row.begin(), row.end(), [](const QString& cell) {
        const QString c = cell.trimmed();
        return email.match(c).hasMatch() || (phone.match(c).hasMatch() && std::count_if(c.begin(), c.end(), [](QChar ch) {
                                                                             return ch.isDigit();
                                                                         }) >= 5);
    });
}

QString firstRowIsAContact(const QStringList& row)
{
    QString shown = row.mid(0, 4).join(QStringLiteral(", "));
    if (row.size() > 4)
        shown += QStringLiteral(", ...");
    return QStringLiteral("The first row looks like a contact (%1), not a row of column names, so nothing was read "
                          "from the file. Add a first row that names the columns, for example\n"
                          "First Name,Last Name,E-mail,Phone,Company,Address,Notes\n"
                          "(the columns read are listed in the README), and import the file again.")
        .arg(shown);
}

} // namespace

bool CsvColumns::read(const QStringList& names, QString* refused)
{
    header = names;
    int known = 0;
    for (qsizetype i = 0; i < header.size(); ++i) {
        const QString h = header[i].trimmed();
        bool used = false;
        // Address parts first: "Home Street" beside "Home City" is a part.
        if (const auto a = addressColumn(h)) {
            if (!addressGroups.contains(a->group))
                groupOrder << a->group;
            addressGroups[a->group].append({a->part, i});
            used = true;
        }
        for (std::size_t f = 0; f < kFieldCount && !used; ++f)
            for (const QString& name : csvHeaders()[f])
                if (h.compare(name, Qt::CaseInsensitive) == 0) {
                    fields[f] << i;
                    used = true;
                    break;
                }
        if (!used) {
            if (const int f = fieldOfPattern(h); f >= 0) {
                fields[static_cast<std::size_t>(f)] << i;
                used = true;
            }
        }
        if (used)
            ++known;
        else if (!h.isEmpty())
            extra << i;
    }
    if (known == 0) {
        // No column this program knows: a file without a header row, or of
        // something else. Nothing is guessed.
        *refused = looksLikeAContact(header) ? firstRowIsAContact(header)
                                             : QStringLiteral("The first row names no column this program reads "
                                                              "(First Name, Last Name, E-mail, Phone, ...): the file "
                                                              "has no header row or holds no contacts. Nothing was "
                                                              "read from it.");
        return false;
    }
    for (auto& parts : addressGroups)
        std::stable_sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    first.fill(-1);
    for (std::size_t f = 0; f < kFieldCount; ++f)
        for (qsizetype col : fields[f]) {
            if (first[f] < 0)
                first[f] = col;
            else
                others.push_back(col);
        }
    for (const auto& group : std::as_const(addressGroups))
        for (const auto& part : group)
            others.push_back(part.second);
    others.insert(others.end(), extra.begin(), extra.end());
    return true;
}

} // namespace detail

} // namespace pb::exchange
