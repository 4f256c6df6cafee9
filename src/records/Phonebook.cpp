#include "records/Phonebook.h"

#include "records/RecordNumber.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace pb {

namespace {
// How long a change waits for another program's change to end.
constexpr int kLockWaitMs = 10000;
}

Phonebook::Phonebook() = default;
Phonebook::~Phonebook() = default;

bool Phonebook::openBookFile()
{
    // Opened through a link, the book's journal and lock lie beside the file
    // itself, where every program that opens it looks for them.
    const QFileInfo named(path_);
    const QString real = named.isSymLink() && named.exists() ? named.canonicalFilePath() : path_;
    return phonebook_.open(real);
}

bool Phonebook::openPhonebookFile(bool mayChange)
{
    recovered_ = false;
    pending_ = false;
    refusal_.clear();
    notice_.clear();
    path_ = QDir::current().filePath(QString::fromLatin1(kPhonebookFileName));
    if (!openBookFile())
        return false;
    recoverJournal(mayChange);
    return true;
}

bool Phonebook::recoverJournal(bool mayChange)
{
    // Without a journal there is nothing to play back, and nothing to wait
    // for: a change under way has its journal on the disk before it writes.
    const QString journal = Journal::pathFor(phonebook_.fileName());
    if (!QFileInfo::exists(journal) && !QFileInfo(journal).isSymLink()) {
        known_ = phonebook_.identity();
        return true;
    }
    QString why;
    if (!lock(&why)) {
        // Another program is in the middle of a change: what the book holds
        // now may be half of it.
        refuseWrites(why);
        notice_ = why;
        pending_ = true;
        return false;
    }
    const Journal::Recovery r = Journal::recover(phonebook_, mayChange);
    known_ = phonebook_.identity();
    unlock();
    recovered_ = r.playedBack;
    pending_ = r.pending;
    if (!r.notice.isEmpty())
        notice_ = r.notice;
    if (!r.ok) {
        // The book is as an unfinished change left it: reading it is fine,
        // writing it would make the journal's playback wrong.
        refuseWrites(QStringLiteral("An unfinished change of the book could not be undone: ") + r.error);
        if (notice_.isEmpty())
            notice_ = refusal_;
    }
    return r.ok;
}

// The lock beside the book is held for every change and every playback, so
// that two programs never change the book at once and a journal is played
// back only when no live program owns it. Without it nothing is changed and
// nothing played back: a lock that cannot be had (a folder in its place,
// another account's file, a read-only folder, a link) is told with its
// name and the system's reason.
bool Phonebook::lock(QString* error)
{
    if (lockDepth_++ > 0)
        return true;
    const QString path = phonebook_.fileName() + QStringLiteral("-lock");
    lock_ = std::make_unique<io::FileLock>(path);
    QString why;
    const io::FileLock::Result r = lock_->lock(kLockWaitMs, &why);
    if (r == io::FileLock::Result::Locked)
        return true;
    lock_.reset();
    --lockDepth_;
    if (r == io::FileLock::Result::CannotMake)
        *error = QStringLiteral("The book's lock file %1 could not be opened (%2), so the book is not changed.")
                     .arg(QFileInfo(path).fileName(), why);
    else
        *error = QStringLiteral("Another program is changing the book; try again when it is done.");
    return false;
}

void Phonebook::unlock()
{
    if (lockDepth_ > 0 && --lockDepth_ == 0)
        lock_.reset();
}

bool Phonebook::openClipboardFile()
{
    return clipboard_.open(QDir::current().filePath(QString::fromLatin1(kClipboardFileName)));
}

void Phonebook::closePhonebookFile()
{
    phonebook_.close();
    known_ = {};
}

void Phonebook::undoFailed(const QString& why)
{
    refuseWrites(QStringLiteral("A failed change of the book could not be undone: ") + why);
    undoFailure_ = why;
}

bool Phonebook::writeAllowed(int first, int last)
{
    if (!refusal_.isEmpty()) {
        error_ = refusal_;
        return false;
    }
    if (changeDepth_ > 0 && (first < changeFirst_ || last > changeLast_ || changeFailed_)) {
        error_ = QStringLiteral("The change touches records it did not reserve.");
        changeFailed_ = true;
        return false;
    }
    error_.clear();
    return true;
}

