#include "records/RecordFile.h"

#include "records/FileIo.h"
#include "records/RecordNumber.h"
#include "platform/BigBuffer.h"

#include <QFileInfo>

#include <algorithm>
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
    staged_.reset();
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

bool RecordFile::readFile(qint64 at, char* into, qint64 n)
{
    const qint64 got = io::readAt(file_, at, into, n, &error_);
    if (got < 0)
        return false;
    std::memset(into + got, 0, static_cast<std::size_t>(n - got));
    return true;
}

bool RecordFile::readAt(qint64 at, char* into, qint64 n)
{
    if (!staged_)
        return readFile(at, into, n);
    // Before the staged bytes and after them the file's own (up to the
    // staged length); the staged ones from memory; nothing past the length.
    const Staging& s = *staged_;
    const qint64 end = at + n;
    const qint64 visible = std::min(end, s.length);
    const qint64 imageEnd = s.from + s.extent;
    std::memset(into, 0, static_cast<std::size_t>(n));
    if (const qint64 to = std::min(visible, s.from); to > at && !readFile(at, into, to - at))
        return false;
    if (const qint64 a = std::max(at, s.from), b = std::min(visible, imageEnd); b > a)
        s.copy(a - s.from, b - a, into + (a - at));
    if (const qint64 a = std::max(at, imageEnd); visible > a && !readFile(a, into + (a - at), visible - a))
        return false;
    return true;
}

bool RecordFile::readBytes(int number, char* into)
{
    if (!checkAccess(number))
        return false;
    char* buf = scratch_.data();
    if (!readAt(offsetOf(number), buf, static_cast<qint64>(size_)))
        return false;
    std::memcpy(into, buf, size_);
    return true;
}

bool RecordFile::writeBytes(int number, const char* from)
{
    if (!checkAccess(number))
        return false;
    const qint64 at = offsetOf(number);
    if (staged_)
        return writeStagedAt(at, from, static_cast<qint64>(size_));
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
    return readAt(offsetOf(first), into, static_cast<qint64>(count) * static_cast<qint64>(size_));
}

bool RecordFile::writeRange(int first, int count, const char* from)
{
    if (!checkAccess(first, count))
        return false;
    const qint64 bytes = static_cast<qint64>(count) * static_cast<qint64>(size_);
    if (staged_)
        return writeStagedAt(offsetOf(first), from, bytes);
    return io::writeAt(file_, offsetOf(first), from, bytes, &error_);
}

void RecordFile::stage(qint64 from, qint64 limit, const char* before, qint64 n)
{
    Staging s;
    s.from = from;
    s.limit = limit;
    s.length = file_.size();
    // Room for every byte the change may write; memory is taken as it is
    // written (a change whose bytes are made never takes it).
    s.image = QByteArray(static_cast<qsizetype>(limit - from), Qt::Uninitialized);
    memory::preferHugePages(s.image.constData(), static_cast<std::size_t>(s.image.size()));
    std::memcpy(s.image.data(), before, static_cast<std::size_t>(n));
    s.extent = n;
    staged_ = std::move(s);
}

bool RecordFile::stageMade(qint64 n, std::function<void(qint64 at, qint64 n, char* out)> make)
{
    if (!staged_ || staged_->make || n > staged_->limit - staged_->from) {
        error_ = QStringLiteral("The change touches records it did not reserve.");
        return false;
    }
    Staging& s = *staged_;
    s.image = QByteArray();
    s.make = std::move(make);
    s.extent = n;
    s.length = std::max(s.length, s.from + n);
    return true;
}

void RecordFile::Staging::copy(qint64 at, qint64 n, char* out) const
{
    if (make)
        make(at, n, out);
    else
        std::memcpy(out, image.constData() + at, static_cast<std::size_t>(n));
}

bool RecordFile::writeStagedAt(qint64 at, const char* from, qint64 n)
{
    Staging& s = *staged_;
    if (at < s.from || at + n > s.limit || s.make) {
        error_ = QStringLiteral("The change touches records it did not reserve.");
        return false;
    }
    // Bytes between the staged ones and a write past them are past the
    // file's length (the image reaches the length or the limit): zeros.
    char* image = s.image.data();
    if (at - s.from > s.extent)
        std::memset(image + s.extent, 0, static_cast<std::size_t>(at - s.from - s.extent));
    std::memcpy(image + (at - s.from), from, static_cast<std::size_t>(n));
    s.extent = std::max(s.extent, at + n - s.from);
    s.length = std::max(s.length, at + n);
    return true;
}

