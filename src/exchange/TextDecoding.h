#pragma once

// How the bytes of a file of contacts are read as text: byte-order marks,
// UTF-16 with or without one, UTF-8 told from a code page, and line breaks.

#include <QByteArray>
#include <QString>

#include <string_view>

namespace pb::exchange::detail {

extern const QString kCrLf;

// The code page 8-bit text without a declared character set is read in,
// while one file is read.
extern thread_local int fallbackPage;

// Line breaks (CR LF, CR or LF) as CR LF.
QString toCrLf(const QString& text);
// A CSV cell's line breaks as the book keeps them: a lone LF becomes CR LF;
// a lone CR is a character of the value and stays.
QString lfToCrLf(const QString& text);
// Whether every line break of the text is CR LF already, as toCrLf() makes it.
bool crLfOnly(std::string_view text);
// Line breaks as ", ", runs of white space as one space.
QString oneLine(QString text);

// Whether a text is UTF-16, and in which byte order: with its byte-order
// mark (as Apple and spreadsheets write "Unicode text"), or without one,
// as some web mail programs write it; then each of its first characters,
// the ASCII of "BEGIN:VCARD" or a header row, has one zero byte, always on
// the same side, which no UTF-8 or code-page text has.
struct Utf16Kind {
    bool utf16 = false;
    bool littleEndian = false;
    qsizetype mark = 0;   // bytes of the byte-order mark
};

constexpr qsizetype kUtf16Probe = 16;   // bytes looked at without a mark

Utf16Kind utf16Kind(QByteArrayView head);
// A file in UTF-16 as UTF-8; other bytes as they are.
QByteArray fromUtf16(const QByteArray& data);

// Whether 8-bit text is UTF-8: valid UTF-8, or mostly so with a broken
// character (a value cut in the middle of one), the broken one becoming
// U+FFFD (stored as "?", which the report names). Otherwise it is the code
// page's. The text can be looked at a piece at a time.
class Utf8Scan
{
public:
    // Looks at the text and returns how much of it was taken: all of it,
    // but for a character the piece cuts short unless it is the last.
    qsizetype feed(std::string_view text, bool last);
    bool utf8() const { return broken_ == 0 || sequences_ > broken_; }

private:
    qsizetype sequences_ = 0, broken_ = 0;
};

bool readAsUtf8(QByteArrayView bytes);
// UTF-8 (with or without its mark) when readAsUtf8(), the book's code page
// otherwise.
QString decodeText(QByteArrayView bytes);
// Whether a byte may be stored as it is: no control character but CR, LF and tab.
bool plainByte(char b);

} // namespace pb::exchange::detail
