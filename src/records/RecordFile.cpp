#include "records/RecordFile.h"

#include "records/FileIo.h"
#include "records/RecordNumber.h"

#include <QFileInfo>

#include <cstring>

namespace pb {

bool RecordFile::open(const QString& path)
{
    close();
    openError_.clear();
    notRegular_ = false;
    file_.setFileName(path);
    path_ = path;
    // A pipe, a device or a folder under the file's name is never opened: a
    // pipe would block or lose what is read from it, and none of them holds
    // records at fixed places.
    const QFileInfo info(path);
    const auto notRegular = [&] {
        // A folder fails to open as on any system; the others would open.
        notRegular_ = !info.isDir();
        const QString what = info.isDir() ? QStringLiteral("a directory") : QStringLiteral("a pipe, socket or device");
        error_ = openError_ = QStringLiteral("%1 is %2, not a regular file.").arg(info.fileName(), what);
        return false;
    };
    if (info.exists() && !info.isFile())
        return notRegular();
    QString why;
    if (!io::openRegular(file_, QIODevice::ReadWrite | QIODevice::Unbuffered, &why)) {
        error_ = openError_ = why;
        return false;
    }
    if (file_.isSequential()) {   // replaced between the look and the open
        file_.close();
        return notRegular();
    }
    return true;
}

void RecordFile::close()
{
    if (file_.isOpen())
        file_.close();
}

bool RecordFile::checkAccess(int number, int count)
{
    if (!file_.isOpen()) {
        // A file that could not be opened fails every access for that reason.
        error_ = openError_.isEmpty() ? QStringLiteral("The file %1 is not open.").arg(path_) : openError_;
        return false;
    }
    if (number < 1 || count < 0 || number > kMaxRecord || number + count - 1 > kMaxRecord) {
        error_ = QStringLiteral("Bad record number %1.").arg(number < 1 || number > kMaxRecord ? number : number + count - 1);
        return false;
    }
    return true;
}

qint64 RecordFile::offsetOf(int number) const
{
    return static_cast<qint64>(number - 1) * static_cast<qint64>(size_);
}

bool RecordFile::readBytes(int number, char* into)
{
    if (!checkAccess(number))
        return false;
    char* buf = scratch_.data();
    const qint64 got = io::readAt(file_, offsetOf(number), buf, static_cast<qint64>(size_), &error_);
    if (got < 0)
        return false;
    std::memset(buf + got, 0, size_ - static_cast<std::size_t>(got));
    std::memcpy(into, buf, size_);
    return true;
}

bool RecordFile::writeBytes(int number, const char* from)
{
    if (!checkAccess(number))
        return false;
    const qint64 at = offsetOf(number);
    if (io::writeAt(file_, at, from, static_cast<qint64>(size_), &error_))
        return true;
    // A record that only partly made it onto the end of the file would read
    // as a record: take the piece back off.
    if (file_.size() > at && file_.size() < at + static_cast<qint64>(size_)) {
        QString ignored;
        io::truncate(file_, at, &ignored);
    }
    return false;
}

bool RecordFile::readRange(int first, int count, char* into)
{
    if (!checkAccess(first, count))
        return false;
    const qint64 bytes = static_cast<qint64>(count) * static_cast<qint64>(size_);
    const qint64 got = io::readAt(file_, offsetOf(first), into, bytes, &error_);
    if (got < 0)
        return false;
    std::memset(into + got, 0, static_cast<std::size_t>(bytes - got));
    return true;
}

bool RecordFile::writeRange(int first, int count, const char* from)
{
    if (!checkAccess(first, count))
        return false;
    return io::writeAt(file_, offsetOf(first), from, static_cast<qint64>(count) * static_cast<qint64>(size_), &error_);
}

bool RecordFile::truncate(qint64 length)
{
    if (!file_.isOpen())
        return checkAccess(1);
    return io::truncate(file_, length, &error_);
}

bool RecordFile::sync()
{
    if (!file_.isOpen())
        return checkAccess(1);
    return io::sync(file_, &error_);
}

} // namespace pb
