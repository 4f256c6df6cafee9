#include "records/RecordFile.h"

#include "records/RecordNumber.h"

#include <algorithm>
#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace pb {

bool RecordFile::open(const QString& path)
{
    close();
    openError_.clear();
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        error_ = openError_ = file_.errorString();
        return false;
    }
    return true;
}

void RecordFile::close()
{
    if (file_.isOpen())
        file_.close();
}

bool RecordFile::checkAccess(int number)
{
    if (!file_.isOpen()) {
        // A file that could not be opened fails every access for that reason.
        error_ = openError_.isEmpty() ? QStringLiteral("The file %1 is not open.").arg(file_.fileName()) : openError_;
        return false;
    }
    if (number < 1 || number > kMaxRecord) {
        error_ = QStringLiteral("Bad record number %1.").arg(number);
        return false;
    }
    return true;
}

qint64 RecordFile::offsetOf(int number) const
{
    return static_cast<qint64>(number - 1) * static_cast<qint64>(size_);
}

// One positioned read or write per record: pread/pwrite where the system has
// them, a seek and a read or write elsewhere.
bool RecordFile::readBytes(int number, char* into)
{
    if (!checkAccess(number))
        return false;
    char* buf = scratch_.data();
    const qint64 at = offsetOf(number);
    qint64 got = 0;
#ifdef Q_OS_UNIX
    while (got < static_cast<qint64>(size_)) {
        const ssize_t n = ::pread(file_.handle(), buf + got, size_ - static_cast<std::size_t>(got), at + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error_ = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        if (n == 0)
            break;   // past the end
        got += n;
    }
#else
    if (!file_.seek(at) || (got = file_.read(buf, static_cast<qint64>(size_))) < 0) {
        error_ = file_.errorString();
        return false;
    }
#endif
    std::memset(buf + got, 0, size_ - static_cast<std::size_t>(got));
    std::memcpy(into, buf, size_);
    return true;
}

bool RecordFile::writeBytes(int number, const char* from)
{
    if (!checkAccess(number))
        return false;
    const qint64 at = offsetOf(number);
    qint64 put = 0;
#ifdef Q_OS_UNIX
    while (put < static_cast<qint64>(size_)) {
        const ssize_t n = ::pwrite(file_.handle(), from + put, size_ - static_cast<std::size_t>(put), at + put);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC));
            break;
        }
        put += n;
    }
#else
    if (file_.seek(at))
        put = std::max<qint64>(file_.write(from, static_cast<qint64>(size_)), 0);
    if (put != static_cast<qint64>(size_))
        error_ = file_.errorString();
#endif
    if (put == static_cast<qint64>(size_))
        return true;
    // A record that only partly made it onto the end of the file would read
    // as a record: take the piece back off.
    if (put > 0 && file_.size() == at + put)
        file_.resize(at);
    return false;
}

} // namespace pb
