#pragma once

#include "records/ContactRecord.h"
#include "records/FileIo.h"

#include <QFile>
#include <QString>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace pb {

// A file of fixed-size records numbered from 1 (up to 32767), opened for
// reading and writing (created empty when missing). A record, or a run of
// records, is one positioned read or write; nothing is cached, except the
// bytes of a staged change (see stage).
class RecordFile
{
public:
    explicit RecordFile(std::size_t recordSize = kRecordSize) : size_(recordSize), scratch_(recordSize) {}

    // Refuses anything but a regular file (see notRegular).
    bool open(const QString& path);
    // The last open found a pipe, device or folder under the name.
    bool notRegular() const { return notRegular_; }
    void close();
    bool isOpen() const { return file_.isOpen(); }
    QString fileName() const { return path_; }
    std::size_t recordSize() const { return size_; }

    // Past the end of the file a record reads as zero bytes (a free slot);
    // a short last record is completed with zero bytes. A failed read leaves
    // `into` as it was.
    bool readBytes(int number, char* into);
    // Writing past the end grows the file; records skipped over read as zero
    // bytes. A write that fails part-way leaves no piece of the record behind
    // at the end of the file.
    bool writeBytes(int number, const char* from);

    // `count` records from `first` on in one read, zero bytes past the end of
    // the file. The numbers must lie in 1 ... 32767.
    bool readRange(int first, int count, char* into);
    // `count` records from `first` on in one write.
    bool writeRange(int first, int count, const char* from);

    bool read(int number, ContactRecord& into) { return readBytes(number, into.bytes.data()); }
    bool write(int number, const ContactRecord& from) { return writeBytes(number, from.bytes.data()); }

    // The file's length in bytes, or -1 when it is not open.
    qint64 length() const { return !file_.isOpen() ? -1 : staged_ ? staged_->length : file_.size(); }
    bool truncate(qint64 length);
    // Everything written so far on the disk.
    bool sync();

    // A change held in memory until it is written whole: from `stage` on,
    // writes and cuts of bytes `from` ... `limit` - 1 go to memory, and
    // every read and the length see them; the file itself is not touched.
    // `before` holds the file's `n` bytes from `from` on (those it has up
    // to `limit`). Anything outside those bytes fails as not reserved.
    struct Staging {
        qint64 from = 0;
        qint64 limit = 0;
        qint64 length = 0;    // the file's length as the change leaves it
        qint64 extent = 0;    // how many bytes from `from` on the change holds
        QByteArray image;     // those bytes as it leaves them (room up to `limit`)
        // Or, for a change that writes a run of bytes made from elsewhere
        // (records appended from a packed list), those bytes made again
        // whenever they are needed instead of held: make(at, n, out) writes
        // the `n` bytes `at` bytes after `from` to `out`.
        std::function<void(qint64 at, qint64 n, char* out)> make;
        const char* bytes() const { return image.constData(); }
        // The staged bytes `at` ... `at` + n - 1 (from `from` on) into `out`.
        void copy(qint64 at, qint64 n, char* out) const;
    };
    void stage(qint64 from, qint64 limit, const char* before, qint64 n);
    // Within a staged change that has written nothing yet: its bytes are
    // the `n` that `make` gives from `from` on, and it writes nothing else.
    bool stageMade(qint64 n, std::function<void(qint64 at, qint64 n, char* out)> make);
    const Staging* staging() const { return staged_ ? &*staged_ : nullptr; }
    // Writes the records that differ from `before` (as given to stage) in
    // runs, then cuts or grows the file to the staged length. The staging
    // ends either way; the caller's journal undoes a failure.
    bool writeStaged(const char* before, qint64 n);
    void dropStaging() { staged_.reset(); }
    // Within a staged change: copies records from ... from + count - 1 to
    // to ... to + count - 1 (the runs may overlap). Past the last record
    // number there is nothing to copy: free slots move in.
    bool moveRange(int from, int to, int count);

    // Which file is open, with its length and modification time.
    io::Identity identity() { return io::identityOf(file_); }

    // Why the last failed call failed, in the system's words.
    QString errorString() const { return error_; }

protected:
    void failWith(const QString& why) { error_ = why; }

private:
    bool checkAccess(int number, int count = 1);
    qint64 offsetOf(int number) const;
    // `n` bytes at `at`, zero past the end (of the file, or of the staged change).
    bool readAt(qint64 at, char* into, qint64 n);
    bool readFile(qint64 at, char* into, qint64 n);
    bool writeStagedAt(qint64 at, const char* from, qint64 n);
    bool truncateStaged(qint64 length);

    std::size_t size_;
    std::vector<char> scratch_;
    QFile file_;
    QString path_;   // the file opened, kept by name
    QString error_;
    QString openError_;   // why the last open failed
    bool notRegular_ = false;
    std::optional<Staging> staged_;
};

} // namespace pb