bool Phonebook::WriteRecord(int n)
{
    if (!writeAllowed(n, n))
        return false;
    if (!phonebook_.write(n, RecordBuffer)) {
        changeFailed_ = changeDepth_ > 0;
        return false;
    }
    return true;
}

bool Phonebook::writeRecords(int first, int count, const char* bytes)
{
    if (count <= 0)
        return true;
    if (first < 1 || first + count - 1 > kMaxRecord || !writeAllowed(first, first + count - 1))
        return false;
    if (!phonebook_.writeRange(first, count, bytes)) {
        changeFailed_ = changeDepth_ > 0;
        return false;
    }
    return true;
}

bool Phonebook::writeMadeRecords(int first, int count, std::function<void(qint64 i, char* out)> make)
{
    if (count <= 0)
        return true;
    if (first < 1 || first + count - 1 > kMaxRecord || !writeAllowed(first, first + count - 1))
        return false;
    const RecordFile::Staging* s = phonebook_.staging();
    constexpr qint64 size = static_cast<qint64>(kRecordSize);
    if (!s || s->from != (first - 1) * size) {
        error_ = QStringLiteral("The change touches records it did not reserve.");
        changeFailed_ = changeDepth_ > 0;
        return false;
    }
    const auto bytes = [make = std::move(make)](qint64 at, qint64 n, char* out) {
        ContactRecord partial;
        for (qint64 pos = at; pos < at + n;) {
            const qint64 i = pos / size, within = pos % size;
            const qint64 take = std::min(size - within, at + n - pos);
            if (within == 0 && take == size) {
                make(i, out + (pos - at));
            } else {
                make(i, partial.bytes.data());
                std::memcpy(out + (pos - at), partial.bytes.data() + within, static_cast<std::size_t>(take));
            }
            pos += take;
        }
    };
    if (!phonebook_.stageMade(static_cast<qint64>(count) * size, bytes)) {
        changeFailed_ = changeDepth_ > 0;
        return false;
    }
    return true;
}

bool Phonebook::truncateBook(qint64 length)
{
    // Inside a change, what the cut removes must all be in the journal: the
    // records from the cut to the file's end lie within those reserved.
    // Growing a last record cut short to its whole length touches that
    // record alone.
    const qint64 size = static_cast<qint64>(kRecordSize);
    const qint64 now = std::max<qint64>(phonebook_.length(), 0);
    const int from = static_cast<int>(std::min(length, now) / size) + 1;
    const int to = static_cast<int>((std::max(length, now) + size - 1) / size);
    const qint64 reservedEnd = static_cast<qint64>(changeLast_) * size;
    if (changeDepth_ > 0 && length == now && length <= reservedEnd)
        return writeAllowed(changeFirst_, changeFirst_);   // nothing to cut or add
    if (!writeAllowed(from, changeDepth_ > 0 ? std::max(from, to) : from))
        return false;
    if (changeDepth_ > 0 && (phonebook_.length() > reservedEnd || length > reservedEnd)) {
        error_ = QStringLiteral("The change touches records it did not reserve.");
        changeFailed_ = true;
        return false;
    }
    if (!phonebook_.truncate(length)) {
        changeFailed_ = changeDepth_ > 0;
        return false;
    }
    return true;
}

RecordScanner Phonebook::scanner(int start)
{
    return RecordScanner(phonebook_, start, &RecordBuffer);
}

Phonebook::Scan Phonebook::scanToFreeSlot(int start)
{
    if (start < 1 || !phonebook_.isOpen())
        return {start, false, false};
    RecordScanner s(phonebook_, start);
    for (;;) {
        const char* r = s.next();
        if (!r)
            return {s.number() + 1, false, s.failed()};
        std::memcpy(RecordBuffer.bytes.data(), r, kRecordSize);
        if (RecordBuffer.isFree())
            return {s.number(), true, false};
    }
}

// Copies records from ... from + n - 1 to records to ... to + n - 1 within
// the open change. The buffer ends holding the record at `last`, the last
// one the move read.
bool Phonebook::moveRecords(int from, int to, int n, int last)
{
    if (!phonebook_.moveRange(from, to, n)) {
        changeFailed_ = changeDepth_ > 0;
        return false;
    }
    return phonebook_.read(to + (last - from), RecordBuffer);   // where that record went
}

