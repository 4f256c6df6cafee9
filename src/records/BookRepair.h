#pragma once

// The book's repair: its free slots closed and a last record cut short
// completed, after a backup copy of the whole file.

#include <QString>

class QDateTime;

namespace pb {

class Phonebook;

// A copy of the book beside it, named for the moment it was taken:
// "DravikBase.z8B.2026-12-08T124607.bak".
QString backupName(const QDateTime& when);

struct RepairResult {
    bool changed = false;      // false: there was nothing to close
    QString backup;            // the copy written first
    int records = 0;           // the records the book counts afterwards
    qint64 strayBytes = 0;     // a last record cut short: its bytes ...
    bool completed = false;    // ... completed to a whole record (padded), else dropped
};
// What a repair did to a last record cut short, for the user; empty when
// there was none.
QString describeStrayBytes(const RepairResult& result);
// Closes the free slots inside the book and completes a last record cut
// short, keeping the records' order, after writing `backupPath` with the
// book's bytes as they were. All or nothing.
bool repairBook(Phonebook& book, const QString& backupPath, RepairResult* result, QString* error);

} // namespace pb
