// z8p-phonebook-tool: the book in the current folder from the command line,
// for scripts and backups.
//   z8p-phonebook-tool import FILE.vcf|FILE.csv [--skip-duplicates] [--dry-run]
//   z8p-phonebook-tool export FILE.vcf|FILE.csv [--vcard4]
//   z8p-phonebook-tool check
//   z8p-phonebook-tool repair
//   z8p-phonebook-tool sync [--dry-run] [--first ...] [--prefer ...] ...
//   z8p-phonebook-tool sync-status
#include "app/ToolSync.h"
#include "records/AppendRecords.h"
#include "records/BookCheck.h"
#include "records/BookRepair.h"
#include "exchange/Exchange.h"
#include "exchange/Import.h"
#include "exchange/ExportJob.h"
#include "exchange/ImportJob.h"
#include "platform/Codepage.h"
#include "platform/SettingsStore.h"
#include "platform/SystemKeyring.h"
#include "platform/Version.h"
#include "records/FileIo.h"
#include "records/Phonebook.h"
#include "app/ToolText.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <cstdio>

namespace {

using pb::tool::fail;
using pb::tool::forTerminal;
using pb::tool::print;

const char* const kUsage =
    "usage: z8p-phonebook-tool import FILE.vcf|FILE.csv [--skip-duplicates] [--dry-run] [--new]\n"
    "       z8p-phonebook-tool export FILE.vcf|FILE.csv [--vcard4]\n"
    "       z8p-phonebook-tool check\n"
    "       z8p-phonebook-tool repair\n"
    "       z8p-phonebook-tool sync [--dry-run] [--first merge|book|server] [--prefer here|there]\n"
    "                               [--allow-mass-delete] [--password-file FILE]\n"
    "       z8p-phonebook-tool sync --account URL [--user NAME] [--password-file FILE] [--remember]\n"
    "                               [--trust-fingerprint SHA256]\n"
    "       z8p-phonebook-tool sync-status\n"
    "       z8p-phonebook-tool --help | --version\n";

int usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

int help()
{
    std::fputs("z8p-phonebook-tool: the z8P Phonebook book (DravikBase.z8B) from the command line.\n\n", stdout);
    std::fputs(kUsage, stdout);
    std::fputs("\n"
               "The book is the one in the current folder; without one there, the one in the\n"
               "folder the desktop menu's phonebook uses ($XDG_DATA_HOME/z8p-phonebook, else\n"
               "~/.local/share/z8p-phonebook). import --new starts a book in the current folder.\n\n"
               "  import   report what a vCard or CSV file holds, then add its contacts\n"
               "           --dry-run: the report only; --skip-duplicates: leave out likely duplicates\n"
               "  export   write the book's records as vCard 3.0 (4.0 with --vcard4) or CSV\n"
               "  check    report holes, a last record cut short, undefined bytes (exit 1 when any)\n"
               "  repair   write a backup copy, then close the holes keeping the records' order\n"
               "  sync     keep the book in step with a CardDAV address book, both ways\n"
               "           --account URL --user NAME: set the book's account (once); --remember keeps the\n"
               "           password in the desktop's keyring. The password comes from --password-file\n"
               "           (mode 0600), else the keyring, else standard input; never from the settings.\n"
               "           --trust-fingerprint: a server with its own (self-signed) certificate, trusted\n"
               "           only with the SHA-256 fingerprint its administrator confirms\n"
               "           --first: how a first sync joins two full sides; --prefer: who wins a field\n"
               "           changed on both sides (else both are kept and the conflict reported)\n"
               "           --allow-mass-delete: let a sync delete more than half of the linked contacts\n"
               "           --dry-run: say what a sync would do, change nothing\n"
               "  sync-status  the book's account and its last sync\n\n"
               "Exit status: 0 done, 1 nothing done or something wrong (said on standard error), 2 usage\n"
               "(for sync: refused until a choice, a repair or --allow-mass-delete), 3 synced with conflicts.\n"
               "See z8p-phonebook-tool(1).\n",
               stdout);
    return 0;
}

// The folder the desktop menu's phonebook keeps its book in.
QString menuFolder()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::home().filePath(QStringLiteral(".local/share"));
    return QDir(data).filePath(QStringLiteral("z8p-phonebook"));
}

