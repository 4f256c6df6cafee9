#pragma once

// What changed in the book since it was last in step with the server.
// Records have no ids: the book's records now are paired with those it
// held then (the base) by their bytes first, wherever inserts, deletes and
// moves put them, and what is left by the rule that spots a likely
// duplicate on import (the same e-mail address, else the same name).

#include "records/ContactRecord.h"

#include <QByteArray>
#include <QList>

#include <vector>

namespace pb::sync {

struct BookDiff {
    // For each record of the book now (0-based): the base record it is, or
    // -1 when it is new here.
    std::vector<int> baseOf;
    // The base records paired with a record now whose bytes differ
    // (changed here), in the order of the base.
    std::vector<int> changed;
    // The base records no record now is paired with (deleted here).
    std::vector<int> deleted;
    // The records now that are new here.
    std::vector<int> added;
};

// `book` holds the records now (the first `count` of its bytes' records).
BookDiff diffBook(const QList<ContactRecord>& base, const QByteArray& book, int count);

} // namespace pb::sync
