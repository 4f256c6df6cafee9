#include "diaries/DiaryRecord.h"

#include "records/FileIo.h"
#include "records/Journal.h"

#include <QFileInfo>

#include "platform/Codepage.h"
#include "records/RecordNumber.h"

#include <algorithm>
#include <cstring>

namespace pb {

namespace {

QStringView withoutTrailingSpaces(QStringView s)
{
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == u' ')
        --n;
    return s.left(n);
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

namespace {
constexpr int kLockWaitMs = 10000;
}

bool DiaryFile::openDiaries(const QString& path, QString* notice)
{
    if (!open(path))
        return false;
    notice->clear();
    // A journal is played back only under the lock: another program's save
    // may be under way.
    if (QFileInfo::exists(Journal::pathFor(path)) || QFileInfo(Journal::pathFor(path)).isSymLink()) {
        io::FileLock lock(path + QStringLiteral("-lock"));
        QString why;
        if (lock.lock(kLockWaitMs, &why) != io::FileLock::Result::Locked) {
            *notice = QStringLiteral("An entry whose save was cut short was not put back: the diaries' lock could not be "
                                     "had%1.")
                          .arg(why.isEmpty() ? QString() : QStringLiteral(" (") + why + u')');
            known_ = identity();
            return true;
        }
        const Journal::Recovery r = Journal::recover(*this);
        *notice = r.notice;
        if (!r.ok && notice->isEmpty())
            *notice = QStringLiteral("An entry whose save was cut short could not be put back: ") + r.error;
    }
    known_ = identity();
    return true;
}

bool DiaryFile::read(int number, DiaryRecord& into)
{
    if (!readBytes(number, into.bytes.data()))
        return false;
    known_ = identity();
    return true;
}

bool DiaryFile::write(int number, const DiaryRecord& from)
{
    io::FileLock lock(fileName() + QStringLiteral("-lock"));
    QString why;
    switch (lock.lock(kLockWaitMs, &why)) {
    case io::FileLock::Result::Locked:
        break;
    case io::FileLock::Result::Busy:
        failWith(QStringLiteral("Another program is saving the diaries; try again when it is done."));
        return false;
    case io::FileLock::Result::CannotMake:
        failWith(QStringLiteral("The diaries' lock file %1 could not be opened (%2), so nothing was saved.")
                     .arg(QFileInfo(fileName()).fileName() + QStringLiteral("-lock"), why));
        return false;
    }
    const io::Identity now = identity();
    if (known_.valid() && now != known_) {
        known_ = now;
        failWith(QStringLiteral("The diaries were changed by another program since they were read; nothing was written."));
        return false;
    }
    const bool saved = writeLocked(number, from);
    known_ = identity();
    return saved;
}

bool DiaryFile::writeLocked(int number, const DiaryRecord& from)
{
    Journal journal(*this);
    QString why;
    if (!journal.begin(number, number, &why)) {
        failWith(why);
        return false;
    }
    if (!writeBytes(number, from.bytes.data())) {
        const QString cause = errorString();
        journal.rollback(&why);
        failWith(cause);
        return false;
    }
    if (!journal.commit(&why)) {
        failWith(why);
        return false;
    }
    return true;
}

} // namespace pb