// The book opened as the program opens it: for a command that changes it,
// an unfinished change is undone first; a command that only reads never
// plays back a journal, and refuses to read a book one is waiting for.
bool openBook(pb::Phonebook& book, bool mayChange = true)
{
    if (!book.openPhonebookFile(mayChange)) {
        fail(QString::fromLatin1(pb::kPhonebookFileName), book.phonebookError());
        return false;
    }
    const QString notice = book.takeNotice();
    if (book.journalPending()) {
        fail(QString::fromLatin1(pb::kPhonebookFileName),
             !notice.isEmpty() ? notice
                               : QStringLiteral("a change left unfinished earlier waits to be undone; open the book in "
                                                "z8P Phonebook (or run import or repair) first"));
        return false;
    }
    if (!notice.isEmpty())
        std::fprintf(stderr, "z8p-phonebook-tool: %s\n", forTerminal(notice).constData());
    if (book.recoveredOnOpen())
        print(QStringLiteral("A change left unfinished earlier was undone."));
    return true;
}

// Why a change did not happen, told as it is: a failed undo leaves the book
// changed until the next opening plays the journal back.
QString notDone(pb::Phonebook& book, const QString& what, const QString& why)
{
    const QString undo = book.takeUndoFailure();
    if (!undo.isEmpty())
        return what + QStringLiteral(", and the book could not be put back as it was (") + undo +
               QStringLiteral("); it is put back when it is next opened: ") + why;
    return what + QStringLiteral(", the book is as it was: ") + why;
}

// What the book could not hold goes to a vCard file beside it.
int keepLeftOut(const QByteArray& cards, const pb::exchange::ImportPlan& plan, const QString& source)
{
    if (cards.isEmpty())
        return 0;
    const QString name = pb::exchange::leftOutFileName(source);
    QString why;
    if (!pb::io::writeWholeFile(name, cards, &why))
        return fail(name, QStringLiteral("what the book could not hold was not written: ") + why);
    print(QStringLiteral("What the book could not hold of %1 is kept in %2.")
              .arg(plan.incompleteContacts().size() == 1 ? QStringLiteral("1 contact")
                                                          : QStringLiteral("%1 contacts").arg(plan.incompleteContacts().size()),
                   name));
    return 0;
}

