#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace pb {

class RecordFile;

// The rollback journal of a record file. Before a change touches the file,
// the bytes it will overwrite and the file's length go to "<file>-journal"
// and onto the disk; the change then writes the file, and removing the
// journal completes it. A journal found later (the program died, the power
// went) is played back: the file is as it was before the change began. A
// journal that is not whole was never relied on, and is simply removed.
class Journal
{
public:
    explicit Journal(RecordFile& file) : file_(file) {}

    static QString pathFor(const QString& file);

    // Saves bytes (first - 1) * size ... last * size of the file (those it
    // holds) and its length. True once that is on the disk.
    bool begin(int first, int last, QString* error);
    bool active() const { return active_; }
    // The change is complete: the file on the disk, the journal gone. On a
    // failure the change is rolled back.
    bool commit(QString* error);
    // Puts the saved bytes and length back and removes the journal. False
    // leaves the journal for the next start to play back.
    bool rollback(QString* error);

    // Plays back or removes a journal left beside the file (the caller holds
    // the book's lock, so no live change owns it). A journal is played back
    // only when it belongs to this book and fits its present state; any
    // other file under its name is moved aside and named in `notice`.
    // Without `mayPlayBack` (a command that only reads) nothing is touched
    // and `pending` tells that a change waits to be undone.
    struct Recovery {
        bool ok = true;           // false: the book must not be written in this run (see error)
        bool playedBack = false;  // a change was undone
        bool pending = false;     // a journal waits (only without mayPlayBack)
        QString error;
        QString notice;           // what the user must be told
    };
    static Recovery recover(RecordFile& file, bool mayPlayBack = true);
    // The largest journal a file of records of this size can have.
    static qint64 maxSize(qint64 recordSize);

    // While a change is open: the saved bytes of records first ... first +
    // count - 1 as they were before it, when the journal holds all of them.
    const char* savedRecords(int first, int count) const;

    // What a completed change leaves to tell (once): empty when nothing.
    QString takeWarning() { return std::exchange(warning_, QString()); }

private:
    static bool playBack(RecordFile& file, qint64 length, qint64 offset, const char* bytes, qint64 n,
                         QString* error);
    void release();

    RecordFile& file_;
    bool active_ = false;
    qint64 length_ = 0;
    qint64 offset_ = 0;
    qint64 savedBytes_ = 0;
    std::vector<char> block_;   // header, the saved bytes, checksum
    QString warning_;
};

} // namespace pb
