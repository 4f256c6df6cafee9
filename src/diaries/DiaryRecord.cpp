#include "diaries/DiaryRecord.h"

#include "platform/Codepage.h"
#include "records/RecordNumber.h"

#include <algorithm>
#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace pb {

namespace {

QStringView withoutTrailingSpaces(QStringView s)
{
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == u' ')
        --n;
    return s.left(n);
}

qint64 offsetOfEntry(int number)
{
    return static_cast<qint64>(number - 1) * static_cast<qint64>(kDiaryRecordSize);
}

} // namespace

std::string_view DiaryRecord::raw(DiaryField f) const
{
    return {bytes.data() + offsetOf(f), widthOf(f)};
}

void DiaryRecord::store(DiaryField f, QStringView text)
{
    const std::string encoded = codepage::encode(text);
    const std::size_t width = widthOf(f);
    const std::size_t n = std::min(encoded.size(), width);
    char* dst = bytes.data() + offsetOf(f);
    std::memcpy(dst, encoded.data(), n);
    std::memset(dst + n, ' ', width - n);
}

QString DiaryRecord::shownText(DiaryField f) const
{
    std::string_view s = raw(f);
    if (const auto nul = s.find('\0'); nul != std::string_view::npos)
        s = s.substr(0, nul);
    return codepage::decode(s);
}

bool DiaryRecord::showsWhole(DiaryField f, QStringView text) const
{
    return withoutTrailingSpaces(shownText(f)) == withoutTrailingSpaces(text);
}

bool DiaryFile::open(const QString& path)
{
    close();
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        error_ = file_.errorString();
        return false;
    }
    return true;
}

void DiaryFile::close()
{
    if (file_.isOpen())
        file_.close();
}

bool DiaryFile::checkAccess(int number)
{
    if (!file_.isOpen()) {
        error_ = QStringLiteral("The file %1 is not open.").arg(file_.fileName());
        return false;
    }
    if (number < 1 || number > kMaxRecord) {
        error_ = QStringLiteral("Bad entry number %1.").arg(number);
        return false;
    }
    return true;
}

// One positioned read or write per entry: pread/pwrite where the system has
// them, a seek and a read or write elsewhere.
bool DiaryFile::read(int number, DiaryRecord& into)
{
    if (!checkAccess(number))
        return false;
    DiaryRecord r;
    const qint64 at = offsetOfEntry(number);
#ifdef Q_OS_UNIX
    qint64 got = 0;
    while (got < static_cast<qint64>(kDiaryRecordSize)) {
        const ssize_t n = ::pread(file_.handle(), r.bytes.data() + got,
                                  kDiaryRecordSize - static_cast<std::size_t>(got), at + got);
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
    if (!file_.seek(at) || file_.read(r.bytes.data(), static_cast<qint64>(kDiaryRecordSize)) < 0) {
        error_ = file_.errorString();
        return false;
    }
#endif
    into = r;
    return true;
}

bool DiaryFile::write(int number, const DiaryRecord& from)
{
    if (!checkAccess(number))
        return false;
    const qint64 at = offsetOfEntry(number);
    const qint64 sizeBefore = file_.size();
    qint64 put = 0;
#ifdef Q_OS_UNIX
    while (put < static_cast<qint64>(kDiaryRecordSize)) {
        const ssize_t n = ::pwrite(file_.handle(), from.bytes.data() + put,
                                   kDiaryRecordSize - static_cast<std::size_t>(put), at + put);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC));
            break;
        }
        put += n;
    }
#else
    if (file_.seek(at)) {
        const qint64 n = file_.write(from.bytes.data(), static_cast<qint64>(kDiaryRecordSize));
        put = std::max<qint64>(n, 0);
    }
    if (put != static_cast<qint64>(kDiaryRecordSize))
        error_ = file_.errorString();
#endif
    if (put == static_cast<qint64>(kDiaryRecordSize))
        return true;
    // A piece of an entry left past the old end of the file would read back
    // as an entry: take it off again.
    if (file_.size() > sizeBefore)
        file_.resize(sizeBefore);
    return false;
}

} // namespace pb
