#pragma once

#include <QList>
#include <QString>

#include <array>
#include <optional>
#include <string>
#include <string_view>

class QLocale;

namespace pb::codepage {

// Every file the program keeps holds one byte per character in a Windows
// single-byte code page: the one the user's language uses (1250 for Central
// European languages, 1251 for Cyrillic, 1253 Greek, ...), 1252 otherwise,
// unless the "CodePage" setting pins one for a book shared across languages.
// A character the code page cannot hold is stored as '?'. A byte the code
// page leaves undefined reads as a character of its own, so that any byte
// read from a file is written back unchanged.

// The code pages one byte per character can hold: 874 and 1250 to 1258.
QList<int> supported();
// The code page in use (1252 until set).
int current();
// False (and nothing changed) for a code page that is not supported.
bool setCurrent(int number);
// The code page a Windows system of that language uses for its files.
int forLocale(const QLocale& locale);
// The locale of a POSIX locale name ("sr_RS.UTF-8@latin"); "C", "POSIX"
// and an empty name are English.
QLocale localeFromPosixName(const QString& name);
// The locale whose characters the user's text is in: LC_ALL, else
// LC_CTYPE, else LANG (not the language of messages or dates).
QLocale characterLocale();
// The code page this system's user gets without a setting: on Windows the
// system's own, elsewhere the one of characterLocale().
int forSystem();
// "1251", "cp1251" or "windows-1251"; nothing for anything else or an
// unsupported number.
std::optional<int> parse(const QString& text);

// Whether the current code page assigns a character to the byte.
bool defines(unsigned char byte);

// The code points as text, each kept (QString::fromUcs4() would take a
// leading U+FEFF for a byte-order mark and drop it).
QString textOf(const char32_t* codePoints, qsizetype count);

// A character the page has no byte for is written as Windows writes it:
// composed where the page has the composed letter, else a letter and the
// combining marks the page holds (1258); else '?'. A letter followed by
// marks the page holds as they are is stored as it stands, so bytes read
// are written back unchanged. Decoding joins marks to their letter only
// where the joined letter encodes back to the same bytes.
std::string encode(QStringView text);
// The same, adding each character stored as '?' to `lost` once.
std::string encodeReporting(QStringView text, QString* lost);
QString decode(std::string_view bytes);
// The same in a code page named by number (the current one when unknown).
QString decodeWith(int page, std::string_view bytes);
void appendDecoded(QString& out, std::string_view bytes);
// The current code page's byte for a character, or '\0' when it has none
// (ASCII is itself).
char byteFor(char32_t c);

// Each byte of the current code page as UTF-8, for writers that go from
// stored bytes straight to UTF-8. Exact for a run of bytes without a
// combining byte; decode() may join a combining byte to the letter before it.
struct Utf8Bytes {
    std::array<std::array<char, 4>, 256> utf8;
    std::array<unsigned char, 256> length;
    std::array<bool, 256> combining;
    std::array<bool, 256> space;   // QChar::isSpace() of its character
    bool anyCombining = false;
};
const Utf8Bytes& utf8Bytes();

// Writes the decoded bytes at `out` (room for one character per byte);
// returns the end of what was written.
QChar* decodeInto(QChar* out, std::string_view bytes);

} // namespace pb::codepage
