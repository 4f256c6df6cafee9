// A file of contacts read and its import planned in one go, and what the
// book cannot hold kept beside it.
#include "exchange/Import.h"

#include "platform/Codepage.h"

#include <QFile>
#include <QFileInfo>

namespace pb::exchange {

namespace {

// CSV for a ".csv" name, vCard for ".vcf" or ".vcard", otherwise by what
// the bytes hold.
bool isCsv(const QByteArray& data, const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return true;
    if (suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard"))
        return false;
    QByteArray head = data.left(4096).toUpper();
    head.removeIf([](char c) { return c == '\0'; });   // UTF-16
    return !head.contains("BEGIN:VCARD");
}

// The plan for cards read with some straight into records; `leftOut`
// receives the cards of the contacts the book cannot hold whole (all of
// them read the usual way).
ImportPlan planCards(const QList<Contact>& contacts, const QuickRecords& quick, const ReadReport& read, const QByteArray& book,
                     QByteArray* leftOut)
{
    ImportPlan plan = planImport(contacts, read, book, &quick);
    leftOut->clear();
    for (int n : plan.incompleteContacts()) {
        const int at = n >= 1 && n <= static_cast<int>(quick.record.size()) ? quick.record[static_cast<std::size_t>(n - 1)] : 0;
        if (at < 0)
            *leftOut += contacts[-(at + 1)].source;
    }
    return plan;
}

} // namespace

QList<Contact> readContacts(const QByteArray& data, const QString& fileName, ReadReport* report)
{
    // 8-bit text that declares no character set is the book's own.
    if (report && !report->codePage)
        report->codePage = codepage::current();
    return isCsv(data, fileName) ? readCsv(data, report) : readVCard(data, report);
}

QByteArray leftOutCards(const QList<Contact>& contacts, const ImportPlan& plan)
{
    QByteArray out;
    for (int n : plan.incompleteContacts())
        if (n >= 1 && n <= contacts.size())
            out += contacts[n - 1].source;
    return out;
}

QString leftOutFileName(const QString& source)
{
    return QFileInfo(source).completeBaseName() + QStringLiteral("-left-out.vcf");
}

ImportPlan planFileImport(const QByteArray& data, const QString& fileName, ReadReport* read, const QByteArray& book,
                          QByteArray* leftOut)
{
    if (!read->codePage)
        read->codePage = codepage::current();
    if (const QString why = notText(QByteArrayView(data).first(std::min<qsizetype>(data.size(), 4096))); !why.isEmpty()) {
        ImportPlan refused;
        refused.blocked = why;
        return refused;
    }
    QuickRecords quick;
    const QList<Contact> contacts = isCsv(data, fileName) ? readCsv(data, read, &quick) : readVCard(data, read, &quick);
    return planCards(contacts, quick, *read, book, leftOut);
}

bool planFileImport(QFile& file, ReadReport* read, const QByteArray& book, ImportPlan* plan, QByteArray* leftOut, QString* error)
{
    if (!read->codePage)
        read->codePage = codepage::current();
    if (const QString why = notText(file.peek(4096)); !why.isEmpty()) {
        *plan = {};
        plan->blocked = why;
        return true;
    }
    QuickRecords quick;
    const QList<Contact> contacts = isCsv(file.peek(4096), file.fileName()) ? readCsv(file, read, &quick, error)
                                                                             : readVCard(file, read, &quick, error);
    if (!error->isEmpty())
        return false;
    *plan = planCards(contacts, quick, *read, book, leftOut);
    return true;
}

} // namespace pb::exchange
