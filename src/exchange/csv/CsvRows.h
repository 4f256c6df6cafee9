#pragma once

// The rows of a CSV's text (RFC 4180), read a piece at a time.

#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pb::exchange::detail {

// How reading a piece of a CSV's text ended.
struct CsvEnd {
    qsizetype rest = 0;        // where the row the piece ends in begins (the piece's size: none does)
    qsizetype openQuote = -1;  // in the last piece: the quote the text ends inside of, which never closes
    bool stopped = false;      // told to stop
};

// RFC 4180 rows of a piece of the text that begins `base` bytes into it,
// the quotes at `literal` (places in the whole text) taken as plain
// characters, handed to `each(cells, at)` one at a time with where the
// text after the row begins; the cells' quotes are taken off (a doubled one
// is a quote of the cell) and they stay valid until `each` returns, which
// returns false to stop. Unless the piece is the `last`, the row it ends in
// is left for the next piece, which begins with it. A quote that never
// closes would swallow the rest of the text into one cell: the last piece's
// rows stop before it, and it is returned instead (the bytes that mean
// something in a CSV are ASCII, never part of a longer character in the
// encodings read).
template <typename F>
CsvEnd forEachCsvRow(std::string_view text, qint64 base, bool last, char sep, const std::vector<qint64>& literal, F each)
{
    std::string bytes;                  // the row's cells back to back
    std::vector<std::size_t> ends;      // where each cell ends in them
    std::vector<std::string_view> cells;
    bool quoted = false;
    bool any = false;
    const char* const t = text.data();
    const auto n = static_cast<qsizetype>(text.size());
    qsizetype i = 0;
    qsizetype rowStart = 0, quoteAt = -1;
    const auto endRow = [&](qsizetype at) {
        ends.push_back(bytes.size());
        cells.clear();
        std::size_t from = 0;
        for (std::size_t e : ends) {
            cells.emplace_back(bytes.data() + from, e - from);
            from = e;
        }
        const bool go = each(std::as_const(cells), at);
        bytes.clear();
        ends.clear();
        any = false;
        return go;
    };
    while (i < n) {
        if (quoted) {
            // Up to the next quote at once: a doubled one is a quote in the cell.
            const void* q = std::memchr(t + i, '"', static_cast<std::size_t>(n - i));
            const qsizetype j = q ? static_cast<const char*>(q) - t : n;
            bytes.append(t + i, static_cast<std::size_t>(j - i));
            if (j == n) {
                i = n;
                break;
            }
            if (j + 1 < n && t[j + 1] == '"') {
                bytes += '"';
                i = j + 2;
            } else {
                quoted = false;
                i = j + 1;
            }
            continue;
        }
        const char c = t[i];
        if (c == '"' && !std::binary_search(literal.begin(), literal.end(), base + i)) {
            quoted = true;
            quoteAt = i;
            any = true;
            ++i;
        } else if (c == sep) {
            ends.push_back(bytes.size());
            any = true;
            ++i;
        } else if (c == '\r' || c == '\n') {
            i += (c == '\r' && i + 1 < n && t[i + 1] == '\n') ? 2 : 1;
            if (any && !endRow(i))
                return {i, -1, true};
            rowStart = i;
        } else {
            // Plain characters up to the next one that means something.
            qsizetype j = i + 1;
            while (j < n && t[j] != sep && t[j] != '"' && t[j] != '\r' && t[j] != '\n')
                ++j;
            bytes.append(t + i, static_cast<std::size_t>(j - i));
            any = true;
            i = j;
        }
    }
    if (!last)
        return {rowStart, -1, false};
    if (quoted)
        return {rowStart, quoteAt, false};
    if (any && !endRow(n))
        return {n, -1, true};
    return {n, -1, false};
}

// The separator the header row uses most: comma, semicolon or tab.
char detectSeparator(std::string_view text);

} // namespace pb::exchange::detail
