#include "records/RecordFile.h"

#include "records/RecordNumber.h"

#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace pb {

bool RecordFile::open(const QString& path)
{
    close();
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        error_ = file_.errorString();
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
        error_ = QStringLiteral("The file %1 is not open.").arg(file_.fileName());
        return false;
    }
    if (number < 1 || number > kMaxRecord) {
        error_ = QStringLiteral("Bad record number %1.").arg(number);
        return false;
    }
    return true;
}

namespace {
qint64 offsetOf(int number)
{
    return static_cast<qint64>(number - 1) * static_cast<qint64>(kRecordSize);
}
} // namespace

// One positioned read or write per record: pread/pwrite where the system has
// them, a seek and a read or write elsewhere.
bool RecordFile::read(int number, ContactRecord& into)
{
    if (!checkAccess(number))
        return false;
    ContactRecord r;
#ifdef Q_OS_UNIX
    qint64 got = 0;
    while (got < static_cast<qint64>(kRecordSize)) {
        const ssize_t n = ::pread(file_.handle(), r.bytes.data() + got, kRecordSize - static_cast<std::size_t>(got),
                                  offsetOf(number) + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error_ = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        if (n == 0)
            break;   // past the end: the rest stays zero
        got += n;
    }
#else
    if (!file_.seek(offsetOf(number)) || file_.read(r.bytes.data(), static_cast<qint64>(kRecordSize)) < 0) {
        error_ = file_.errorString();
        return false;
    }
#endif
    into = r;
    return true;
}

bool RecordFile::write(int number, const ContactRecord& from)
{
    if (!checkAccess(number))
        return false;
#ifdef Q_OS_UNIX
    qint64 put = 0;
    while (put < static_cast<qint64>(kRecordSize)) {
        const ssize_t n = ::pwrite(file_.handle(), from.bytes.data() + put, kRecordSize - static_cast<std::size_t>(put),
                                   offsetOf(number) + put);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC));
            // A record that only partly made it onto the end of the file
            // would read as a record: take the piece back off.
            if (put > 0 && file_.size() == offsetOf(number) + put)
                file_.resize(offsetOf(number));
            return false;
        }
        put += n;
    }
#else
    if (!file_.seek(offsetOf(number)) ||
        file_.write(from.bytes.data(), static_cast<qint64>(kRecordSize)) != static_cast<qint64>(kRecordSize)) {
        error_ = file_.errorString();
        return false;
    }
#endif
    return true;
}

} // namespace pb