bool Phonebook::shiftUp(int first, int last)
{
    if (last < first)
        return true;
    if (last + 1 > kMaxRecord || !writeAllowed(first + 1, last + 1))
        return false;
    return moveRecords(first, first + 1, last - first + 1, first);
}

bool Phonebook::shiftDown(int first, int last)
{
    if (last < first)
        return true;
    if (!writeAllowed(first, last))
        return false;
    return moveRecords(first + 1, first, last - first + 1, last + 1);
}

Phonebook::Change::Change(Phonebook& book, int first, int last) : book_(book)
{
    if (book.changeDepth_ > 0) {
        // Inside a larger change: it must lie within what that one reserved.
        ok_ = first >= book.changeFirst_ && last <= book.changeLast_ && !book.changeFailed_;
        if (!ok_)
            book.error_ = QStringLiteral("The change touches records it did not reserve.");
        ++book.changeDepth_;
        return;
    }
    if (!book.writeAllowed(first, last))
        return;
    QString why;
    if (!book.lock(&why)) {
        book.error_ = why;
        return;
    }
    // Another program may have changed the book since this one counted it,
    // or put another file in its place: nothing is written over records
    // this program has not seen.
    const io::Identity open = book.phonebook_.identity();
    const io::Identity named = io::identityOfPath(book.phonebook_.fileName());
    if (named.valid() && open.valid() && !named.sameFile(open)) {
        book.changedElsewhere_ = true;
        book.error_ = QStringLiteral("The book was replaced by another program; nothing was written. It is opened "
                                     "again and counted anew.");
        if (book.openBookFile())
            book.recoverJournal(true);
        book.unlock();
        return;
    }
    if (book.known_.valid() && open != book.known_) {
        book.changedElsewhere_ = true;
        book.known_ = open;
        book.error_ = QStringLiteral("The book was changed by another program since it was counted; nothing was "
                                     "written.");
        book.unlock();
        return;
    }
    if (!book.journal_.begin(first, std::min(last, kMaxRecord), &why)) {
        book.error_ = why;
        book.unlock();
        return;
    }
    outer_ = true;
    ok_ = true;
    book.changeFirst_ = first;
    book.changeLast_ = last;
    book.changeFailed_ = false;
    ++book.changeDepth_;
}

bool Phonebook::Change::commit()
{
    if (!ok_ || done_)
        return false;
    done_ = true;
    if (!outer_)
        return !book_.changeFailed_;
    --book_.changeDepth_;
    QString why;
    const bool ok = book_.changeFailed_ ? false : book_.journal_.commit(&why);
    if (!ok && book_.journal_.active() && !book_.journal_.rollback(&why))
        book_.undoFailed(why);
    if (!ok && !why.isEmpty())
        book_.error_ = why;
    if (const QString warning = book_.journal_.takeWarning(); !warning.isEmpty())
        book_.notice_ = warning;
    book_.known_ = book_.phonebook_.identity();
    book_.unlock();
    return ok;
}

Phonebook::Change::~Change()
{
    if (!outer_) {
        if (!done_)
            book_.changeFailed_ = true;   // an inner change that did not complete spoils the whole
        --book_.changeDepth_;
        return;
    }
    if (done_ || !ok_)
        return;
    --book_.changeDepth_;
    QString why;
    if (!book_.journal_.rollback(&why))
        book_.undoFailed(why);
    book_.known_ = book_.phonebook_.identity();
    book_.unlock();
}

const char* RecordScanner::next()
{
    if (failed_ || next_ > kMaxRecord)
        return nullptr;
    if (next_ >= blockFirst_ + blockCount_ || blockCount_ == 0) {
        const int count = std::min(grow_, kMaxRecord - next_ + 1);
        block_.resize(static_cast<std::size_t>(count) * file_.recordSize());
        if (!file_.readRange(next_, count, block_.data())) {
            failed_ = true;
            return nullptr;
        }
        blockFirst_ = next_;
        blockCount_ = count;
        grow_ = std::min(grow_ * 4, 4096);
    }
    const char* r = block_.data() + static_cast<std::size_t>(next_ - blockFirst_) * file_.recordSize();
    ++next_;
    last_ = r;
    return r;
}

RecordScanner::~RecordScanner()
{
    if (lastRead_ && last_)
        std::memcpy(lastRead_->bytes.data(), last_, kRecordSize);
}

} // namespace pb