bool RecordFile::moveRange(int from, int to, int count)
{
    if (!checkAccess(to, count))
        return false;
    if (!staged_) {
        error_ = QStringLiteral("Records are moved only within a change.");
        return false;
    }
    const qint64 size = static_cast<qint64>(size_);
    const qint64 bytes = count * size;
    const qint64 source = offsetOf(from);
    Staging& s = *staged_;
    // What lies past the staged bytes is read first (the file's, or zeros),
    // then the staged part moves within memory and the rest follows it.
    const qint64 inside = std::clamp(s.from + s.extent - source, qint64{0}, bytes);
    const qint64 readable = std::clamp(static_cast<qint64>(kMaxRecord) * size - (source + inside), qint64{0}, bytes - inside);
    std::vector<char> outside(static_cast<std::size_t>(bytes - inside), '\0');
    if (readable > 0 && !readAt(source + inside, outside.data(), readable))
        return false;
    const qint64 target = offsetOf(to);
    if (target < s.from || target + bytes > s.limit || source < s.from || s.make) {
        error_ = QStringLiteral("The change touches records it did not reserve.");
        return false;
    }
    char* image = s.image.data();
    if (target + bytes - s.from > s.extent) {
        std::memset(image + s.extent, 0, static_cast<std::size_t>(target + bytes - s.from - s.extent));
        s.extent = target + bytes - s.from;
    }
    std::memmove(image + (target - s.from), image + (source - s.from), static_cast<std::size_t>(inside));
    if (!outside.empty())
        std::memcpy(image + (target - s.from) + inside, outside.data(), outside.size());
    s.length = std::max(s.length, target + bytes);
    return true;
}

bool RecordFile::truncateStaged(qint64 length)
{
    Staging& s = *staged_;
    if (length == s.length)
        return true;
    if (length < s.from || length > s.limit || s.make) {
        error_ = QStringLiteral("The change touches records it did not reserve.");
        return false;
    }
    if (length - s.from > s.extent)
        std::memset(s.image.data() + s.extent, 0, static_cast<std::size_t>(length - s.from - s.extent));
    s.extent = length - s.from;
    s.length = length;
    return true;
}

bool RecordFile::writeStaged(const char* before, qint64 n)
{
    if (!staged_)
        return true;
    const Staging s = std::move(*staged_);
    staged_.reset();
    const qint64 size = static_cast<qint64>(size_);
    const qint64 extent = s.extent;
    if (s.make) {
        // Made bytes are written as they are made, a piece at a time.
        constexpr qint64 kPiece = 1 << 20;
        std::vector<char> piece(static_cast<std::size_t>(std::min(kPiece, extent)));
        for (qint64 at = 0; at < extent; at += kPiece) {
            const qint64 n = std::min(kPiece, extent - at);
            s.make(at, n, piece.data());
            if (!io::writeAt(file_, s.from + at, piece.data(), n, &error_))
                return false;
        }
        return file_.size() == s.length || io::truncate(file_, s.length, &error_);
    }
    const char* image = s.bytes();
    // A record is written when the change left it otherwise than it was
    // (or it lies where the file had no bytes): runs of them in one write.
    const auto differs = [&](qint64 at) {
        const qint64 end = std::min(at + size, extent);
        return end > n || std::memcmp(image + at, before + at, static_cast<std::size_t>(end - at)) != 0;
    };
    for (qint64 at = 0; at < extent;) {
        if (!differs(at)) {
            at += size;
            continue;
        }
        qint64 end = at + size;
        while (end < extent && differs(end))
            end += size;
        end = std::min(end, extent);
        if (!io::writeAt(file_, s.from + at, image + at, end - at, &error_))
            return false;
        at = end;
    }
    return file_.size() == s.length || io::truncate(file_, s.length, &error_);
}

bool RecordFile::truncate(qint64 length)
{
    if (!file_.isOpen())
        return checkAccess(1);
    if (staged_)
        return truncateStaged(length);
    return io::truncate(file_, length, &error_);
}

bool RecordFile::sync()
{
    if (!file_.isOpen())
        return checkAccess(1);
    return io::sync(file_, &error_);
}

} // namespace pb
