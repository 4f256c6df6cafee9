// Every change of the book happens whole or not at all: each writing command
// is run once for every write operation it makes, with that write failing
// (nothing written, half written, or the disk gone from there on), and the
// book must then hold its bytes from before or from after the command, and
// nothing else, both at once and after the next start. A child process
// killed in the middle of a full-book insert or delete leaves the same
// choice to the next start. A read that fails is never taken for the end.
#include "records/FileIo.h"
#include "records/Journal.h"
#include "records/Phonebook.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QTest>
#include <QToolBar>

#include <csignal>
#include <functional>
#include <new>

using namespace pb;
using namespace pb::test;

namespace {

const QString kBook = QStringLiteral("DravikBase.z8B");
const QString kJournal = QStringLiteral("DravikBase.z8B-journal");

QList<ContactRecord> sixContacts()
{
    QList<ContactRecord> out;
    for (const char* n : {"Ann", "Bob", "Cy", "Di", "Ed", "Flo"})
        out.append(makeRecord({QString::fromLatin1(n), QStringLiteral("Last"), QStringLiteral("555")}));
    return out;
}

struct Command {
    const char* name;
    std::function<void(Data*)> run;
    QList<ContactRecord> book = sixContacts();   // what the folder holds before
};

// Contacts to import, from a file in the book's folder, chosen in the open
// dialog and confirmed.
void importContacts(Data* d)
{
    QFile f(QStringLiteral("new.csv"));
    if (!f.open(QIODevice::WriteOnly) || f.write("First Name,Last Name\r\nGil,New\r\nHal,New\r\nIvy,New\r\n") < 0)
        qFatal("cannot write new.csv");
    f.close();
    dynamic_cast<ScriptedDialogs&>(d->context().dialogs).files << QDir::current().filePath(QStringLiteral("new.csv"));
    action(d, "mnuImport")->trigger();
}

QList<Command> commands()
{
    return {
        {"apply inside the book", [](Data* d) { typeInto(d, "txtLast", QStringLiteral("Changed")); click(d, "cmdAdd"); }},
        {"apply on the new slot",
         [](Data* d) {
             click(d, "cmdEnd");
             click(d, "cmdNext");
             typeInto(d, "txtFirst", QStringLiteral("New"));
             click(d, "cmdAdd");
         }},
        {"delete", [](Data* d) { click(d, "cmdDelete"); }},
        {"insert before", [](Data* d) { action(d, "mnuInsertBefore")->trigger(); }},
        {"insert after", [](Data* d) { action(d, "mnuInsertAfter")->trigger(); }},
        {"insert at the beginning", [](Data* d) { action(d, "mnuInsertBegining")->trigger(); }},
        {"paste", [](Data* d) { clickToolbar(d, "PasteRecord"); }},
        {"cut", [](Data* d) { clickToolbar(d, "CutRecord"); }},
        {"import", importContacts},
        {"repair", [](Data* d) { action(d, "mnuCheck")->trigger(); },
         {named(QStringLiteral("Ann")), ContactRecord(), named(QStringLiteral("Bob")), ContactRecord(), named(QStringLiteral("Cy"))}},
    };
}

// The number of records before the first free slot in the bytes.
int countOf(const QByteArray& book)
{
    int n = 0;
    while ((n + 1) * 440 <= book.size() && book.at(n * 440) != '\0')
        ++n;
    return n;
}

// One run of a command on a fresh copy of the book, with a fault plan.
struct Outcome {
    QByteArray book;
    QByteArray bookAfterRestart;
    bool journalLeft;
    QString countShown;
    QStringList messages;
    int writes;
};

Outcome runOnce(const Command& c, io::FaultPlan plan)
{
    TestEnv env;
    env.writeBook(c.book);
    env.writeClipboard(makeRecord({QStringLiteral("Clip"), QStringLiteral("Board")}));
    env.setSetting(QStringLiteral("RecordNumber"), QStringLiteral("3"));
    Data* d = env.openData();
    io::setFaultPlanForTesting(std::move(plan));
    c.run(d);
    const int writes = io::writeOperationsForTesting();
    io::setFaultPlanForTesting({});
    Outcome o;
    o.book = env.fileBytes(kBook);
    o.countShown = countLabel(d);
    o.messages = env.messages();
    o.writes = writes;
    env.restart();
    env.openData();
    o.bookAfterRestart = env.fileBytes(kBook);
    o.journalLeft = QFile::exists(env.path(kJournal));
    return o;
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { io::setFaultPlanForTesting({}); }

    void everyWriteOfEveryCommandMayFail()
    {
        for (const Command& c : commands()) {
            const Outcome clean = runOnce(c, {});
            TestEnv env;
            env.writeBook(c.book);
            const QByteArray before = env.fileBytes(kBook);
            const QByteArray after = clean.book;
            QVERIFY2(after != before, c.name);
            QVERIFY2(clean.bookAfterRestart == after && !clean.journalLeft, c.name);
            QVERIFY2(clean.writes >= 3, c.name);   // the journal, its flush, the book, ...

            for (int op = 0; op < clean.writes; ++op) {
                struct Mode {
                    const char* name;
                    std::function<qint64(int, qint64)> write;
                };
                const Mode modes[] = {
                    {"fails", [op](int i, qint64) -> qint64 { return i == op ? 0 : -1; }},
                    {"stops half-way", [op](int i, qint64 n) -> qint64 { return i == op ? n / 2 : -1; }},
                    {"the disk is gone from there on", [op](int i, qint64) -> qint64 { return i >= op ? 0 : -1; }},
                };
                for (const Mode& m : modes) {
                    const Outcome o = runOnce(c, {m.write, {}});
                    const QString where = QStringLiteral("%1, write %2 %3").arg(QLatin1String(c.name)).arg(op).arg(QLatin1String(m.name));
                    // With the disk gone not even the undo can be written: the
                    // book is put back at the next start, and the user is told.
                    const bool diskGone = &m == &modes[2];
                    if (!diskGone)
                        QVERIFY2(o.book == before || o.book == after, qPrintable(where));
                    else if (o.book != before && o.book != after)
                        QVERIFY2(!o.messages.filter(QStringLiteral("could not be put back")).isEmpty(), qPrintable(where));
                    // One true thing: never "as it was" beside "could not be put back".
                    if (!o.messages.filter(QStringLiteral("could not be put back")).isEmpty())
                        QVERIFY2(o.messages.filter(QStringLiteral("as it was")).size() ==
                                     o.messages.filter(QStringLiteral("could not be put back as it was")).size(),
                                 qPrintable(where + u' ' + o.messages.join(u'|')));
                    QVERIFY2(o.bookAfterRestart == before || o.bookAfterRestart == after, qPrintable(where));
                    QVERIFY2(!o.journalLeft, qPrintable(where));
                    // What the window counts is what the book holds (once a
                    // change that could not even be undone is, at the next start).
                    QVERIFY2(o.countShown.toInt() == countOf(o.bookAfterRestart),
                             qPrintable(where + QStringLiteral(": count ") + o.countShown));
                }
            }
        }
    }

    // A read error is not the end of the book: the user is told, and the
    // records that could not be read are not written over.
    void aReadErrorAtStartUpClosesTheBookToWriting()
    {
        TestEnv env;
        env.writeBook(sixContacts());
        const QByteArray before = env.fileBytes(kBook);
        io::setFaultPlanForTesting({{}, [](int op) { return op == 0; }});
        Data* d = env.openData();
        io::setFaultPlanForTesting({});
        QTRY_COMPARE(env.messages().size(), 1);
        QVERIFY(env.messages()[0].startsWith(QStringLiteral("The phonebook could not be read past record 0.")));
        typeInto(d, "txtFirst", QStringLiteral("Overwrite"));
        click(d, "cmdAdd");
        QCOMPARE(env.messages().size(), 2);
        QVERIFY(env.messages()[1].startsWith(QStringLiteral("The record was not saved.")));
        action(d, "mnuInsertBegining")->trigger();
        QCOMPARE(env.fileBytes(kBook), before);

        // The next run reads the book whole again.
        env.restart();
        d = env.openData();
        QCOMPARE(countLabel(d), QStringLiteral("6"));
    }

    // Last and Find stop at a read error rather than taking it for the end.
    void scansTellAReadErrorFromAFreeSlot()
    {
        TestEnv env;
        QList<ContactRecord> many;
        for (int i = 0; i < 300; ++i)
            many.append(named(QStringLiteral("N%1").arg(i)));
        env.writeBook(many);
        Data* d = env.openData();
        const int reads = io::readOperationsForTesting();
        io::setFaultPlanForTesting({{}, [reads](int op) { return op >= 1 && reads >= 0; }});
        click(d, "cmdEnd");
        io::setFaultPlanForTesting({});
        QVERIFY(recordBox(d).toInt() < 300);   // the walk stopped where it failed ...
        QCOMPARE(countLabel(d), QStringLiteral("300"));   // ... and counted nothing
        const Phonebook::Scan scan = [&] {
            io::setFaultPlanForTesting({{}, [](int op) { return op >= 1; }});
            const Phonebook::Scan s = env.ctx().book.scanToFreeSlot(1);
            io::setFaultPlanForTesting({});
            return s;
        }();
        QVERIFY(!scan.complete);
        QVERIFY(scan.readFailed);
    }

    // A journal that was not written whole is removed and changes nothing;
    // a whole one is played back.
    void journalsFoundAtStartUp()
    {
        TestEnv env;
        env.writeBook(sixContacts());
        const QByteArray before = env.fileBytes(kBook);
        QFile torn(env.path(kJournal));
        QVERIFY(torn.open(QIODevice::WriteOnly));
        torn.write("z8PJRNL1 and then nothing sensible");
        torn.close();
        Data* d = env.openData();
        QVERIFY(!QFile::exists(env.path(kJournal)));
        QCOMPARE(env.fileBytes(kBook), before);
        QCOMPARE(countLabel(d), QStringLiteral("6"));
        env.closeData();

        // A change that died after writing part of the book.
        {
            Phonebook book;
            QVERIFY(book.openPhonebookFile());
            // The program dies part-way through the book's write.
            QVERIFY(!dieWhileWriting(book, 1, 7, [&] { return book.shiftUp(1, 6); }, 440 * 3 + 100).isEmpty());
            QVERIFY(QFile::exists(env.path(kJournal)));
            QVERIFY(env.fileBytes(kBook) != before);
            book.closePhonebookFile();
        }
        env.restart();
        d = env.openData();
        QCOMPARE(env.fileBytes(kBook), before);
        QVERIFY(!QFile::exists(env.path(kJournal)));
        QCOMPARE(countLabel(d), QStringLiteral("6"));
    }

    void aKilledChangeLeavesTheBookWhole_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("insert at the beginning of a full book") << "insert";
        QTest::newRow("delete the first record of a full book") << "delete";
    }

