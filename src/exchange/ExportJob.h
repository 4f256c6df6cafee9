#pragma once

// The book written to a file of contacts, as the tool and the window both
// run it: the records the program shows, as vCard or CSV, written whole or
// not at all. A book with records after a free slot is not exported (the
// file would leave them out without a word): it is to be repaired first.

#include "exchange/Exchange.h"

#include <QString>

namespace pb {
class Phonebook;
}

namespace pb::exchange {

enum class ExportFormat { VCard30, VCard40, Csv };

// The format a file name asks for: CSV for ".csv", else vCard 3.0.
ExportFormat exportFormatFor(const QString& fileName);

struct ExportResult {
    bool ok = false;
    int written = 0;    // contacts written
    QString error;      // why nothing was written
};

// Reads the book (an unopened one is empty) and writes its shown records to
// `target` in `format`.
ExportResult exportBook(Phonebook& book, const QString& target, ExportFormat format);

} // namespace pb::exchange
