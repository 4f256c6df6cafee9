#include "platform/Codepage.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <utility>

namespace pb::codepage {

namespace {

#include "platform/CodepageTables.inc"

// One code page ready for both directions.
struct Page {
    int number;
    std::array<char16_t, 256> toUnicode;                // every byte
    std::array<std::pair<char16_t, char>, 128> sorted;  // high half, by character
};

// An undefined byte reads as the C1 control of the same value (0x80-0x9F, as
// Windows itself does) or as a private-use character (0xA0-0xFF).
constexpr char16_t undefinedChar(int byte)
{
    return byte < 0xA0 ? static_cast<char16_t>(byte) : static_cast<char16_t>(0xF700 + byte);
}

Page makePage(int number, const std::array<char16_t, 128>& high)
{
    Page p{number, {}, {}};
    for (int b = 0; b < 0x80; ++b)
        p.toUnicode[static_cast<std::size_t>(b)] = static_cast<char16_t>(b);
    for (int i = 0; i < 128; ++i) {
        const char16_t c = high[static_cast<std::size_t>(i)] ? high[static_cast<std::size_t>(i)] : undefinedChar(0x80 + i);
        p.toUnicode[static_cast<std::size_t>(0x80 + i)] = c;
        p.sorted[static_cast<std::size_t>(i)] = {c, static_cast<char>(0x80 + i)};
    }
    std::sort(p.sorted.begin(), p.sorted.end());
    return p;
}

const std::array<Page, 10>& pages()
{
    static const std::array<Page, 10> all = {
        makePage(874, kCp874),   makePage(1250, kCp1250), makePage(1251, kCp1251), makePage(1252, kCp1252),
        makePage(1253, kCp1253), makePage(1254, kCp1254), makePage(1255, kCp1255), makePage(1256, kCp1256),
        makePage(1257, kCp1257), makePage(1258, kCp1258),
    };
    return all;
}

const Page* find(int number)
{
    for (const Page& p : pages())
        if (p.number == number)
            return &p;
    return nullptr;
}

std::atomic<const Page*> active{nullptr};

const Page& page()
{
    const Page* p = active.load(std::memory_order_acquire);
    return p ? *p : *find(1252);
}

char encodeOne(const Page& p, char32_t c)
{
    if (c < 0x80)
        return static_cast<char>(c);
    if (c > 0xFFFF)
        return '?';
    const auto it = std::lower_bound(p.sorted.begin(), p.sorted.end(), std::pair<char16_t, char>(static_cast<char16_t>(c), '\0'),
                                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return it != p.sorted.end() && it->first == c ? it->second : '?';
}

} // namespace

QList<int> supported()
{
    QList<int> out;
    for (const Page& p : pages())
        out.append(p.number);
    return out;
}

int current()
{
    return page().number;
}

bool setCurrent(int number)
{
    const Page* p = find(number);
    if (!p)
        return false;
    active.store(p, std::memory_order_release);
    return true;
}

int forLocale(const QLocale& locale)
{
    switch (locale.language()) {
    case QLocale::Albanian: case QLocale::Bosnian: case QLocale::Croatian: case QLocale::Czech:
    case QLocale::Hungarian: case QLocale::Polish: case QLocale::Romanian: case QLocale::Slovak:
    case QLocale::Slovenian: case QLocale::LowerSorbian: case QLocale::UpperSorbian:
        return locale.script() == QLocale::CyrillicScript ? 1251 : 1250;
    case QLocale::Serbian:
        return locale.script() == QLocale::LatinScript ? 1250 : 1251;
    case QLocale::Russian: case QLocale::Ukrainian: case QLocale::Belarusian: case QLocale::Bulgarian:
    case QLocale::Macedonian: case QLocale::Kazakh: case QLocale::Kyrgyz: case QLocale::Tatar:
    case QLocale::Mongolian: case QLocale::Bashkir: case QLocale::Sakha: case QLocale::Tajik:
        return 1251;
    case QLocale::Greek:
        return 1253;
    case QLocale::Turkish: case QLocale::Azerbaijani: case QLocale::Uzbek:
        return locale.script() == QLocale::CyrillicScript ? 1251 : 1254;
    case QLocale::Hebrew: case QLocale::Yiddish:
        return 1255;
    case QLocale::Arabic: case QLocale::Persian: case QLocale::Urdu: case QLocale::Pashto:
    case QLocale::Sindhi: case QLocale::Uyghur:
        return 1256;
    case QLocale::Estonian: case QLocale::Latvian: case QLocale::Lithuanian:
        return 1257;
    case QLocale::Vietnamese:
        return 1258;
    case QLocale::Thai:
        return 874;
    default:
        return 1252;
    }
}

std::optional<int> parse(const QString& text)
{
    QString t = text.trimmed().toLower();
    for (const char* prefix : {"windows-", "cp"}) {
        if (t.startsWith(QLatin1String(prefix))) {
            t = t.mid(static_cast<qsizetype>(qstrlen(prefix)));
            break;
        }
    }
    bool ok = false;
    const int n = t.toInt(&ok);
    if (!ok || !find(n))
        return std::nullopt;
    return n;
}

bool defines(unsigned char byte)
{
    if (byte < 0x80)
        return true;
    const char16_t c = page().toUnicode[byte];
    return c != undefinedChar(byte);
}

std::string encode(QStringView text)
{
    const Page& p = page();
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (char32_t c : text.toUcs4())
        out.push_back(encodeOne(p, c));
    return out;
}

QString decode(std::string_view bytes)
{
    QString out;
    appendDecoded(out, bytes);
    return out;
}

void appendDecoded(QString& out, std::string_view bytes)
{
    const bool ascii = std::none_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (ascii) {
        out.append(QLatin1StringView(bytes.data(), static_cast<qsizetype>(bytes.size())));
        return;
    }
    const Page& p = page();
    const qsizetype start = out.size();
    out.resize(start + static_cast<qsizetype>(bytes.size()));
    QChar* dst = out.data() + start;
    for (char ch : bytes)
        *dst++ = QChar(p.toUnicode[static_cast<unsigned char>(ch)]);
}

} // namespace pb::codepage

namespace pb::codepage {

QChar* decodeInto(QChar* out, std::string_view bytes)
{
    const Page& p = page();
    for (char ch : bytes)
        *out++ = QChar(p.toUnicode[static_cast<unsigned char>(ch)]);
    return out;
}

} // namespace pb::codepage

namespace pb::codepage {

QString decodeWith(int number, std::string_view bytes)
{
    const Page* p = find(number);
    if (!p)
        return decode(bytes);
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* dst = out.data();
    for (char ch : bytes)
        *dst++ = QChar(p->toUnicode[static_cast<unsigned char>(ch)]);
    return out;
}

} // namespace pb::codepage
