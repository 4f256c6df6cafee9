#include "records/FileIo.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#include <windows.h>
#endif

namespace pb::io {

namespace {

FaultPlan plan;
int writes = 0;
int reads = 0;

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// How many bytes of this write may go through before it fails (-1: all).
qint64 allowedBytes(qint64 n)
{
    const int op = writes++;
    if (!plan.write)
        return -1;
    const qint64 allowed = plan.write(op, n);
    return allowed < 0 ? -1 : std::min(allowed, n);
}

bool failNextRead()
{
    const int op = reads++;
    return plan.failRead && plan.failRead(op);
}

} // namespace

void setFaultPlanForTesting(FaultPlan p)
{
    plan = std::move(p);
    writes = 0;
    reads = 0;
}

int writeOperationsForTesting()
{
    return writes;
}

int readOperationsForTesting()
{
    return reads;
}

qint64 readAt(QFile& file, qint64 offset, char* into, qint64 n, QString* error)
{
    if (failNextRead()) {
        *error = systemError(EIO);
        return -1;
    }
    qint64 got = 0;
#ifdef Q_OS_UNIX
    while (got < n) {
        const ssize_t r = ::pread(file.handle(), into + got, static_cast<std::size_t>(n - got), offset + got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            *error = systemError(errno);
            return -1;
        }
        if (r == 0)
            break;   // the end of the file
        got += r;
    }
#else
    if (!file.seek(offset) || (got = file.read(into, n)) < 0) {
        *error = file.errorString();
        return -1;
    }
#endif
    return got;
}

bool writeAt(QFile& file, qint64 offset, const char* from, qint64 n, QString* error)
{
    const qint64 allowed = allowedBytes(n);
    const qint64 want = allowed < 0 ? n : allowed;
    qint64 put = 0;
#ifdef Q_OS_UNIX
    while (put < want) {
        const ssize_t r = ::pwrite(file.handle(), from + put, static_cast<std::size_t>(want - put), offset + put);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            *error = systemError(r < 0 ? errno : ENOSPC);
            return false;
        }
        put += r;
    }
#else
    if (want > 0 && (!file.seek(offset) || (put = file.write(from, want)) != want)) {
        *error = file.errorString();
        return false;
    }
#endif
    if (allowed >= 0) {
        *error = systemError(EIO);
        return false;
    }
    return true;
}

bool sync(QFile& file, QString* error)
{
    if (allowedBytes(0) >= 0) {
        *error = systemError(EIO);
        return false;
    }
#ifdef Q_OS_UNIX
    int r;
    do
        r = ::fsync(file.handle());
    while (r != 0 && errno == EINTR);
    if (r != 0) {
        *error = systemError(errno);
        return false;
    }
    return true;
#else
    if (!file.flush()) {
        *error = file.errorString();
        return false;
    }
    return true;
#endif
}

bool truncate(QFile& file, qint64 length, QString* error)
{
    if (allowedBytes(0) >= 0) {
        *error = systemError(EIO);
        return false;
    }
#ifdef Q_OS_UNIX
    int r;
    do
        r = ::ftruncate(file.handle(), length);
    while (r != 0 && errno == EINTR);
    if (r != 0) {
        *error = systemError(errno);
        return false;
    }
    return true;
#else
    if (!file.resize(length)) {
        *error = file.errorString();
        return false;
    }
    return true;
#endif
}

bool syncFolder(const QString& folder, QString* error)
{
    QString ignored;
    QString* why = error ? error : &ignored;
    if (allowedBytes(0) >= 0) {
        *why = systemError(EIO);
        return false;
    }
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *why = systemError(errno);
        return false;
    }
    int r;
    do
        r = ::fsync(fd);
    while (r != 0 && errno == EINTR);
    const int code = errno;
    ::close(fd);
    if (r != 0) {
        *why = systemError(code);
        return false;
    }
    return true;
#else
    Q_UNUSED(folder);
    return true;
#endif
}

