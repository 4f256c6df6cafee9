#pragma once

#include "records/ContactRecord.h"

#include <QString>

namespace pb {

class Phonebook;

// One step of "Search for..." over the book: from record `from` up to
// `count`, the first record whose field begins with the query. The first
// record examined is also tried with the query as a wildcard pattern (see
// matchPattern); every later one for an exact prefix only.
struct SearchScan {
    enum class Outcome {
        Hit,          // `hit` is the record; the record buffer holds it
        NotFound,     // the buffer holds the last record read
        Failed,       // the first record could not be read
        BadPattern,   // the query is no valid pattern (only when asked to stop there)
    };
    Outcome outcome = Outcome::Failed;
    int hit = 0;
    // For BadPattern: the field's text of the first record examined.
    QString firstText;
};

SearchScan searchBook(Phonebook& book, int from, int count, Field field, const QString& query, bool stopOnBadPattern);

} // namespace pb
