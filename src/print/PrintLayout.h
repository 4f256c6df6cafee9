#pragma once

#include "records/ContactRecord.h"

#include <QString>
#include <array>

namespace pb {

class Phonebook;

inline constexpr const char* kPrintFileName = "PhonePrint.z8P";

// What the main window shows for one contact: the record box and the seven
// field boxes in record order, taken exactly as they hold their text.
struct ShownContact {
    QString record;
    std::array<QString, kFieldCount> fields;
};

// The single-record layout: seven lines joined by CR LF, none after the last.
QString CurrentRecordText(const ShownContact& shown);

// The layout of stored record n: eight lines each ended by CR LF, the last empty.
QString RecordBlock(int n, const ContactRecord& r);

// Rewrites the print file in the current folder with records 1 ... count,
// each as a quote, its block, a quote and CR LF, in the records' code page.
// The record buffer holds the last record read afterwards. False (with the
// system's reason) when the file cannot be created or written.
bool WritePrintFile(Phonebook& book, int count, QString* error = nullptr);

} // namespace pb