#ifdef Q_OS_UNIX
namespace {

// Opens `path` with `flags`, never through a link and never blocking on a
// pipe, and only when it is a regular file (new ones 0600); the descriptor
// (still non-blocking), or -1 with the reason.
int openRegularFd(const QString& path, int flags, QString* error)
{
    const QString name = QFileInfo(path).fileName();
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        *error = errno == ELOOP ? QStringLiteral("%1 is a link, which the program does not follow").arg(name)
                                : systemError(errno);
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("%1 is not a regular file").arg(name);
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace
#endif

bool openFile(QFile& file, QIODeviceBase::OpenMode mode, QString* error)
{
    if (allowedBytes(0) >= 0) {
        *error = systemError(EIO);
        return false;
    }
    return openRegular(file, mode, error);
}

bool openRegular(QFile& file, QIODeviceBase::OpenMode mode, QString* error)
{
#ifdef Q_OS_UNIX
    const bool writes = mode & QIODevice::WriteOnly;
    int flags = (mode & QIODevice::ReadWrite) == QIODevice::ReadWrite ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    if (writes && !(mode & QIODevice::ExistingOnly))
        flags |= O_CREAT;
    const int fd = openRegularFd(file.fileName(), flags, error);
    if (fd < 0)
        return false;
    if ((mode & QIODevice::Truncate) && ::ftruncate(fd, 0) != 0) {
        *error = systemError(errno);
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode & ~QIODevice::Truncate, QFileDevice::AutoCloseHandle)) {
        *error = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
#else
    const QString name = QFileInfo(file.fileName()).fileName();
    const QFileInfo info(file.fileName());
    if (info.isSymLink() || info.isJunction()) {
        *error = QStringLiteral("%1 is a link, which the program does not follow").arg(name);
        return false;
    }
    if (info.exists() && !info.isFile()) {
        *error = QStringLiteral("%1 is not a regular file").arg(name);
        return false;
    }
    if (!file.open(mode)) {
        *error = file.errorString();
        return false;
    }
    return true;
#endif
}

bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    // Written beside the target and renamed over it: a link or a pipe
    // planted under the name is replaced, never written through or waited
    // on. The new file is the user's alone from its first byte.
    const QFileInfo target(path);
    QTemporaryFile out(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    if (!out.open()) {
        *error = out.errorString();
        return false;
    }
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // The flush tells a full disk; the close alone would not.
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        *error = out.errorString();
        return false;
    }
#ifdef Q_OS_UNIX
    if (::fsync(static_cast<int>(out.handle())) != 0 ||
        ::rename(QFile::encodeName(out.fileName()).constData(), QFile::encodeName(path).constData()) != 0) {
        *error = systemError(errno);
        return false;
    }
#else
    out.close();
    if (!::MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(out.fileName()).utf16()),
                       reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = QStringLiteral("error %1").arg(::GetLastError());
        return false;
    }
#endif
    out.setAutoRemove(false);
    return true;
}

bool renameOver(const QString& from, const QString& to, QString* error)
{
    if (allowedBytes(0) >= 0) {
        *error = systemError(EIO);
        return false;
    }
#ifdef Q_OS_UNIX
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        *error = systemError(errno);
        return false;
    }
#else
    if (!::MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                       reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = QStringLiteral("error %1").arg(::GetLastError());
        return false;
    }
#endif
    return true;
}

bool remove(const QString& path, QString* error)
{
    if (allowedBytes(0) >= 0) {
        *error = systemError(EIO);
        return false;
    }
    QFile f(path);
    if (!f.remove()) {
        *error = f.errorString();
        return false;
    }
    return true;
}

namespace {

#ifdef Q_OS_UNIX
Identity fromStat(const struct stat& st)
{
    Identity id;
    id.device = static_cast<qint64>(st.st_dev);
    id.inode = static_cast<qint64>(st.st_ino);
    id.size = static_cast<qint64>(st.st_size);
    id.modifiedNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return id;
}
#elif defined(Q_OS_WIN)
Identity fromHandle(HANDLE h)
{
    Identity id;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info))
        return id;
    id.device = static_cast<qint64>(info.dwVolumeSerialNumber);
    id.inode = (static_cast<qint64>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    id.size = (static_cast<qint64>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    id.modifiedNs = ((static_cast<qint64>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime) * 100;
    return id;
}
#endif

} // namespace

Identity identityOf(QFile& open)
{
#ifdef Q_OS_UNIX
    struct stat st;
    if (!open.isOpen() || ::fstat(open.handle(), &st) != 0)
        return {};
    return fromStat(st);
#elif defined(Q_OS_WIN)
    if (!open.isOpen())
        return {};
    return fromHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(open.handle())));
#else
    Identity id;
    id.size = open.size();
    return id;
#endif
}

Identity identityOfPath(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return fromStat(st);
#elif defined(Q_OS_WIN)
    const HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {};
    const Identity id = fromHandle(h);
    ::CloseHandle(h);
    return id;
#else
    Q_UNUSED(path);
    return {};
#endif
}

FileLock::Result FileLock::lock(int timeoutMs, QString* error)
{
    unlock();
    QElapsedTimer waited;
    waited.start();
#ifdef Q_OS_UNIX
    const int fd = openRegularFd(path_, O_RDWR | O_CREAT, error);
    if (fd < 0)
        return Result::CannotMake;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            handle_ = fd;
            return Result::Locked;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            *error = systemError(errno);
            ::close(fd);
            return Result::CannotMake;
        }
        if (waited.elapsed() >= timeoutMs) {
            ::close(fd);
            return Result::Busy;
        }
        ::usleep(10000);
    }
#elif defined(Q_OS_WIN)
    const HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(path_.utf16()), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = QStringLiteral("error %1").arg(::GetLastError());
        return Result::CannotMake;
    }
    for (;;) {
        OVERLAPPED at = {};
        if (::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            handle_ = reinterpret_cast<qintptr>(h);
            return Result::Locked;
        }
        if (waited.elapsed() >= timeoutMs) {
            ::CloseHandle(h);
            return Result::Busy;
        }
        ::Sleep(10);
    }
#else
    Q_UNUSED(error);
    Q_UNUSED(timeoutMs);
    return Result::Locked;
#endif
}

void FileLock::unlock()
{
    if (handle_ < 0)
        return;
#ifdef Q_OS_UNIX
    ::flock(static_cast<int>(handle_), LOCK_UN);
    ::close(static_cast<int>(handle_));
#elif defined(Q_OS_WIN)
    OVERLAPPED at = {};
    ::UnlockFileEx(reinterpret_cast<HANDLE>(handle_), 0, 1, 0, &at);
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
#endif
    handle_ = -1;
}

} // namespace pb::io