    void aKilledChangeLeavesTheBookWhole()
    {
        QFETCH(QString, command);
        QTemporaryDir dir;
        QByteArray before;
        for (int i = 0; i < 32767; ++i) {
            const ContactRecord r = named(QStringLiteral("R%1").arg(i));
            before.append(r.bytes.data(), 440);
        }
        QByteArray after;
        if (command == QLatin1String("insert"))
            after = QByteArray(named(QStringLiteral("[Inserted record]")).bytes.data(), 440) + before.left(before.size() - 440);
        else
            after = before.mid(440) + QByteArray(440, '\0');

        int sawBefore = 0, sawAfter = 0;
        for (int round = 0; round < 12; ++round) {
            QFile f(dir.filePath(kBook));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(before);
            f.close();
            QFile::remove(dir.filePath(kJournal));

            QProcess child;
            child.setWorkingDirectory(dir.path());
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), command});
            QVERIFY(child.waitForReadyRead(10000));   // "ready": the book is open
            // Most kills land while the change runs (it takes some 50 ms here).
            QTest::qSleep(static_cast<int>(QRandomGenerator::global()->bounded(90)));
            ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
            child.waitForFinished(10000);

            // The folder as it was left, copied (new files, as a restored
            // backup or a move to another disk makes them), is put back too.
            QTemporaryDir copy;
            for (const QString& name : {QString(kBook), kJournal})
                if (QFile::exists(dir.filePath(name)))
                    QVERIFY(QFile::copy(dir.filePath(name), copy.filePath(name)));
            for (const QString& folder : {dir.path(), copy.path()}) {
                const QString cwd = QDir::currentPath();
                QDir::setCurrent(folder);
                {
                    Phonebook book;
                    QVERIFY(book.openPhonebookFile());
                    book.closePhonebookFile();
                }
                QDir::setCurrent(cwd);
            }
            const QByteArray now = readAll(dir.filePath(kBook));
            QVERIFY2(now == before || now == after, qPrintable(QStringLiteral("round %1, %2 bytes").arg(round).arg(now.size())));
            QVERIFY(!QFile::exists(dir.filePath(kJournal)));
            QVERIFY2(readAll(copy.filePath(kBook)) == now, qPrintable(QStringLiteral("round %1: the copy").arg(round)));
            QVERIFY(QDir(copy.path()).entryList(QDir::Files).size() <= 2);   // nothing set aside
            (now == before ? sawBefore : sawAfter)++;
        }
        qInfo("%s: %d kills undone, %d complete", qPrintable(command), sawBefore, sawAfter);
    }
};

// The child of the kill test: opens the book in the current folder, says so,
// and runs one full-book change, again and again until it is killed.
static int runChild(const QString& command)
{
    Phonebook book;
    if (!book.openPhonebookFile())
        return 2;
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (;;) {
        if (command == QLatin1String("insert")) {
            Phonebook::Change change(book, 1, 32767);
            if (!change.ok() || !book.shiftUp(1, 32766))
                return 3;
            book.RecordBuffer = named(QStringLiteral("[Inserted record]"));
            if (!book.WriteRecord(1) || !change.commit())
                return 3;
        } else {
            Phonebook::Change change(book, 1, 32767);
            if (!change.ok() || !book.shiftDown(1, 32767) || !change.commit())
                return 3;
        }
        // Once done, the book holds the "after" bytes; stay until killed.
        for (;;)
            QThread::msleep(100);
    }
}

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0) {
        QCoreApplication app(argc, argv);
        return runChild(QString::fromLatin1(argv[2]));
    }
    QApplication app(argc, argv);
    TestFaults t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_faults.moc"
