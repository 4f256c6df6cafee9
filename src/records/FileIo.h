#pragma once

#include <QByteArray>
#include <QIODeviceBase>
#include <QString>

#include <cstddef>
#include <functional>

class QFile;

namespace pb::io {

// Positioned reads and writes, flushes to the disk and truncation of an
// open file, each one system call where the system has one. Every call that
// changes a file counts as one write operation; tests can make a chosen one
// fail.

// Reads up to `n` bytes at `offset`; the number read (short only at the end
// of the file), or -1 with the reason.
qint64 readAt(QFile& file, qint64 offset, char* into, qint64 n, QString* error);
// Writes all `n` bytes at `offset`; false (with the reason) when any part failed.
bool writeAt(QFile& file, qint64 offset, const char* from, qint64 n, QString* error);
// Data and size on the disk.
bool sync(QFile& file, QString* error);
bool truncate(QFile& file, qint64 length, QString* error);
// Makes a file's creation or removal in `folder` last.
bool syncFolder(const QString& folder, QString* error = nullptr);
// Opens `file` (one operation, as a write); false with the reason. The file
// is never opened through a link at its name, nor when it is anything but
// a regular file (a pipe would block, a device would take the bytes); one
// it makes is readable by the user alone, whatever the umask.
bool openFile(QFile& file, QIODeviceBase::OpenMode mode, QString* error);
// The same, not counted as a write operation (opening to read, or at start).
bool openRegular(QFile& file, QIODeviceBase::OpenMode mode, QString* error);
// Writes a whole file anew under a temporary name and renames it into
// place, readable by the user alone; false with the reason.
bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error);
// Renames a file of this program's over another name at once (a link at
// `from` is moved as a link, never followed).
bool renameOver(const QString& from, const QString& to, QString* error);
// Removes a file (one write operation).
bool remove(const QString& path, QString* error);

// An exclusive advisory lock on a file (flock on Unix, LockFileEx on
// Windows), held until unlock() or the lock's end. The system lets go of it
// when the process holding it dies, however it dies: no lock is ever stale.
// The file is made when missing and stays.
class FileLock
{
public:
    explicit FileLock(const QString& path) : path_(path) {}
    ~FileLock() { unlock(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    enum class Result { Locked, Busy, CannotMake };
    // Waits up to `timeoutMs` for another holder to let go.
    Result lock(int timeoutMs, QString* error);
    void unlock();

private:
    QString path_;
    qintptr handle_ = -1;
};

// Which file an open file or a path is, and how it stood: two looks that
// compare equal saw the same file, unchanged in between (as far as its
// length and modification time tell).
struct Identity {
    qint64 device = -1;
    qint64 inode = -1;
    qint64 size = -1;
    qint64 modifiedNs = 0;
    bool valid() const { return inode >= 0; }
    bool sameFile(const Identity& o) const { return device == o.device && inode == o.inode; }
    bool operator==(const Identity& o) const = default;
};
Identity identityOf(QFile& open);
Identity identityOfPath(const QString& path);

// For the tests: decides for every write operation (numbered from 0 in each
// plan) how many of its bytes go through before it fails: -1 lets it
// through whole. A read plan does the same for reads (any value but -1
// fails the read).
struct FaultPlan {
    std::function<qint64(int op, qint64 bytes)> write;
    std::function<bool(int op)> failRead;
};
void setFaultPlanForTesting(FaultPlan plan);
// Write operations (and reads) seen since the plan was set.
int writeOperationsForTesting();
int readOperationsForTesting();

} // namespace pb::io
