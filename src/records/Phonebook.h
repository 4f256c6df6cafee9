#pragma once

#include "records/ContactRecord.h"
#include "records/Journal.h"
#include "records/RecordFile.h"

#include <QString>

#include <functional>

#include <memory>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace pb {

inline constexpr const char* kPhonebookFileName = "DravikBase.z8B";
inline constexpr const char* kClipboardFileName = "PhoneClip.z8B";

// The record state every window shares: the one record buffer through which
// all contacts pass, the phonebook and clipboard files, and the record a
// failed jump returns to.
class Phonebook
{
public:
    Phonebook();
    ~Phonebook();
    Phonebook(const Phonebook&) = delete;
    Phonebook& operator=(const Phonebook&) = delete;

    ContactRecord RecordBuffer;
    std::int16_t PreviousRecordNumber = 0;

    // Opens (creating when missing) both files in the current directory. A
    // change the program did not complete last time is undone first (under
    // the book's lock, so never one another program is in the middle of);
    // a journal that does not belong to the book is set aside and named in
    // takeNotice(). Without `mayChange` (a command that only reads) nothing
    // is played back: journalPending() tells that a change waits.
    bool openPhonebookFile(bool mayChange = true);
    bool openClipboardFile();
    void closePhonebookFile();
    void closeClipboardFile() { clipboard_.close(); }
    bool phonebookOpen() const { return phonebook_.isOpen(); }
    // A change left unfinished by an earlier run was undone on opening.
    bool recoveredOnOpen() const { return recovered_; }
    bool journalPending() const { return pending_; }
    // What the opening or the last change found that the user must be told
    // (once); empty when nothing.
    QString takeNotice() { return std::exchange(notice_, QString()); }
    // The last change was refused because another program changed the book
    // (or replaced its file) since this one counted it; the caller counts it
    // again. Once.
    bool takeChangedElsewhere() { return std::exchange(changedElsewhere_, false); }
    // For a job that read the whole book and plans from those bytes alone
    // (the caller counts the book again afterwards): the book as it was
    // read, `asRead` its file as it was before the read and still is after
    // it, is the one the job's change may be written over. A change by
    // another program after the read is still found.
    void acceptRead(const io::Identity& asRead)
    {
        if (asRead.valid() && phonebook_.identity() == asRead)
            known_ = asRead;
    }

    // Fail for a number below 1 or above 32767, or a file that is not open;
    // the buffer is then left as it was. Writes also fail while the book is
    // closed to writing (see refuseWrites).
    bool ReadRecord(int n) { return phonebook_.read(n, RecordBuffer); }
    bool WriteRecord(int n);
    // `count` records from `first` on in one write, and the book cut to
    // `length` bytes: the steps of a larger change (see Change).
    bool writeRecords(int first, int count, const char* bytes);
    // Within a change reserved as exactly records first ... first + count - 1
    // that has written nothing yet: they become the records `make` gives
    // (make(i, out) writes the (i + 1)th whole), made again whenever they
    // are needed rather than held (a large append).
    bool writeMadeRecords(int first, int count, std::function<void(qint64 i, char* out)> make);
    bool truncateBook(qint64 length);
    bool ReadClipboardRecord() { return clipboard_.read(1, RecordBuffer); }
    bool WriteClipboardRecord() { return clipboard_.write(1, RecordBuffer); }
    // The clipboard file on the disk (before a cut takes the record out of the book).
    bool syncClipboard() { return clipboard_.sync(); }
    QString clipboardError() const { return clipboard_.errorString(); }

    RecordFile& phonebookFile() { return phonebook_; }
    QString phonebookError() const { return error_.isEmpty() ? phonebook_.errorString() : error_; }

    // From now on nothing is written to the book in this run, for `reason`
    // (records that could not be read must not be written over).
    void refuseWrites(const QString& reason) { refusal_ = reason; }
    bool writesRefused() const { return !refusal_.isEmpty(); }
    // Why a failed change could not even be undone (the book then stays as
    // the change left it until the next start plays the journal back), once:
    // the caller tells the user. Empty when there is nothing to tell.
    QString takeUndoFailure() { return std::exchange(undoFailure_, QString()); }

    // Reads records from `start` on until the first free slot, in large
    // blocks. `end` is the free slot's number, or the number whose read
    // failed; the buffer holds the last record read.
    struct Scan {
        int end;
        bool complete;
        bool readFailed = false;   // an error of the file, not the end of the numbers
    };
    Scan scanToFreeSlot(int start);
    // Reads the book from `start` on in growing blocks (see RecordScanner).
    // When the walk ends, the record buffer holds the last record it read,
    // as reading the same records one at a time would leave it.
    class RecordScanner scanner(int start);

    // Moves records first ... last one place up (to first + 1 ... last + 1)
    // or down (records first + 1 ... last + 1 to first ... last), each in
    // one read and one write. The buffer ends holding the record the move
    // read last: record `first` going up, record last + 1 going down.
    bool shiftUp(int first, int last);
    bool shiftDown(int first, int last);

    // A change of the book that happens whole or not at all: what records
    // first ... last hold, and the book's length, go to the journal before
    // anything is written. Changes inside one nest into it. Not committed, it
    // is undone when it ends.
    class Change
    {
    public:
        Change(Phonebook& book, int first, int last);
        ~Change();
        Change(const Change&) = delete;
        Change& operator=(const Change&) = delete;

        bool ok() const { return ok_; }
        bool commit();

    private:
        Phonebook& book_;
        bool outer_ = false;
        bool ok_ = false;
        bool done_ = false;
    };

private:
    friend class Change;
    bool lock(QString* error);
    void unlock();
    bool recoverJournal(bool mayChange);
    bool openBookFile();
    bool writeAllowed(int first, int last);
    bool moveRecords(int from, int to, int n, int last);

    RecordFile phonebook_;
    RecordFile clipboard_;
    Journal journal_{phonebook_};
    int changeFirst_ = 0, changeLast_ = 0, changeDepth_ = 0;
    bool changeFailed_ = false;
    bool recovered_ = false;
    QString refusal_;
    QString undoFailure_;
    void undoFailed(const QString& why);
    QString error_;   // why the last change failed, when it was not the file
    QString path_;                      // the book as named (a link stays a link)
    io::Identity known_;                // the book as this program last saw it
    std::unique_ptr<io::FileLock> lock_;
    int lockDepth_ = 0;
    bool pending_ = false;
    bool changedElsewhere_ = false;
    QString notice_;
};

// Reads records from a start on, in blocks that grow as the walk goes on:
// a walk that ends early reads little, a long one reads in large blocks.
class RecordScanner
{
public:
    // With `lastRead`, the last record the walk read is copied there when
    // the walk ends.
    RecordScanner(RecordFile& file, int start, ContactRecord* lastRead = nullptr)
        : file_(file), next_(start), lastRead_(lastRead)
    {
    }
    ~RecordScanner();
    RecordScanner(const RecordScanner&) = delete;
    RecordScanner& operator=(const RecordScanner&) = delete;
    // The next record's bytes, or nullptr past record 32767 or when the read
    // failed (failed() then says so).
    const char* next();
    int number() const { return next_ - 1; }
    bool failed() const { return failed_; }

private:
    RecordFile& file_;
    int next_;
    int blockFirst_ = 0, blockCount_ = 0;
    int grow_ = 64;
    bool failed_ = false;
    std::vector<char> block_;
    ContactRecord* lastRead_;
    const char* last_ = nullptr;
};

} // namespace pb
