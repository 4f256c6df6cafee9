#include "support/Records.h"

#include "records/FileIo.h"
#include "records/Journal.h"
#include "records/Phonebook.h"

#include <QFile>

#include <csignal>
#include <sys/resource.h>

namespace pb::test {

ContactRecord makeRecord(std::initializer_list<QString> fields)
{
    ContactRecord r;
    std::size_t i = 0;
    for (Field f : kAllFields)
        r.store(f, i < fields.size() ? *(fields.begin() + i++) : QString());
    return r;
}

ContactRecord named(const QString& first)
{
    return makeRecord({first});
}

QStringList shownText(const ContactRecord& r)
{
    QStringList out;
    for (Field f : kAllFields)
        out.append(FieldText(r, f));
    return out;
}

QByteArray bytesOf(const QList<ContactRecord>& records)
{
    QByteArray out;
    for (const ContactRecord& r : records)
        out += bytesOf(r);
    return out;
}

QByteArray bytesOfNames(const QStringList& names)
{
    QByteArray out;
    for (const QString& n : names)
        out += bytesOf(named(n));
    return out;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray dieWhileWriting(Phonebook& book, int first, int last, const std::function<bool()>& writes, qint64 bookBytes)
{
    Phonebook::Change change(book, first, last);
    if (!change.ok() || !writes())
        return {};
    // The journal's creation, write, flush and the folder's flush go
    // through; of the book's first write `bookBytes`; then the disk is gone.
    io::setFaultPlanForTesting({[bookBytes](int op, qint64) -> qint64 { return op < 4 ? -1 : op == 4 ? bookBytes : 0; },
                                {}});
    change.commit();
    io::setFaultPlanForTesting({});
    return readAll(Journal::pathFor(book.phonebookFile().fileName()));
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    previous_ = r.rlim_cur;
    r.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &r);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    r.rlim_cur = static_cast<rlim_t>(previous_);
    setrlimit(RLIMIT_FSIZE, &r);
}

} // namespace pb::test
