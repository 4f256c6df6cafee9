#include "diaries/DiaryRecord.h"

#include "records/Journal.h"

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

bool DiaryFile::openDiaries(const QString& path, QString* notice)
{
    if (!open(path))
        return false;
    const Journal::Recovery r = Journal::recover(*this);
    *notice = r.notice;
    if (!r.ok && notice->isEmpty())
        *notice = QStringLiteral("An entry whose save was cut short could not be put back: ") + r.error;
    return true;
}

bool DiaryFile::write(int number, const DiaryRecord& from)
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
