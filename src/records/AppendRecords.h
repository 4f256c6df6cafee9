#pragma once

// New records added after the book's last, as one change.

#include "records/PackedRecords.h"

#include <QString>

namespace pb {

class Phonebook;

// Writes `records` after record `after` as one change: all of them or, on
// any failure, none (the book is as it was). The book must be open.
bool appendRecords(Phonebook& book, int after, const PackedRecords& records, QString* error);

} // namespace pb
