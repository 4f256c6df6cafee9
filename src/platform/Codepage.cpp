#include "platform/Codepage.h"

#include <QLocale>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
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
    std::array<bool, 256> combining{};                  // bytes of combining marks (1258's tones)
    bool anyCombining = false;
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
        if (high[static_cast<std::size_t>(i)] && QChar::isMark(c)) {
            p.combining[static_cast<std::size_t>(0x80 + i)] = true;
            p.anyCombining = true;
        }
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

// The page's byte for the character, or 0 when it has none (NUL itself is
// stored as it is by the callers).
char byteOf(const Page& p, char32_t c)
{
    if (c < 0x80)
        return static_cast<char>(c);
    if (c > 0xFFFF)
        return '\0';
    const auto it = std::lower_bound(p.sorted.begin(), p.sorted.end(), std::pair<char16_t, char>(static_cast<char16_t>(c), '\0'),
                                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return it != p.sorted.end() && it->first == c ? it->second : '\0';
}

bool holds(const Page& p, char32_t c)
{
    return c < 0x80 || byteOf(p, c) != '\0';
}

bool isMark(char32_t c)
{
    return c >= 0x300 && QChar::isMark(c);
}

// One character that the page has no byte for, with the combining marks
// that follow it: as Windows does it, the composed form where the page has
// it, else a letter the page holds followed by the marks it holds as bytes
// of their own (Vietnamese "ễ" in 1258 is "ê" and the combining tilde).
// False when no such spelling exists.
bool encodeCluster(const Page& p, const std::u32string& cluster, std::string& out)
{
    const QString composed = textOf(cluster.data(), static_cast<qsizetype>(cluster.size())).normalized(QString::NormalizationForm_C);
    std::u32string nfc;
    for (char32_t c : composed.toUcs4())
        nfc.push_back(c);
    if (std::all_of(nfc.begin(), nfc.end(), [&](char32_t c) { return holds(p, c); })) {
        for (char32_t c : nfc)
            out.push_back(byteOf(p, c));
        return true;
    }
    const QList<uint> parts = composed.normalized(QString::NormalizationForm_D).toUcs4();
    if (parts.isEmpty() || parts.size() > 5 || isMark(parts.front()))
        return false;
    const std::size_t marks = static_cast<std::size_t>(parts.size() - 1);
    // The base with as many of its marks as the page has a letter for; the
    // other marks after it (marks of different classes may change places).
    for (int taken = static_cast<int>(marks); taken >= 0; --taken) {
        for (unsigned set = 0; set < (1u << marks); ++set) {
            if (std::popcount(set) != taken)
                continue;
            const char32_t base = parts.front();
            QString head = textOf(&base, 1);
            std::string rest;
            bool restHeld = true;
            for (std::size_t m = 0; m < marks; ++m) {
                const char32_t mark = parts[static_cast<qsizetype>(m + 1)];
                if (set & (1u << m)) {
                    head += textOf(&mark, 1);
                } else if (const char b = byteOf(p, mark); b != '\0') {
                    rest.push_back(b);
                } else {
                    restHeld = false;
                    break;
                }
            }
            if (!restHeld)
                continue;
            const QList<uint> h = head.normalized(QString::NormalizationForm_C).toUcs4();
            if (h.size() == 1 && holds(p, h.front())) {
                out.push_back(byteOf(p, h.front()));
                out += rest;
                return true;
            }
        }
    }
    return false;
}

// Decoded text whose combining marks are joined to their letter where the
// joined character encodes back to the same bytes: "ê" and a tilde read as
// "ễ", but "e" and an acute stay apart (1258 has "é" as a byte of its own,
// so joining them would change the file on the next save).
QString composeWhereExact(const Page& p, const QString& decoded)
{
    QString out;
    out.reserve(decoded.size());
    qsizetype i = 0;
    while (i < decoded.size()) {
        qsizetype end = i + 1;
        while (end < decoded.size() && isMark(decoded.at(end).unicode()))
            ++end;
        const QStringView cluster = QStringView(decoded).mid(i, end - i);
        if (end - i > 1) {
            const QString joined = cluster.toString().normalized(QString::NormalizationForm_C);
            std::string again;
            std::string before;
            for (QChar c : cluster)
                before.push_back(byteOf(p, c.unicode()));
            std::u32string cps;
            for (char32_t c : joined.toUcs4())
                cps.push_back(c);
            if (joined.size() < cluster.size() && encodeCluster(p, cps, again) && again == before) {
                out += joined;
                i = end;
                continue;
            }
        }
        out += cluster;
        i = end;
    }
    return out;
}

bool hasCombining(const Page& p, std::string_view bytes)
{
    return p.anyCombining &&
           std::any_of(bytes.begin(), bytes.end(), [&](char c) { return p.combining[static_cast<unsigned char>(c)]; });
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

QLocale localeFromPosixName(const QString& name)
{
    // language[_territory][.codeset][@modifier]; "C" and "POSIX" are English.
    QString n = name.trimmed();
    QString modifier;
    if (const qsizetype at = n.indexOf(u'@'); at >= 0) {
        modifier = n.mid(at + 1).toLower();
        n.truncate(at);
    }
    if (const qsizetype dot = n.indexOf(u'.'); dot >= 0)
        n.truncate(dot);
    if (n.isEmpty() || n == QLatin1String("C") || n == QLatin1String("POSIX"))
        return QLocale(QLocale::English, QLocale::UnitedStates);
    const QLocale plain(n);
    QLocale::Script script = QLocale::AnyScript;
    if (modifier == QLatin1String("latin"))
        script = QLocale::LatinScript;
    else if (modifier == QLatin1String("cyrillic"))
        script = QLocale::CyrillicScript;
    if (script == QLocale::AnyScript || plain.script() == script)
        return plain;
    return QLocale(plain.language(), script, plain.territory());
}

QLocale characterLocale()
{
    // The character-type category, as the C library reads it.
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QString value = qEnvironmentVariable(var);
        if (!value.isEmpty())
            return localeFromPosixName(value);
    }
    return localeFromPosixName(QString());
}

int forSystem()
{
#ifdef Q_OS_WIN
    // The system's own choice for programs that are not Unicode.
    if (const int acp = static_cast<int>(::GetACP()); find(acp))
        return acp;
#endif
    return forLocale(characterLocale());
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
    return encodeReporting(text, nullptr);
}

QString textOf(const char32_t* codePoints, qsizetype count)
{
    QString out;
    out.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const char32_t c = codePoints[i];
        if (QChar::requiresSurrogates(c))
            out.append(QChar(QChar::highSurrogate(c))).append(QChar(QChar::lowSurrogate(c)));
        else
            out.append(QChar(static_cast<char16_t>(c)));
    }
    return out;
}

