#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace pb {

class RecordFile;

// The rollback journal of a record file. A change is staged in memory (see
// RecordFile::stage); when it is committed, the bytes it overwrites, the
// file's length and a hash of every 512-byte block of the file as the change
// leaves it go to "<file>-journal" and onto the disk; the change then
// writes the file, and removing the journal completes it. A journal found
// later (the program died, the power went) is played back: the file is as
// it was before the change began. A journal that is not whole was never
// relied on, and is simply removed. The journal names its file by device
// and inode, and by content: a copy of the folder (new inodes) is played
// back when each block of the change is as it was before or after it.
class Journal
{
public:
    explicit Journal(RecordFile& file) : file_(file) {}

    static QString pathFor(const QString& file);

    // Reads what records first ... last of the file hold (those it has) and
    // its length, and stages the change: the file's writes go to memory
    // until commit. Nothing is written yet.
    bool begin(int first, int last, QString* error);
    bool active() const { return active_; }
    // The journal on the disk, then the change written and on the disk, then
    // the journal gone. A change that changed nothing writes nothing. On a
    // failure the change is rolled back.
    bool commit(QString* error);
    // Drops the staged change; once the file has been written, puts the
    // saved bytes and length back and removes the journal. False leaves the
    // journal for the next start to play back.
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

    // What a completed change leaves to tell (once): empty when nothing.
    QString takeWarning() { return std::exchange(warning_, QString()); }

private:
    static bool playBack(RecordFile& file, qint64 length, qint64 offset, const char* bytes, qint64 n,
                         QString* error);
    bool writeJournal(QString* error);
    void release();

    RecordFile& file_;
    bool active_ = false;
    bool written_ = false;      // the journal is on the disk and the file being written
    qint64 length_ = 0;
    qint64 offset_ = 0;
    qint64 savedBytes_ = 0;
    qint64 reservedEnd_ = 0;
    QByteArray block_;          // header, the saved bytes (then the hashes of the blocks after, checksum)
    QString warning_;
};

} // namespace pb
