#include "app/ToolSync.h"

#include "app/ToolText.h"
#include "platform/Keyring.h"
#include "platform/NetworkHttp.h"
#include "platform/SettingsStore.h"
#include "records/BookCheck.h"
#include "records/FileIo.h"
#include "records/Phonebook.h"
#include "sync/CardDav.h"
#include "sync/SyncAccount.h"
#include "sync/SyncJob.h"
#include "sync/SyncState.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <termios.h>
#include <unistd.h>
#endif

namespace pb::tool {

namespace {

constexpr int kRefused = 2;

// The password: from a file only the user can read, else the keyring's,
// else from standard input (asked for, without echo, on a terminal). False,
// with why, when a password file may be read by others.
bool readPassword(const QString& file, Keyring* keyring, const sync::SyncAccount& account, QString* password, QString* why)
{
    const QString& user = account.user;
    const QString& where = account.addressBook;
    if (!file.isEmpty()) {
        QFile f(file);
        const QFileInfo info(file);
        if (info.isSymLink() || !info.isFile() ||
            (info.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther))) {
            *why = QStringLiteral("%1 must be a file only its owner can read (mode 0600)").arg(file);
            return false;
        }
        if (!io::openRegular(f, QIODevice::ReadOnly, why))
            return false;
        *password = QString::fromUtf8(f.readLine()).trimmed();
        return true;
    }
    if (user.isEmpty())
        return true;
    if (keyring) {
        QString keyringWhy;
        if (keyring->read(sync::passwordName(account), password, &keyringWhy) == Keyring::Answer::Done)
            return true;
        if (!keyringWhy.isEmpty())
            std::fprintf(stderr, "z8p-phonebook-tool: no password from the keyring: %s\n", forTerminal(keyringWhy).constData());
    }
#ifdef Q_OS_UNIX
    if (isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "Password for %s at %s: ", forTerminal(user).constData(), forTerminal(where).constData());
        termios old;
        tcgetattr(STDIN_FILENO, &old);
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        QTextStream in(stdin);
        *password = in.readLine();
        tcsetattr(STDIN_FILENO, TCSANOW, &old);
        std::fputs("\n", stderr);
        return true;
    }
#endif
    QTextStream in(stdin);
    *password = in.readLine();
    return true;
}

int setAccount(Phonebook& book, SettingsStore& settings, Keyring& keyring, const SyncArgs& args, NetworkHttp& http,
               const QString& password)
{
    QString error;
    const QList<sync::AddressBookInfo> books = sync::CardDav::discover(http, QUrl(args.account), &error);
    if (books.isEmpty()) {
        if (http.refusedFingerprint().isEmpty())
            return fail(args.account, error);
        fail(args.account, error);
        std::fprintf(stderr, "If that is your server's own certificate (its administrator can tell), trust it with:\n"
                             "  z8p-phonebook-tool sync --account %s --user %s --trust-fingerprint %s\n",
                     forTerminal(args.account).constData(), forTerminal(args.user).constData(),
                     forTerminal(http.refusedFingerprint()).constData());
        return kRefused;
    }
    if (books.size() > 1) {
        std::fputs("The server holds several address books; set the account again with the address of one of them:\n", stderr);
        for (const sync::AddressBookInfo& b : books)
            std::fprintf(stderr, "  %s  %s\n", forTerminal(b.name).constData(), forTerminal(b.url.toString()).constData());
        return kRefused;
    }
    sync::SyncAccount account = sync::loadAccount(settings, book.phonebookFile().fileName());
    account.addressBook = books[0].url.toString();
    account.user = args.user;
    account.fingerprint = http.fingerprint();
    sync::saveAccount(settings, book.phonebookFile().fileName(), account);
    print(QStringLiteral("This book now syncs with the address book \"%1\" at %2. Run the sync command to sync it.")
              .arg(books[0].name, books[0].url.toString()));
    if (args.remember && !account.user.isEmpty()) {
        QString why;
        if (keyring.write(sync::passwordName(account), password, &why) != Keyring::Answer::Done)
            return fail(QStringLiteral("sync"), why + QStringLiteral("; the password is asked for at each sync"));
        print(QStringLiteral("The password is kept in the desktop's keyring."));
    }
    return 0;
}

} // namespace