std::string encodeReporting(QStringView text, QString* lost)
{
    const Page& p = page();
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    const QList<uint> cps = text.toUcs4();
    qsizetype i = 0;
    std::u32string cluster;
    while (i < cps.size()) {
        // A character and the combining marks after it.
        qsizetype end = i + 1;
        while (end < cps.size() && isMark(cps[end]))
            ++end;
        bool asIs = true;
        for (qsizetype k = i; k < end && asIs; ++k)
            asIs = holds(p, cps[k]);
        if (asIs) {
            // Stored as it stands: what was read is written back unchanged.
            for (qsizetype k = i; k < end; ++k)
                out.push_back(byteOf(p, cps[k]));
        } else {
            cluster.assign(cps.begin() + i, cps.begin() + end);
            if (!encodeCluster(p, cluster, out)) {
                // Each character the page holds is kept; the others become '?'.
                for (qsizetype k = i; k < end; ++k) {
                    const char32_t c = cps[k];
                    if (holds(p, c)) {
                        out.push_back(byteOf(p, c));
                        continue;
                    }
                    out.push_back('?');
                    if (lost) {
                        const QString one = textOf(&c, 1);
                        if (!lost->contains(one))
                            *lost += one;
                    }
                }
            }
        }
        i = end;
    }
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
    if (hasCombining(p, bytes)) {
        const QString joined = composeWhereExact(p, out.mid(start));
        out.truncate(start);
        out += joined;
    }
}

} // namespace pb::codepage

namespace pb::codepage {

QChar* decodeInto(QChar* out, std::string_view bytes)
{
    const Page& p = page();
    if (hasCombining(p, bytes)) {
        const QString joined = decode(bytes);
        return std::copy(joined.begin(), joined.end(), out);
    }
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
    return hasCombining(*p, bytes) ? composeWhereExact(*p, out) : out;
}

} // namespace pb::codepage

namespace pb::codepage {

char byteFor(char32_t c)
{
    return byteOf(page(), c);
}

const Utf8Bytes& utf8Bytes()
{
    // One table for each page, made when first asked for.
    static std::array<std::atomic<const Utf8Bytes*>, 10> made{};
    const Page& p = page();
    const auto index = static_cast<std::size_t>(&p - pages().data());
    if (const Utf8Bytes* t = made[index].load(std::memory_order_acquire))
        return *t;
    auto* t = new Utf8Bytes{};
    for (int b = 0; b < 256; ++b) {
        const auto i = static_cast<std::size_t>(b);
        const QChar c(p.toUnicode[i]);
        const QByteArray u = QString(c).toUtf8();
        t->length[i] = static_cast<unsigned char>(u.size());
        std::copy(u.begin(), u.end(), t->utf8[i].begin());
        t->combining[i] = p.combining[i];
        t->anyCombining = t->anyCombining || p.combining[i];
        t->space[i] = c.isSpace();
    }
    const Utf8Bytes* expected = nullptr;
    if (!made[index].compare_exchange_strong(expected, t, std::memory_order_acq_rel)) {
        delete t;   // another thread made it first
        return *expected;
    }
    return *t;
}

} // namespace pb::codepage
