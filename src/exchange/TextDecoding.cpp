#include "exchange/TextDecoding.h"
#include "exchange/Exchange.h"

#include "platform/Codepage.h"

#include <QStringDecoder>

#include <cstdint>
#include <cstring>

namespace pb::exchange {

namespace detail {

const QString kCrLf = QStringLiteral("\r\n");

QString toCrLf(const QString& text)
{
    if (!text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    const QChar* p = text.constData();
    const qsizetype n = text.size();
    qsizetype run = 0;   // start of the characters not copied yet
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] != u'\r' && p[i] != u'\n')
            continue;
        out.append(p + run, i - run).append(kCrLf);
        if (p[i] == u'\r' && i + 1 < n && p[i + 1] == u'\n')
            ++i;
        run = i + 1;
    }
    return out.append(p + run, n - run);
}

thread_local int fallbackPage = 1252;

Utf16Kind utf16Kind(QByteArrayView head)
{
    if (head.startsWith("\xFF\xFE"))
        return {true, true, 2};
    if (head.startsWith("\xFE\xFF"))
        return {true, false, 2};
    if (head.size() < kUtf16Probe)
        return {};
    int lowZero = 0, highZero = 0;
    for (qsizetype i = 0; i < kUtf16Probe; i += 2) {
        const bool first = head[i] == '\0', second = head[i + 1] == '\0';
        lowZero += !first && second;
        highZero += first && !second;
    }
    constexpr int pairs = kUtf16Probe / 2;
    if (lowZero == pairs)
        return {true, true, 0};
    if (highZero == pairs)
        return {true, false, 0};
    return {};
}

// A file in UTF-16 as UTF-8; other bytes as they are.
QByteArray fromUtf16(const QByteArray& data)
{
    const Utf16Kind kind = utf16Kind(data);
    if (!kind.utf16)
        return data;
    QStringDecoder utf16(kind.littleEndian ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
    const QString text = utf16.decode(QByteArrayView(data).sliced(kind.mark));
    return text.toUtf8();
}

// A CSV cell's line breaks as the book keeps them: a lone LF becomes CR LF;
// a lone CR is a character of the value and stays, so that it comes back
// from the book's own export as it went in.
QString lfToCrLf(const QString& text)
{
    if (!text.contains(u'\n'))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            out += u'\r';
        out += text[i];
    }
    return out;
}

// Whether every line break of the text is CR LF already, as toCrLf() makes it.
bool crLfOnly(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            return false;
        if (text[i] == '\r') {
            if (i + 1 == text.size() || text[i + 1] != '\n')
                return false;
            ++i;
        }
    }
    return true;
}

QString oneLine(QString text)
{
    return text.replace(kCrLf, QLatin1String(", ")).simplified();
}

qsizetype Utf8Scan::feed(std::string_view text, bool last)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        // Plain ASCII eight bytes at a time.
        if (end - p >= 8) {
            std::uint64_t v;
            std::memcpy(&v, p, 8);
            if ((v & 0x8080808080808080u) == 0) {
                p += 8;
                continue;
            }
        }
        const auto b = static_cast<unsigned char>(*p);
        if (b < 0x80) {
            ++p;
            continue;
        }
        const int len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        if (len > 0 && end - p < len && !last)
            break;   // the rest of it comes with the next piece
        bool ok = len > 0 && end - p >= len;
        for (int k = 1; ok && k < len; ++k)
            ok = (static_cast<unsigned char>(p[k]) & 0xC0) == 0x80;
        if (ok)
            ++sequences_;
        else
            ++broken_;
        p += ok ? len : 1;
    }
    return p - text.data();
}

bool readAsUtf8(QByteArrayView bytes)
{
    Utf8Scan scan;
    scan.feed(std::string_view(bytes.data(), static_cast<std::size_t>(bytes.size())), true);
    return scan.utf8();
}

// UTF-8 (with or without its mark) when readAsUtf8(), the book's code page
// otherwise.
QString decodeText(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    if (!readAsUtf8(bytes))
        return codepage::decodeWith(fallbackPage, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    return QString::fromUtf8(bytes);
}

bool plainByte(char b)
{
    const auto c = static_cast<unsigned char>(b);
    return (c >= 0x20 && c != 0x7F) || c == '\r' || c == '\n' || c == '\t';
}

} // namespace detail

using namespace detail;

QString notText(QByteArrayView head)
{
    if (!head.contains('\0') || utf16Kind(head).utf16)
        return {};
    struct Kind {
        const char* magic;
        const char* what;
    };
    static const Kind kinds[] = {
        {"%PDF", "a PDF document"},
        {"PK\x03\x04", "a ZIP archive (a spreadsheet such as .xlsx or .ods is one: save it as CSV first)"},
        {"\xD0\xCF\x11\xE0", "an old Microsoft Office document (save it as CSV first)"},
        {"\x89PNG", "a PNG picture"},
        {"\xFF\xD8\xFF", "a JPEG picture"},
        {"GIF8", "a GIF picture"},
        {"\x1F\x8B", "a gzip-compressed file (unpack it first)"},
        {"\x7F" "ELF", "a program"},
        {"SQLite format 3", "an SQLite database (export its contacts as vCard or CSV first)"},
    };
    QString looks = QStringLiteral("a binary file");
    for (const Kind& k : kinds)
        if (head.startsWith(QByteArrayView(k.magic)))
            looks = QString::fromLatin1(k.what);
    return QStringLiteral("It is not text: it holds NUL bytes and looks like %1, not a vCard or CSV file in UTF-8, "
                          "UTF-16 or a code page.")
        .arg(looks);
}

} // namespace pb::exchange
