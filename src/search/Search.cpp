#include "search/Search.h"

#include "records/Phonebook.h"
#include "search/Pattern.h"

#include <algorithm>
#include <string>

namespace pb {

SearchScan searchBook(Phonebook& book, int from, int count, Field field, const QString& query, bool stopOnBadPattern)
{
    if (!book.ReadRecord(from))
        return {};
    const qsizetype len = query.size();
    const std::u16string q = query.toStdU16String();
    QString candidate = FieldText(book.RecordBuffer, field);
    const PatternResult first =
        matchPattern(q, std::u16string_view(reinterpret_cast<const char16_t*>(candidate.utf16()),
                                            static_cast<std::size_t>(std::min(len, candidate.size()))));
    if (first == PatternResult::Invalid && stopOnBadPattern)
        return {SearchScan::Outcome::BadPattern, 0, candidate};
    if (first == PatternResult::Match || QStringView(candidate).left(len) == query)
        return {SearchScan::Outcome::Hit, from, {}};

    // The rest of the book in large blocks, compared on the stored bytes
    // where the query is plain ASCII.
    RecordScanner records = book.scanner(from + 1);
    const FieldLayout at = layoutOf(field);
    const std::string ascii = query.toStdString();
    const bool plain = std::all_of(query.begin(), query.end(), [](QChar ch) { return ch.unicode() < 0x80; });
    for (int n = from + 1; n <= count; ++n) {
        const char* r = records.next();
        if (!r)
            break;
        const std::string_view shown = FieldTextBytes(std::string_view(r + at.offset, at.width));
        const bool hit = plain ? shown.substr(0, ascii.size()) == ascii
                               : QStringView(FieldText(std::string_view(r + at.offset, at.width))).left(len) == query;
        if (hit)
            return {SearchScan::Outcome::Hit, n, {}};
    }
    return {SearchScan::Outcome::NotFound, 0, {}};
}

} // namespace pb
