#include "exchange/ExportJob.h"

#include "records/BookCheck.h"
#include "records/FileIo.h"
#include "records/Phonebook.h"

namespace pb::exchange {

ExportFormat exportFormatFor(const QString& fileName)
{
    return fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? ExportFormat::Csv : ExportFormat::VCard30;
}

ExportResult exportBook(Phonebook& book, const QString& target, ExportFormat format)
{
    ExportResult r;
    QByteArray bytes;
    if (book.phonebookOpen() && !readBook(book, &bytes, &r.error))
        return r;
    const Extent extent = extentOf(bytes);
    // A backup that leaves records out without a word is no backup.
    if (extent.hidden > 0) {
        r.error = QStringLiteral("nothing was written: the book holds %1 after its free slot at record %2, which an "
                                 "export would leave out; repair the book first (the repair keeps a backup copy), then export")
                      .arg(extent.hidden == 1 ? QStringLiteral("1 record") : QStringLiteral("%1 records").arg(extent.hidden))
                      .arg(extent.count + 1);
        return r;
    }
    const QByteArray out = format == ExportFormat::Csv ? exportCsv(bytes, extent.count)
                                                       : exportVCard(bytes, extent.count,
                                                                     format == ExportFormat::VCard40 ? VCardVersion::V40
                                                                                                     : VCardVersion::V30);
    if (!io::writeWholeFile(target, out, &r.error))
        return r;
    r.ok = true;
    r.written = extent.count;
    return r;
}

} // namespace pb::exchange
