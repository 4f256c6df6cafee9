#include "records/RecordFile.h"

#include "records/RecordNumber.h"

#include <QCoreApplication>
#include <cstring>

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

bool RecordFile::seekTo(int number)
{
    if (!file_.isOpen()) {
        error_ = QStringLiteral("The file %1 is not open.").arg(file_.fileName());
        return false;
    }
    if (number < 1 || number > kMaxRecord) {
        error_ = QStringLiteral("Bad record number %1.").arg(number);
        return false;
    }
    if (!file_.seek(static_cast<qint64>(number - 1) * static_cast<qint64>(kRecordSize))) {
        error_ = file_.errorString();
        return false;
    }
    return true;
}

bool RecordFile::read(int number, ContactRecord& into)
{
    if (!seekTo(number))
        return false;
    ContactRecord r;
    const qint64 got = file_.read(r.bytes.data(), static_cast<qint64>(kRecordSize));
    if (got < 0) {
        error_ = file_.errorString();
        return false;
    }
    into = r;
    return true;
}

bool RecordFile::write(int number, const ContactRecord& from)
{
    if (!seekTo(number))
        return false;
    const qint64 put = file_.write(from.bytes.data(), static_cast<qint64>(kRecordSize));
    if (put != static_cast<qint64>(kRecordSize)) {
        error_ = file_.errorString();
        return false;
    }
    return true;
}

} // namespace pb
