#include "records/FileIo.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
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

bool syncFolder(const QString& folder)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#else
    Q_UNUSED(folder);
    return true;
#endif
}

} // namespace pb::io
