// The command-line tool on a book in a temporary folder.
#include "exchange/Exchange.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using namespace pb;
using namespace pb::test;

namespace {

struct Result {
    int status;
    QString out;
    QString err;
};

// The menu's data folder is one of the test's own, never the user's.
Result runTool(const QString& folder, const QStringList& args, const QString& dataHome = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome.isEmpty() ? folder + QStringLiteral("/no-data") : dataHome);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../z8p-phonebook-tool"), args);
    p.waitForFinished(30000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

class TestTool : public QObject
{
    Q_OBJECT
private slots:
    void checkFindsAHoleMadeByHand()
    {
        TestEnv env;
        QList<ContactRecord> book = {named("Ann"), named("Bob"), ContactRecord(), named("Di")};
        ContactRecord full;   // a first name of 20 characters from other software
        for (Field f : kAllFields)
            full.store(f, QString());
        full.store(Field::FirstName, QString(20, u'x'));
        book << full;
        env.writeBook(book);
        QFile f(env.phonebookPath());
        QVERIFY(f.open(QIODevice::Append));
        f.write("abc");   // a record cut short
        f.close();
        const Result r = runTool(QDir::currentPath(), {QStringLiteral("check")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.contains(QStringLiteral("The program counts 2 records.")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("Free slots inside the book: 3.")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("never shown: 4, 5, 6.")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("record 5 FirstName")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("3 bytes")), qPrintable(r.out));

        env.writeBook({named("Ann"), named("Bob")});
        QCOMPARE(runTool(QDir::currentPath(), {QStringLiteral("check")}).status, 0);

        // Fields filled to their width (as an import writes them) are a
        // note, not a fault.
        env.writeBook({named(QString(20, u'y')), named("Bob")});
        const Result wide = runTool(QDir::currentPath(), {QStringLiteral("check")});
        QCOMPARE(wide.status, 0);
        QVERIFY2(wide.out.contains(QStringLiteral("Note (no fault): fields filled to their full width, shown whole: record 1 FirstName")),
                 qPrintable(wide.out));
    }

    // A file longer than the last record a book can have is refused with
    // its reason; no backup is left behind.
    void aBookPastItsLastRecordIsNotRepaired()
    {
        TestEnv env;
        QList<ContactRecord> book;
        for (int i = 0; i < 32768; ++i)
            book << (i == 5 ? ContactRecord() : named(QStringLiteral("N%1").arg(i)));
        env.writeBook(book);
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        const Result r = runTool(QDir::currentPath(), {QStringLiteral("repair")});
        QCOMPARE(r.status, 1);
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);
        QCOMPARE(QDir().entryList({QStringLiteral("*.bak")}).size(), 0);
        // The check tells of the record past the last a book can have.
        const Result c = runTool(QDir::currentPath(), {QStringLiteral("check")});
        QCOMPARE(c.status, 1);
        QVERIFY2(c.out.contains(QStringLiteral("1 record past record 32767")), qPrintable(c.out));
    }

    void exportWritesTheRecordsTheProgramShows()
    {
        TestEnv env;
        env.writeBook({makeRecord({"Ann", "Lee", "555", "ann@x.org"}), named("Bob"), ContactRecord(), named("Hidden")});
        const QString csv = env.path(QStringLiteral("out.csv"));
        // A record after a free slot would be left out: nothing is written
        // and the user is sent to repair, which closes the hole.
        Result r = runTool(QDir::currentPath(), {QStringLiteral("export"), csv});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("1 record after its free slot at record 3")) &&
                     r.err.contains(QStringLiteral("repair")),
                 qPrintable(r.err));
        QVERIFY(!QFile::exists(csv));
        QCOMPARE(runTool(QDir::currentPath(), {QStringLiteral("repair")}).status, 0);
        r = runTool(QDir::currentPath(), {QStringLiteral("export"), csv});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.startsWith(QStringLiteral("3 contacts written")), qPrintable(r.out));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF" "First Name,"));   // the mark spreadsheets look for
        const QList<exchange::Contact> back = exchange::readCsv(bytes, nullptr);
        QCOMPARE(back.size(), 3);
        QCOMPARE(back[0][Field::Email], QStringLiteral("ann@x.org"));
        QCOMPARE(runTool(QDir::currentPath(), {QStringLiteral("frobnicate")}).status, 2);
    }

    // What the records cannot hold is kept in a vCard file beside the book;
    // a dry run leaves an empty folder empty.
    void whatTheBookCannotHoldIsKeptBesideIt()
    {
        TestEnv env;
        const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nTEL:1\r\nTEL;TYPE=cell:2\r\n"
                                "KEY:abc\r\nNOTE:" + QByteArray(170, 'n') + "\r\nEND:VCARD\r\n";
        QFile vcf(env.path(QStringLiteral("in.vcf")));
        QVERIFY(vcf.open(QIODevice::WriteOnly) && vcf.write(card) == card.size());
        vcf.close();
        Result r = runTool(QDir::currentPath(), {QStringLiteral("import"), QStringLiteral("in.vcf"), QStringLiteral("--dry-run")});
        QCOMPARE(r.status, 0);
        QVERIFY(!QFile::exists(env.phonebookPath()));
        QVERIFY(!QFile::exists(env.path(QStringLiteral("in-left-out.vcf"))));
        QVERIFY2(r.out.contains(QStringLiteral("the book then holds 1 record).")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("contact 1 (Ann Lee): KEY")), qPrintable(r.out));

        r = runTool(QDir::currentPath(), {QStringLiteral("import"), QStringLiteral("in.vcf"), QStringLiteral("--new")});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(QStringLiteral("is kept in in-left-out.vcf")), qPrintable(r.out));
        QFile left(env.path(QStringLiteral("in-left-out.vcf")));
        QVERIFY(left.open(QIODevice::ReadOnly));
        QCOMPARE(left.readAll(), card);
        QVERIFY(FieldText(env.bookOnDisk()[0], Field::Comments).startsWith(QStringLiteral("cell 2")));
    }

    // Outside a book's folder the tool works on the menu's book and says so;
    // with neither it fails and says why; it starts a book only when asked.
    void withoutABookHereTheMenusBookOrAClearNo()
    {
        TestEnv env;
        const QString data = env.path(QStringLiteral("data"));
        QDir().mkpath(env.path(QStringLiteral("work")));
        Result r = runTool(env.path(QStringLiteral("work")), {QStringLiteral("export"), QStringLiteral("out.vcf")}, data);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("there is no book in this folder")), qPrintable(r.err));
        QVERIFY(!QFile::exists(env.path(QStringLiteral("work/out.vcf"))));
        QCOMPARE(runTool(env.path(QStringLiteral("work")), {QStringLiteral("check")}, data).status, 1);
        QFile csv(env.path(QStringLiteral("work/in.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly) && csv.write("First Name\r\nAnn\r\n") > 0);
        csv.close();
        r = runTool(env.path(QStringLiteral("work")), {QStringLiteral("import"), QStringLiteral("in.csv")}, data);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("--new")), qPrintable(r.err));
        QVERIFY(!QFile::exists(env.path(QStringLiteral("work/DravikBase.z8B"))));

        // The menu's book.
        QDir().mkpath(data + QStringLiteral("/z8p-phonebook"));
        QFile book(data + QStringLiteral("/z8p-phonebook/DravikBase.z8B"));
        QVERIFY(book.open(QIODevice::WriteOnly) && book.write(named(QStringLiteral("Menu")).bytes.data(), 440) == 440);
        book.close();
        r = runTool(env.path(QStringLiteral("work")), {QStringLiteral("export"), env.path(QStringLiteral("work/out.csv"))}, data);
        QCOMPARE(r.status, 0);
        QVERIFY2(r.err.contains(QStringLiteral("using the book in")), qPrintable(r.err));
        QFile out(env.path(QStringLiteral("work/out.csv")));
        QVERIFY(out.open(QIODevice::ReadOnly) && out.readAll().contains("Menu"));
        // File names given are the user's, relative to where the user is,
        // also while the tool works on the menu's book.
        r = runTool(env.path(QStringLiteral("work")), {QStringLiteral("export"), QStringLiteral("rel.vcf")}, data);
        QCOMPARE(r.status, 0);
        QVERIFY(QFile::exists(env.path(QStringLiteral("work/rel.vcf"))));
        QVERIFY(!QFile::exists(data + QStringLiteral("/z8p-phonebook/rel.vcf")));
        r = runTool(env.path(QStringLiteral("work")), {QStringLiteral("import"), QStringLiteral("in.csv")}, data);
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(QFileInfo(book.fileName()).size(), 880);

        // A file with nothing to import: nothing done (exit 1), and --new
        // leaves no empty book behind.
        QFile none(env.path(QStringLiteral("work/none.csv")));
        QVERIFY(none.open(QIODevice::WriteOnly) && none.write("First Name,Last Name\r\n") > 0);
        none.close();
        r = runTool(env.path(QStringLiteral("work")), {QStringLiteral("import"), QStringLiteral("none.csv"), QStringLiteral("--new")}, data);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.contains(QStringLiteral("holds no contacts to import")), qPrintable(r.out));
        QVERIFY(!QFile::exists(env.path(QStringLiteral("work/DravikBase.z8B"))));
        r = runTool(env.path(QStringLiteral("work")), {QStringLiteral("import"), QStringLiteral("missing.vcf"), QStringLiteral("--new")}, data);
        QCOMPARE(r.status, 1);
        QVERIFY(!QFile::exists(env.path(QStringLiteral("work/DravikBase.z8B"))));
        r = runTool(env.path(QStringLiteral("work")), {QStringLiteral("import"), QStringLiteral("in.csv"), QStringLiteral("--new")}, data);
        QCOMPARE(r.status, 0);
        QCOMPARE(QFileInfo(env.path(QStringLiteral("work/DravikBase.z8B"))).size(), 440);

        // --help and --version answer on standard output.
        r = runTool(env.path(QStringLiteral("work")), {QStringLiteral("--help")}, data);
        QVERIFY(r.status == 0 && r.out.contains(QStringLiteral("usage: z8p-phonebook-tool import")));
        r = runTool(env.path(QStringLiteral("work")), {QStringLiteral("--version")}, data);
        QVERIFY(r.status == 0 && r.out.startsWith(QStringLiteral("z8p-phonebook-tool 1.2.0")));
        // An option of another command, or none the tool knows, is the usage;
        // a file whose name begins with '-' follows "--".
        for (const QStringList& wrong : {QStringList{QStringLiteral("check"), QStringLiteral("--vcard4")},
                                         QStringList{QStringLiteral("export"), QStringLiteral("x.csv"), QStringLiteral("--dry-run")},
                                         QStringList{QStringLiteral("check"), QStringLiteral("--bogus")}}) {
            r = runTool(env.path(QStringLiteral("work")), wrong, data);
            QVERIFY2(r.status == 2 && r.err.contains(QStringLiteral("usage:")), qPrintable(wrong.join(u' ')));
        }
        QVERIFY(QFile::copy(env.path(QStringLiteral("work/in.csv")), env.path(QStringLiteral("work/-odd.csv"))));
        r = runTool(env.path(QStringLiteral("work")), {QStringLiteral("import"), QStringLiteral("--"), QStringLiteral("-odd.csv")}, data);
        QVERIFY2(r.status == 0 && r.out.contains(QStringLiteral("added")), qPrintable(r.out + r.err));
    }

    // No change without the lock: a lock that cannot be had (a folder in
    // its place, a link planted there) stops an import and a repair with
    // its name and reason, and the book stays as it was.
    void withoutTheLockNothingIsWritten()
    {
        TestEnv env;
        env.writeBook({makeRecord({"Ann"})});
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        QFile csv(env.path(QStringLiteral("in.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly) && csv.write("First Name\r\nBob\r\n") > 0);
        csv.close();
        const QString lock = env.path(QStringLiteral("DravikBase.z8B-lock"));
        const QString target = env.path(QStringLiteral("planted"));
        for (const bool link : {false, true}) {
            QFile::remove(lock);
            QDir().rmdir(lock);
            QVERIFY(link ? QFile::link(target, lock) : QDir().mkdir(lock));
            for (const QStringList& args : {QStringList{QStringLiteral("import"), QStringLiteral("in.csv")},
                                            QStringList{QStringLiteral("repair")}}) {
                const Result r = runTool(env.path(QString()), args);
                if (args[0] == QLatin1String("repair") && r.status == 0 && r.out.startsWith(QStringLiteral("Nothing to repair")))
                    continue;   // nothing to change, nothing locked
                QCOMPARE(r.status, 1);
                QVERIFY2(r.err.contains(QStringLiteral("DravikBase.z8B-lock could not be opened")), qPrintable(r.err));
                QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);
            }
            QVERIFY(!QFileInfo::exists(target));   // the dangling link made nothing
        }
    }

    // A file's name with an escape sequence reaches the terminal escaped.
    void oddNamesAreShownEscaped()
    {
        TestEnv env;
        env.writeBook({makeRecord({"Ann"})});
        const QString odd = QStringLiteral("red\x1b[31m\x07.vcf");
        const Result r = runTool(env.path(QString()), {QStringLiteral("export"), odd});
        QCOMPARE(r.status, 0);
        QVERIFY(QFile::exists(env.path(odd)));
        QVERIFY2(r.out.contains(QStringLiteral("red\\x1b[31m\\x07.vcf")), qPrintable(r.out));
        QVERIFY(!r.out.contains(QChar(0x1b)) && !r.out.contains(QChar(0x07)));
    }

    void importReportsFirstThenAppendsInOneStep()
    {
        TestEnv env;
        env.writeBook({makeRecord({"Ann", "Lee", "", "ann@x.org"})});
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        QFile vcf(env.path(QStringLiteral("in.vcf")));
        QVERIFY(vcf.open(QIODevice::WriteOnly));
        vcf.write("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nEMAIL:ANN@x.org\r\nEND:VCARD\r\n"
                  "BEGIN:VCARD\r\nVERSION:3.0\r\nN:\xd0\x96ukov;Maximilian-Alexander-Long;;;\r\nEND:VCARD\r\n");
        vcf.close();

        Result r = runTool(QDir::currentPath(), {QStringLiteral("import"), vcf.fileName(), QStringLiteral("--dry-run")});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(QStringLiteral("2 contacts from in.vcf will be added after record 1")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("contact 2 (Maximilian-Alexander-Long \u0416ukov): FirstName loses its last 5 characters")),
                 qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("LastName holds \u0416")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("contact 1 (Ann Lee): the same e-mail as record 1")), qPrintable(r.out));
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);

        r = runTool(QDir::currentPath(), {QStringLiteral("import"), vcf.fileName(), QStringLiteral("--skip-duplicates")});
        QCOMPARE(r.status, 0);
        // What it promises is what it adds.
        QVERIFY2(r.out.contains(QStringLiteral("1 contact from in.vcf will be added after record 1 (the book then holds 2 records).")),
                 qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("1 contact looks like others (already in the book or earlier in the file) and will be left out.")),
                 qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("1 contact added; the book holds 2 records.")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("What the book could not hold of 1 contact is kept in in-left-out.vcf.")), qPrintable(r.out));
        QCOMPARE(env.firstNamesOnDisk(), (QStringList{QStringLiteral("Ann "), QStringLiteral("Maximilian-Alexander")}));
        QCOMPARE(FieldText(env.bookOnDisk()[1], Field::LastName), QStringLiteral("?ukov "));

        // Again: every contact is now a likely duplicate, and nothing is added.
        const QByteArray full = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        r = runTool(QDir::currentPath(), {QStringLiteral("import"), vcf.fileName(), QStringLiteral("--skip-duplicates")});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.startsWith(QStringLiteral("Nothing from in.vcf will be added: its 2 contacts look like others already in the book.")),
                 qPrintable(r.out));
        QVERIFY2(!r.out.contains(QStringLiteral("added;")), qPrintable(r.out));
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), full);
    }

    void repairWritesABackupThenClosesTheHoles()
    {
        TestEnv env;
        env.writeBook({named("Ann"), ContactRecord(), ContactRecord(), named("Di")});
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        Result r = runTool(QDir::currentPath(), {QStringLiteral("repair")});
        QCOMPARE(r.status, 0);
        const QStringList backups = QDir::current().entryList({QStringLiteral("DravikBase.z8B.*.bak")});
        QCOMPARE(backups.size(), 1);
        QCOMPARE(env.fileBytes(backups[0]), before);
        QCOMPARE(env.firstNamesOnDisk(), (QStringList{QStringLiteral("Ann "), QStringLiteral("Di ")}));
        QVERIFY2(r.out.contains(QStringLiteral("the book now counts 2 records")), qPrintable(r.out));
        r = runTool(QDir::currentPath(), {QStringLiteral("repair")});
        QVERIFY2(r.out.startsWith(QStringLiteral("Nothing to repair")), qPrintable(r.out));
        QCOMPARE(QDir::current().entryList({QStringLiteral("DravikBase.z8B.*.bak")}).size(), 1);
    }

    // A book whose length is no multiple of a record: repair keeps a backup,
    // then completes a last record cut short or drops a tail that holds
    // none, and says which.
    void repairCompletesOrDropsALastRecordCutShort_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("said");
        QTest::newRow("a record's start") << QByteArray("Cy") << 3 * 440 << QStringLiteral("was completed");
        QTest::newRow("no record") << QByteArray("\0\0\0", 3) << 2 * 440 << QStringLiteral("were dropped");
    }

    void repairCompletesOrDropsALastRecordCutShort()
    {
        QFETCH(QByteArray, tail);
        QFETCH(int, length);
        QFETCH(QString, said);
        TestEnv env;
        env.writeBook({named("Ann"), named("Bob")});
        QFile f(env.phonebookPath());
        QVERIFY(f.open(QIODevice::Append) && f.write(tail) == tail.size());
        f.close();
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        const Result r = runTool(env.path(QString()), {QStringLiteral("repair")});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(said), qPrintable(r.out));
        const QByteArray after = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        QCOMPARE(after.size(), length);
        QCOMPARE(after.left(880), before.left(880));
        const QStringList backups = QDir(env.path(QString())).entryList({QStringLiteral("DravikBase.z8B.*.bak")});
        QCOMPARE(backups.size(), 1);
        QCOMPARE(env.fileBytes(backups[0]), before);
    }
};

QTEST_MAIN(TestTool)
#include "tst_tool.moc"