int importFile(pb::Phonebook& book, const QString& source, bool skipDuplicates, bool dryRun)
{
    QFile in(source);
    if (QFileInfo(source).exists() && !QFileInfo(source).isFile())
        return fail(source, QStringLiteral("not a regular file"));
    if (!in.open(QIODevice::ReadOnly))
        return fail(source, in.errorString());
    using pb::exchange::ImportJob;
    ImportJob::Questions ask;
    ask.confirm = [&](const pb::exchange::ImportPlan& plan, int attempt) {
        if (attempt == 1 || !dryRun) {
            print(pb::exchange::summary(plan, source, skipDuplicates));
            print(pb::exchange::details(plan));
        }
        if (dryRun)
            return ImportJob::Answer::Cancel;
        return skipDuplicates ? ImportJob::Answer::SkipDuplicates : ImportJob::Answer::AddAll;
    };
    ask.tell = [](const QString& message) { print(message); };
    // A new book is made only when there is something to put in it.
    ask.openBook = [&] { return openBook(book); };
    const ImportJob::Result r = ImportJob(book, in).run(ask);
    switch (r.outcome) {
    case ImportJob::Outcome::Added: {
        const int total = r.plan.bookCount + r.added;
        print(QStringLiteral("%1 added; the book holds %2.")
                  .arg(r.added == 1 ? QStringLiteral("1 contact") : QStringLiteral("%1 contacts").arg(r.added))
                  .arg(total == 1 ? QStringLiteral("1 record") : QStringLiteral("%1 records").arg(total)));
        return keepLeftOut(r.leftOut, r.plan, source);
    }
    case ImportJob::Outcome::NothingToAdd:
        // Every contact a likely duplicate: the book stays as it is. No
        // contact at all: said in the summary.
        return r.plan.contacts.isEmpty() ? 1 : 0;
    case ImportJob::Outcome::Blocked:
        return 1;
    case ImportJob::Outcome::Cancelled:
        return dryRun ? 0 : 1;
    case ImportJob::Outcome::BookUnreadable:
        return fail(QString::fromLatin1(pb::kPhonebookFileName), r.error);
    case ImportJob::Outcome::FileUnreadable:
        return fail(source, r.error);
    case ImportJob::Outcome::NotAdded:
        break;
    }
    return fail(QString::fromLatin1(pb::kPhonebookFileName), notDone(book, QStringLiteral("nothing was imported"), r.error));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Options anywhere on the line; a file whose name begins with '-' comes
    // after "--".
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringLiteral("version"));
    const QCommandLineOption newOption(QStringLiteral("new"));
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"));
    const QCommandLineOption skipOption(QStringLiteral("skip-duplicates"));
    const QCommandLineOption vcard4Option(QStringLiteral("vcard4"));
    const QCommandLineOption firstOption(QStringLiteral("first"), QString(), QStringLiteral("how"));
    const QCommandLineOption preferOption(QStringLiteral("prefer"), QString(), QStringLiteral("side"));
    const QCommandLineOption massDeleteOption(QStringLiteral("allow-mass-delete"));
    const QCommandLineOption passwordFileOption(QStringLiteral("password-file"), QString(), QStringLiteral("file"));
    const QCommandLineOption accountOption(QStringLiteral("account"), QString(), QStringLiteral("url"));
    const QCommandLineOption userOption(QStringLiteral("user"), QString(), QStringLiteral("name"));
    const QCommandLineOption rememberOption(QStringLiteral("remember"));
    const QCommandLineOption trustOption(QStringLiteral("trust-fingerprint"), QString(), QStringLiteral("sha256"));
    parser.addOptions({helpOption, versionOption, newOption, dryRunOption, skipOption, vcard4Option, firstOption, preferOption,
                       massDeleteOption, passwordFileOption, accountOption, userOption, rememberOption,
                       trustOption});
    if (!parser.parse(app.arguments())) {
        std::fprintf(stderr, "z8p-phonebook-tool: %s\n", forTerminal(parser.errorText()).constData());
        return usage();
    }
    if (parser.isSet(helpOption))
        return help();
    if (parser.isSet(versionOption)) {
        std::printf("z8p-phonebook-tool %s\n", pb::kVersion);
        return 0;
    }
    QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    // Each option belongs to its command.
    const bool isImport = command == QLatin1String("import"), isExport = command == QLatin1String("export");
    const bool isSync = command == QLatin1String("sync");
    const bool syncOptions = parser.isSet(firstOption) || parser.isSet(preferOption) || parser.isSet(massDeleteOption) ||
                             parser.isSet(passwordFileOption) || parser.isSet(accountOption) || parser.isSet(userOption) ||
                             parser.isSet(rememberOption) || parser.isSet(trustOption);
    if ((!isImport && !isSync && parser.isSet(dryRunOption)) || (!isImport && parser.isSet(skipOption)) ||
        (!isExport && parser.isSet(vcard4Option)) || (!isSync && syncOptions))
        return usage();
    if (isSync && (!QStringList{QString(), QStringLiteral("merge"), QStringLiteral("book"), QStringLiteral("server")}.contains(
                       parser.value(firstOption)) ||
                   !QStringList{QString(), QStringLiteral("here"), QStringLiteral("there")}.contains(parser.value(preferOption)) ||
                   ((parser.isSet(userOption) || parser.isSet(rememberOption) || parser.isSet(trustOption)) &&
                    !parser.isSet(accountOption))))
        return usage();
    const bool startNew = parser.isSet(newOption);

    // The book in the current folder, else the menu's; never a new book by
    // accident.
    const QString here = QString::fromLatin1(pb::kPhonebookFileName);
    if (!QFileInfo::exists(here) && !QFileInfo(here).isSymLink() && !startNew) {
        const QString menu = menuFolder();
        if (QFileInfo::exists(QDir(menu).filePath(here))) {
            // The user's own file names stay relative to where the user is.
            for (QString& arg : args)
                arg = QDir::current().absoluteFilePath(arg);
            QDir::setCurrent(menu);
            std::fprintf(stderr, "z8p-phonebook-tool: no book in this folder; using the book in %s\n",
                         forTerminal(QDir::toNativeSeparators(menu)).constData());
        } else if (command == QLatin1String("import") || command == QLatin1String("export") ||
                   command == QLatin1String("check") || command == QLatin1String("repair") ||
                   (isSync && !startNew) || command == QLatin1String("sync-status")) {
            if (!(isImport && parser.isSet(dryRunOption)))
                return fail(here, QStringLiteral("there is no book in this folder nor in %1; run the command where the "
                                                 "book is%2")
                                      .arg(QDir::toNativeSeparators(menu),
                                           command == QLatin1String("import")
                                               ? QStringLiteral(", or add --new to start a book here")
                                               : QString()));
        }
    }

    // The files' code page, as the program chooses it.
    pb::SettingsStore settings;
    pb::codepage::setCurrent(pb::chooseCodePage(settings));

    const QString bookName = QString::fromLatin1(pb::kPhonebookFileName);
    pb::Phonebook book;
    if (command == QLatin1String("import")) {
        const bool skip = parser.isSet(skipOption), dryRun = parser.isSet(dryRunOption);
        if (args.size() != 1)
            return usage();
        // A book not there yet is made only when contacts are added to it:
        // a dry run, or a file with nothing to import, leaves no empty book.
        if (!QFile::exists(bookName) && !QFileInfo(bookName).isSymLink())
            return importFile(book, args[0], skip, dryRun);
        return openBook(book) ? importFile(book, args[0], skip, dryRun) : 1;
    }
    if (isSync && args.isEmpty()) {
        if (!openBook(book))
            return 1;
        pb::tool::SyncArgs sync;
        sync.dryRun = parser.isSet(dryRunOption);
        sync.first = parser.value(firstOption);
        sync.prefer = parser.value(preferOption);
        sync.allowMassDelete = parser.isSet(massDeleteOption);
        sync.passwordFile = parser.value(passwordFileOption);
        sync.account = parser.value(accountOption);
        sync.user = parser.value(userOption);
        sync.remember = parser.isSet(rememberOption);
        sync.trustFingerprint = parser.value(trustOption).trimmed();
        pb::SystemKeyring keyring;
        return pb::tool::syncCommand(book, settings, keyring, sync);
    }
    if (command == QLatin1String("repair") && args.isEmpty()) {
        if (!openBook(book))
            return 1;
        pb::RepairResult result;
        QString why;
        if (!pb::repairBook(book, pb::backupName(QDateTime::currentDateTime()), &result, &why))
            return fail(bookName, notDone(book, QStringLiteral("the book was not repaired"), why));
        print(result.changed ? QStringLiteral("Backup written to %1; the book now counts %2 records with no free slot between them.")
                                   .arg(result.backup)
                                   .arg(result.records)
                             : QStringLiteral("Nothing to repair: the book has no free slot between its records."));
        print(pb::describeStrayBytes(result));
        return 0;
    }

    // Reading only: a book that is not there is an empty one.
    if (QFile::exists(bookName) && !openBook(book, false))
        return 1;
    if (command == QLatin1String("sync-status") && args.isEmpty())
        return pb::tool::syncStatus(book, settings);
    if (command == QLatin1String("check") && args.isEmpty()) {
        QByteArray bytes;
        if (QString why; book.phonebookOpen() && !pb::readBook(book, &bytes, &why))
            return fail(bookName, why);
        const pb::BookCheck check = pb::checkOpenBook(book, bytes);
        print(pb::describe(check));
        return check.clean() ? 0 : 1;
    }
    if (isExport && args.size() == 1) {
        const QString target = args[0];
        pb::exchange::ExportFormat format = pb::exchange::exportFormatFor(target);
        if (format == pb::exchange::ExportFormat::VCard30 && parser.isSet(vcard4Option))
            format = pb::exchange::ExportFormat::VCard40;
        const pb::exchange::ExportResult r = pb::exchange::exportBook(book, target, format);
        if (!r.ok)
            return fail(target, r.error);
        print((r.written == 1 ? QStringLiteral("1 contact") : QStringLiteral("%1 contacts").arg(r.written)) +
              QStringLiteral(" written to ") + target);
        return 0;
    }
    return usage();
}
