// Contacts in and out of the book (vCard and CSV), and the book's check and
// repair.
#include "records/AppendRecords.h"
#include "records/BookCheck.h"
#include "records/BookRepair.h"
#include "mainwindow/Data.h"

#include "exchange/Exchange.h"
#include "exchange/Import.h"
#include "exchange/ExportJob.h"
#include "exchange/ImportJob.h"
#include "platform/Busy.h"
#include "platform/Dialogs.h"
#include "platform/MessageBoxes.h"
#include "records/FileIo.h"
#include "records/RecordNumber.h"
#include "shell/AppContext.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>

#include <optional>

namespace pb {

namespace {

const QString kImportTitle = QStringLiteral("Import Contacts");
const QString kExportTitle = QStringLiteral("Export Contacts");
const QString kCheckTitle = QStringLiteral("Check the Book");

} // namespace

void Data::showAfterBookChange(int count, int show)
{
    setRecordCount(count);
    txtRecord_Change();   // the title shows the new count at once
    if (count > 0)
        mnuNew->setEnabled(true);
    if (ctx_.book.ReadRecord(show)) {
        ToDisplay();
        setRecordBox(show);
    }
}

// The plan of an import put to the user: the report, and what to add.
exchange::ImportJob::Answer Data::confirmImport(const exchange::ImportPlan& plan, const QString& file,
                                                std::optional<Progress>* progress, std::optional<BusyCursor>* busy)
{
    using Answer = exchange::ImportJob::Answer;
    progress->reset();
    busy->reset();
    const QString summary = exchange::summary(plan, file);
    const QString details = exchange::details(plan);
    if (!plan.blocked.isEmpty() || plan.contacts.isEmpty()) {
        ctx_.boxes.showDetails(this, summary, details, kImportTitle, MsgButtons::Ok,
                               plan.blocked.isEmpty() ? MsgIcon::Information : MsgIcon::Exclamation);
        return Answer::Cancel;
    }
    Answer answer = Answer::AddAll;
    if (const int d = plan.duplicateCount()) {
        const MsgAnswer a = ctx_.boxes.showDetails(
            this,
            summary + QStringLiteral("\n\nYes adds them all. No leaves out the %1 likely duplicates. Cancel adds nothing.").arg(d),
            details, kImportTitle, MsgButtons::YesNoCancel, MsgIcon::Question);
        if (a == MsgAnswer::Cancel)
            return Answer::Cancel;
        answer = a == MsgAnswer::No ? Answer::SkipDuplicates : Answer::AddAll;
    } else if (ctx_.boxes.showDetails(this, summary + QStringLiteral("\n\nAdd them to the book?"), details, kImportTitle,
                                      MsgButtons::YesNo, MsgIcon::Question) != MsgAnswer::Yes) {
        return Answer::Cancel;
    }
    busy->emplace();
    return answer;
}

void Data::mnuImport_Click()
{
    const auto file = ctx_.dialogs.openFile(
        this, kImportTitle, QStringLiteral("Contacts (*.vcf *.vcard *.csv);;vCard files (*.vcf *.vcard);;CSV files (*.csv);;All files (*)"));
    if (!file)
        return;
    QFile in(*file);
    // A pipe or a device would never end: only regular files are read.
    if (const QFileInfo info(*file); info.exists() && !info.isFile()) {
        ctx_.boxes.show(this, QStringLiteral("%1 could not be read.\r\nCause: it is not a regular file.").arg(info.fileName()),
                        QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    const auto cannotRead = [&](const QString& why) {
        ctx_.boxes.show(this, QStringLiteral("%1 could not be read.\r\nCause: %2").arg(QFileInfo(*file).fileName(), why),
                        QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Critical);
    };
    if (!in.open(QIODevice::ReadOnly)) {
        cannotRead(in.errorString());
        return;
    }

    // The job reads, plans and adds; the window shows its questions. A
    // large or slow file shows how far reading has come, with Cancel; the
    // cursor is busy while the records are added.
    using exchange::ImportJob;
    std::optional<Progress> progress;
    std::optional<BusyCursor> busy;
    ImportJob::Questions ask;
    ask.progress = [&](qint64 done, qint64 total) {
        if (!progress)
            progress.emplace(this, QStringLiteral("Reading %1...").arg(QFileInfo(*file).fileName()), 1000);
        return progress->advance(static_cast<int>(total > 0 ? done * 1000 / total : 0));
    };
    ask.tell = [&](const QString&) { progress.reset(); };
    ask.confirm = [&](const exchange::ImportPlan& plan, int) { return confirmImport(plan, *file, &progress, &busy); };
    const ImportJob::Result r = ImportJob(ctx_.book, in).run(ask);
    progress.reset();
    busy.reset();
    switch (r.outcome) {
    case ImportJob::Outcome::Added:
        break;
    case ImportJob::Outcome::BookUnreadable:
        ctx_.boxes.show(this, QStringLiteral("The phonebook could not be read.\r\nCause: ") + r.error, QStringLiteral("ERROR!"),
                        MsgButtons::Ok, MsgIcon::Critical);
        return;
    case ImportJob::Outcome::FileUnreadable:
        cannotRead(r.error);
        return;
    case ImportJob::Outcome::NotAdded:
        if (!explainFailedChange())
            ctx_.boxes.show(this, QStringLiteral("Nothing was imported; the book is as it was.\r\nCause: ") + r.error,
                            QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Critical);
        return;
    default:
        return;   // nothing to add, or the user said no: shown already
    }
    const exchange::ImportPlan& plan = r.plan;
    const int added = r.added;
    // The first new record on show, the count up to date: the boxes never
    // keep a slot the import has filled.
    showAfterBookChange(plan.bookCount + added, plan.bookCount + 1);
    reportUndoFailure();

    // What the records could not hold is offered a place of its own.
    const QByteArray& cards = r.leftOut;
    if (cards.isEmpty())
        return;
    const QString name = exchange::leftOutFileName(*file);
    if (ctx_.boxes.show(this,
                        QStringLiteral("The book could not hold all of %1 (see the report). Keep what it could not "
                                       "hold in %2 beside the book?")
                            .arg(plan.incompleteContacts().size() == 1 ? QStringLiteral("1 contact")
                                                                      : QStringLiteral("%1 contacts").arg(plan.incompleteContacts().size()),
                                 name),
                        kImportTitle, MsgButtons::YesNo, MsgIcon::Question) != MsgAnswer::Yes)
        return;
    if (QString unwritten; !io::writeWholeFile(QDir::current().filePath(name), cards, &unwritten))
        ctx_.boxes.show(this, QStringLiteral("%1 could not be written.\r\nCause: %2").arg(name, unwritten),
                        QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Critical);
}

void Data::mnuExport_Click()
{
    const QString csvFilter = QStringLiteral("CSV files (*.csv)");
    QString chosen;
    auto file = ctx_.dialogs.saveFile(this, kExportTitle, QStringLiteral("vCard files (*.vcf);;") + csvFilter,
                                      QStringLiteral("Contacts.vcf"), &chosen);
    if (!file)
        return;
    // The name's ending decides; a name without a known one gets the ending
    // of the filter the user left selected.
    const QString suffix = QFileInfo(*file).suffix().toLower();
    bool csv = suffix == QLatin1String("csv");
    if (!csv && suffix != QLatin1String("vcf") && suffix != QLatin1String("vcard")) {
        csv = chosen == csvFilter;
        *file += csv ? QStringLiteral(".csv") : QStringLiteral(".vcf");
    }

    exchange::ExportResult r;
    {
        const BusyCursor busy;
        r = exchange::exportBook(ctx_.book, *file, csv ? exchange::ExportFormat::Csv : exchange::ExportFormat::VCard30);
    }
    if (!r.ok) {
        ctx_.boxes.show(this, QStringLiteral("The contacts could not be exported.\r\nCause: ") + r.error, QStringLiteral("ERROR!"),
                        MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    ctx_.boxes.show(this,
                    (r.written == 1 ? QStringLiteral("1 contact") : QStringLiteral("%1 contacts").arg(r.written)) +
                        QStringLiteral(" written to %1.").arg(QFileInfo(*file).fileName()),
                    kExportTitle, MsgButtons::Ok, MsgIcon::Information);
}

void Data::mnuCheck_Click()
{
    QByteArray bytes;
    QString why;
    BookCheck check;
    {
        const BusyCursor busy;
        if (readBook(ctx_.book, &bytes, &why))
            check = checkOpenBook(ctx_.book, bytes);
    }
    if (!why.isEmpty()) {
        ctx_.boxes.show(this, QStringLiteral("The phonebook could not be read.\r\nCause: ") + why, QStringLiteral("ERROR!"),
                        MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    const QString report = describe(check);
    const bool holes = !check.freeSlots.isEmpty() || !check.uncounted.isEmpty() || check.strayBytes != 0;
    if (!holes) {
        ctx_.boxes.show(this, report, kCheckTitle, MsgButtons::Ok,
                        check.clean() ? MsgIcon::Information : MsgIcon::Exclamation);
        return;
    }
    if (ctx_.boxes.show(this,
                        report + QStringLiteral("\n\nRepair the book? A backup copy is written first; then the free slots "
                                                "are closed, keeping the records' order."),
                        kCheckTitle, MsgButtons::YesNo, MsgIcon::Question) != MsgAnswer::Yes)
        return;

    const auto shown = currentRecord();
    const auto counted = recordCount();
    RepairResult result;
    bool done;
    {
        const BusyCursor busy;
        done = repairBook(ctx_.book, QDir::current().filePath(backupName(QDateTime::currentDateTime())),
                                    &result, &why);
    }
    if (!done) {
        if (!explainFailedChange())
            ctx_.boxes.show(this,
                            QStringLiteral("The book could not be repaired; it is as it was.\r\nCause: ") + why +
                                (result.backup.isEmpty() ? QString() : QStringLiteral("\r\nThe backup copy is ") + QFileInfo(result.backup).fileName()),
                            QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    // The records the program showed keep their numbers; the new slot moves
    // past the records the repair brought in.
    const bool onNewSlot = !shown || !counted || *shown > *counted;
    showAfterBookChange(result.records, onNewSlot ? result.records + 1 : *shown);
    ctx_.boxes.show(this,
                    QStringLiteral("The book is repaired: it counts %1 records.\r\nThe backup copy is %2.")
                            .arg(result.records)
                            .arg(QFileInfo(result.backup).fileName()) +
                        (result.strayBytes ? QStringLiteral("\r\n") + describeStrayBytes(result) : QString()),
                    kCheckTitle, MsgButtons::Ok, MsgIcon::Information);
}

} // namespace pb