int syncCommand(Phonebook& book, SettingsStore& settings, Keyring& keyring, const SyncArgs& args)
{
    const QString bookPath = book.phonebookFile().fileName();
    sync::SyncAccount account = sync::loadAccount(settings, bookPath);
    if (!args.account.isEmpty()) {
        account.addressBook = args.account;
        account.user = args.user;
        account.fingerprint.clear();
    }
    if (!account.isSet())
        return fail(QStringLiteral("sync"), QStringLiteral("this book has no account yet: run sync --account URL --user NAME first"));
    QString password, why;
    // Setting the account, the password is the one typed, not one kept.
    if (!readPassword(args.passwordFile, args.account.isEmpty() ? &keyring : nullptr, account, &password, &why)) {
        fail(QStringLiteral("sync"), why);
        return kRefused;
    }
    NetworkHttp http;
    http.setCredentials(account.user, password);
    http.trust(args.account.isEmpty() ? account.fingerprint : args.trustFingerprint);
    http.setTimeout(account.timeoutSeconds);
    if (!args.account.isEmpty())
        return setAccount(book, settings, keyring, args, http, password);

    sync::SyncOptions options;
    options.dryRun = args.dryRun;
    options.allowMassDelete = args.allowMassDelete;
    options.first = args.first == QLatin1String("merge")    ? sync::SyncOptions::First::Merge
                    : args.first == QLatin1String("book")   ? sync::SyncOptions::First::Book
                    : args.first == QLatin1String("server") ? sync::SyncOptions::First::Server
                                                            : sync::SyncOptions::First::Ask;
    options.prefer = args.prefer == QLatin1String("here")    ? sync::SyncOptions::Prefer::Here
                     : args.prefer == QLatin1String("there") ? sync::SyncOptions::Prefer::There
                                                             : sync::SyncOptions::Prefer::None;
    sync::CardDav dav(http, QUrl(account.addressBook));
    const sync::SyncReport r = sync::SyncJob(book, dav, account.addressBook, options).run();
    for (const QString& line : r.details)
        print(line);
    if (!r.backup.isEmpty())
        print(QStringLiteral("A copy of the book as it was is in %1.").arg(r.backup));
    switch (r.outcome) {
    case sync::SyncReport::Outcome::Refused:
        fail(QStringLiteral("sync"), r.error);
        if (r.needs == sync::SyncReport::Needs::FirstChoice)
            print(QStringLiteral("Run the sync again with --first merge, --first book or --first server."));
        else if (r.needs == sync::SyncReport::Needs::MassDelete)
            print(QStringLiteral("Run the sync again with --allow-mass-delete to delete them."));
        else if (r.needs == sync::SyncReport::Needs::Repair)
            print(QStringLiteral("Run repair first."));
        return kRefused;
    case sync::SyncReport::Outcome::Failed:
        print(QStringLiteral("Not synced: %1").arg(r.summary()));
        if (dav.lastStatus() == 401)
            print(QStringLiteral("To change the password kept for it: sync --account %1 --user %2 --remember")
                      .arg(account.addressBook, account.user));
        return fail(QStringLiteral("sync"), r.error);
    case sync::SyncReport::Outcome::Conflicts:
        print(QStringLiteral("Synced with conflicts: %1. Choose with --prefer here or --prefer there.").arg(r.summary()));
        return 3;
    case sync::SyncReport::Outcome::Done:
        break;
    }
    print((args.dryRun ? QStringLiteral("Would sync: ") : QStringLiteral("Synced: ")) + r.summary());
    return 0;
}

int syncStatus(Phonebook& book, const SettingsStore& settings)
{
    const QString bookPath = book.phonebookFile().fileName();
    const sync::SyncAccount account = sync::loadAccount(settings, bookPath);
    if (!account.isSet()) {
        print(QStringLiteral("This book has no sync account."));
        return 0;
    }
    print(QStringLiteral("Account: %1%2").arg(account.addressBook,
                                              account.user.isEmpty() ? QString() : QStringLiteral(" (user %1)").arg(account.user)));
    QByteArray bytes;
    QString why;
    if (book.phonebookOpen() && !readBook(book, &bytes, &why))
        return fail(bookPath, why);
    sync::SyncState state;
    if (!sync::loadState(bookPath, bytes, &state, &why, false))
        return fail(bookPath, why);
    if (state.addressBook != account.addressBook || state.lastSync.isEmpty())
        print(QStringLiteral("Not synced yet."));
    else
        print(sync::describeLastSync(state));
    return 0;
}

} // namespace pb::tool
