// Something else touches the book: another program writing it at the same
// time (the tool, run as a separate process), journals that do not belong
// to it or are no journals at all, a file put in its place, and the files
// outside the book's own journal (the clipboard, the diaries).
#include "diaries/DiaryRecord.h"
#include "records/FileIo.h"
#include "records/Journal.h"
#include "records/Phonebook.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtEndian>
#include <QSet>
#include <QTest>
#include <QToolBar>

#include <sys/stat.h>

using namespace pb;
using namespace pb::test;

namespace {

const QString kJournal = QStringLiteral("DravikBase.z8B-journal");

QString toolPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../z8p-phonebook-tool");
}

void writeText(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

QStringList firstNames(const QByteArray& book)
{
    QStringList out;
    for (qsizetype at = 0; at + 440 <= book.size(); at += 440)
        out << QString::fromLatin1(book.mid(at, 20)).trimmed();
    return out;
}

// The files named like the journal that were set aside.
QStringList setAside(const QString& folder)
{
    return QDir(folder).entryList({kJournal + QStringLiteral(".refused-*")}, QDir::AllEntries | QDir::System | QDir::Hidden);
}

// The journal a change of the book in `folder` (record `first` written,
// records first ... last reserved) leaves when its program dies before the
// book is touched; the book stays as it was.
QByteArray journalOfAChange(const QString& folder, int first, int last)
{
    const QString before = QDir::currentPath();
    QDir::setCurrent(folder);
    QByteArray out;
    {
        Phonebook book;
        if (book.openPhonebookFile()) {
            out = dieWhileWriting(
                book, first, last,
                [&] {
                    book.RecordBuffer = named(QStringLiteral("New"));
                    return book.WriteRecord(first);
                },
                0);
        }
    }
    QFile::remove(Journal::pathFor(QDir(folder).filePath(QStringLiteral("DravikBase.z8B"))));
    QDir::setCurrent(before);
    return out;
}

void appendByChange(const QString& folder, const QStringList& names)
{
    const QString before = QDir::currentPath();
    QDir::setCurrent(folder);
    Phonebook book;
    QVERIFY(book.openPhonebookFile());
    int n = static_cast<int>(QFileInfo(book.phonebookFile().fileName()).size() / 440);
    for (const QString& name : names) {
        ++n;
        Phonebook::Change change(book, n, n);
        book.RecordBuffer = named(name);
        QVERIFY(change.ok() && book.WriteRecord(n) && change.commit());
    }
    QDir::setCurrent(before);
}

} // namespace

class TestSharedBook : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { io::setFaultPlanForTesting({}); }

    // Two tools importing into one book at the same moment, many times: each
    // contact a tool reports as added is in the book once; nothing else is.
    void twoToolsImportingAtOnceLoseNothing()
    {
        const int rounds = 25;
        int bothAdded = 0;
        for (int round = 0; round < rounds; ++round) {
            TestEnv env;
            env.writeBookNames({"Ann", "Bob"});
            QByteArray a = "First Name,Last Name\r\n", b = a;
            for (int i = 0; i < 4; ++i) {
                a += QStringLiteral("A%1x%2,One\r\n").arg(round).arg(i).toLatin1();
                b += QStringLiteral("B%1x%2,Two\r\n").arg(round).arg(i).toLatin1();
            }
            writeText(env.path(QStringLiteral("a.csv")), a);
            writeText(env.path(QStringLiteral("b.csv")), b);
            QProcess p1, p2;
            for (QProcess* p : {&p1, &p2})
                p->setWorkingDirectory(env.path({}));
            p1.start(toolPath(), {QStringLiteral("import"), QStringLiteral("a.csv")});
            p2.start(toolPath(), {QStringLiteral("import"), QStringLiteral("b.csv")});
            QVERIFY(p1.waitForFinished(60000) && p2.waitForFinished(60000));
            const QStringList names = firstNames(env.fileBytes(QStringLiteral("DravikBase.z8B")));
            QVERIFY(!QFile::exists(env.path(kJournal)));
            QCOMPARE(names.mid(0, 2), (QStringList{"Ann", "Bob"}));
            QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());   // nothing twice
            QVERIFY(!names.contains(QString()));                                          // no free slot
            int expected = 2;
            for (auto [p, prefix] : {std::pair{&p1, QStringLiteral("A")}, std::pair{&p2, QStringLiteral("B")}}) {
                const int inBook = static_cast<int>(names.filter(QRegularExpression(QStringLiteral("^%1%2x").arg(prefix).arg(round))).size());
                const QString said = QString::fromUtf8(p->readAllStandardOutput() + p->readAllStandardError());
                if (p->exitCode() == 0) {
                    QVERIFY2(inBook == 4, qPrintable(said));
                    expected += 4;
                } else {
                    QVERIFY2(inBook == 0 && said.contains(QStringLiteral("nothing was imported")), qPrintable(said));
                }
            }
            QCOMPARE(names.size(), expected);
            bothAdded += expected == 10;
        }
        QVERIFY(bothAdded >= rounds - 2);   // the loser reads the book again and adds its contacts too
    }

    // The window counted the book; the tool then added to it. The window's
    // next change writes nothing, counts again and says so.
    void theWindowNoticesAnotherProgramsChange()
    {
        TestEnv env;
        env.writeBookNames({"Ann", "Bob", "Cy", "Di", "Ed"});
        env.setSetting(QStringLiteral("RecordNumber"), QStringLiteral("6"));   // the new slot
        Data* d = env.openData();
        typeInto(d, "txtFirst", QStringLiteral("Typed"));
        writeText(env.path(QStringLiteral("new.csv")), "First Name\r\nGil\r\nHal\r\nIvy\r\n");
        QProcess tool;
        tool.setWorkingDirectory(env.path({}));
        tool.start(toolPath(), {QStringLiteral("import"), QStringLiteral("new.csv")});
        QVERIFY(tool.waitForFinished(30000) && tool.exitCode() == 0);
        const QByteArray afterTool = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        QCOMPARE(firstNames(afterTool), (QStringList{"Ann", "Bob", "Cy", "Di", "Ed", "Gil", "Hal", "Ivy"}));

        click(d, "cmdAdd");
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), afterTool);   // Gil is not overwritten
        QCOMPARE(env.messages().size(), 1);
        QVERIFY2(env.messages()[0].startsWith(QStringLiteral("Another program changed the book")), qPrintable(env.messages()[0]));
        QVERIFY(env.messages()[0].contains(QStringLiteral("now holds 8 records")));
        QCOMPARE(countLabel(d), QStringLiteral("8"));
        QCOMPARE(recordBox(d), QStringLiteral("9"));                         // the new slot, after the tool's records
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("Typed"));   // what was typed is kept
        click(d, "cmdAdd");
        QCOMPARE(firstNames(env.fileBytes(QStringLiteral("DravikBase.z8B"))).last(), QStringLiteral("Typed"));
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")).left(afterTool.size()), afterTool);

        // A delete after the tool's next change: nothing moves, the window recounts.
        tool.start(toolPath(), {QStringLiteral("import"), QStringLiteral("new.csv")});
        QVERIFY(tool.waitForFinished(30000) && tool.exitCode() == 0);
        const QByteArray afterSecond = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        env.clearMessages();
        env.boxes().answerNext(MsgAnswer::Yes);
        click(d, "cmdDelete");
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), afterSecond);
        QVERIFY(!env.messages().filter(QStringLiteral("Another program changed the book")).isEmpty());
        QCOMPARE(countLabel(d), QStringLiteral("12"));
    }

    // A command that only reads waits for a change under way and never
    // plays back its journal: the change, once complete, stays.
    void aReadingCommandNeverPlaysBackALiveChange()
    {
        TestEnv env;
        env.writeBookNames({"Ann", "Bob", "Cy"});
        Phonebook book;
        QVERIFY(book.openPhonebookFile());
        QProcess check;
        {
            Phonebook::Change change(book, 2, 4);
            QVERIFY(change.ok() && book.shiftUp(2, 3));
            book.RecordBuffer = named(QStringLiteral("New"));
            QVERIFY(book.WriteRecord(2));
            // The tool starts while the book is written, its journal on the disk.
            bool journalThere = false;
            io::setFaultPlanForTesting({[&](int op, qint64) -> qint64 {
                                            if (op == 3) {
                                                journalThere = QFile::exists(env.path(kJournal));
                                                check.setWorkingDirectory(env.path({}));
                                                check.start(toolPath(), {QStringLiteral("export"), QStringLiteral("out.csv")});
                                                check.waitForStarted();
                                                QTest::qSleep(500);   // the tool now waits for the change
                                            }
                                            return -1;
                                        },
                                        {}});
            QVERIFY(change.commit());
            io::setFaultPlanForTesting({});
            QVERIFY(journalThere);
        }
        QVERIFY(check.waitForFinished(30000));
        QCOMPARE(check.exitCode(), 0);
        QCOMPARE(firstNames(env.fileBytes(QStringLiteral("DravikBase.z8B"))), (QStringList{"Ann", "New", "Bob", "Cy"}));
        QVERIFY(readAll(env.path(QStringLiteral("out.csv"))).contains("New"));

        // A journal without a live owner: the reading command leaves it for
        // a program that may change the book, and says why it read nothing.
        QByteArray journal = journalOfAChange(env.path({}), 2, 2);
        writeText(env.path(kJournal), journal);
        check.start(toolPath(), {QStringLiteral("check")});
        QVERIFY(check.waitForFinished(30000));
        QCOMPARE(check.exitCode(), 1);
        QVERIFY(QString::fromUtf8(check.readAllStandardError()).contains(QStringLiteral("waits to be undone")));
        QCOMPARE(readAll(env.path(kJournal)), journal);
    }

    // An older journal of this book, or one from another book, is not played
    // back: it is set aside under another name and the user is told.
    void staleAndForeignJournalsAreSetAside()
    {
        TestEnv env;
        env.writeBookNames({"A1", "A2", "A3", "A4", "A5"});
        const QByteArray stale = journalOfAChange(env.path({}), 6, 6);   // an Apply on the new slot of 5
        QVERIFY(!stale.isEmpty());
        appendByChange(env.path({}), {"A6", "A7", "A8"});
        const QByteArray eight = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        writeText(env.path(kJournal), stale);
        Data* d = env.openData();
        QTRY_COMPARE(env.messages().size(), 1);
        QVERIFY2(env.messages()[0].contains(QStringLiteral("older journal")), qPrintable(env.messages()[0]));
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), eight);
        QCOMPARE(countLabel(d), QStringLiteral("8"));
        QCOMPARE(setAside(env.path({})).size(), 1);
        QVERIFY(env.messages()[0].contains(setAside(env.path({})).first()));
        QCOMPARE(readAll(env.path({}) + u'/' + setAside(env.path({})).first()), stale);
        env.closeData();

        // From another folder's book.
        TestEnv other;
        other.writeBookNames({"X", "Y", "Z"});
        const QByteArray foreign = journalOfAChange(other.path({}), 1, 3);
        QDir::setCurrent(env.path({}));
        writeText(env.path(kJournal), foreign);
        env.clearMessages();
        env.restart();
        env.openData();
        QTRY_COMPARE(env.messages().size(), 1);
        QVERIFY2(env.messages()[0].contains(QStringLiteral("belongs to another book")), qPrintable(env.messages()[0]));
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), eight);
        QCOMPARE(setAside(env.path({})).size(), 2);
    }

    // A change that died part-way, its folder then copied (a backup
    // restored, a move to another disk: new files): the copy is put back as
    // the original would be, whichever of its sectors reached the disk; a
    // copy one sector of which holds neither the old nor the new bytes is
    // another book, and its journal is set aside.
    void aCopiedFolderIsPutBackWhateverReachedTheDisk_data()
    {
        QTest::addColumn<bool>("append");
        QTest::newRow("a record inserted at the beginning") << false;
        QTest::newRow("records appended, made when needed") << true;
    }

    void aCopiedFolderIsPutBackWhateverReachedTheDisk()
    {
        QFETCH(bool, append);
        TestEnv env;
        QStringList names;
        for (int i = 0; i < 300; ++i)
            names << QStringLiteral("Name%1").arg(i);
        env.writeBookNames(names);
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        const auto added = [](qint64 i) { return named(QStringLiteral("Added%1").arg(i)); };
        QByteArray after = append ? before : bytesOf(named(QStringLiteral("New"))) + before;
        for (int i = 0; append && i < 1000; ++i)
            after += bytesOf(added(i));
        QByteArray journal;
        {
            Phonebook book;
            QVERIFY(book.openPhonebookFile());
            const auto insert = [&] {
                if (!book.shiftUp(1, 300))
                    return false;
                book.RecordBuffer = named(QStringLiteral("New"));
                return book.WriteRecord(1);
            };
            const auto appendMade = [&] {
                return book.writeMadeRecords(301, 1000, [&](qint64 i, char* out) {
                    const ContactRecord r = added(i);
                    std::copy(r.bytes.begin(), r.bytes.end(), out);
                });
            };
            journal = append ? dieWhileWriting(book, 301, 1300, appendMade, 0) : dieWhileWriting(book, 1, 301, insert, 0);
        }
        QVERIFY(!journal.isEmpty());
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);

        QRandomGenerator random(28);
        for (int state = 0; state < 40; ++state) {
            // Each sector old or new; the length either (the last state
            // has one sector neither).
            QByteArray book = before;
            book.resize(after.size(), '\0');
            for (qsizetype at = 0; at < after.size(); at += 512)
                if (state == 1 || (state > 1 && random.bounded(2) == 1))
                    book.replace(at, std::min<qsizetype>(512, after.size() - at), after.mid(at, 512));
            if (state != 1 && random.bounded(2) == 0)
                book.truncate(before.size());
            const bool foreign = state == 39;
            if (foreign && append)
                book = after;   // a sector inside the change neither old nor new
            if (foreign)
                book[(append ? before.size() : 0) + 512 * 7 + 3] = 'Q';
            TestEnv copy;
            writeText(copy.path(QStringLiteral("DravikBase.z8B")), book);
            writeText(copy.path(kJournal), journal);
            Phonebook opened;
            QVERIFY(opened.openPhonebookFile());
            const QString where = QStringLiteral("state %1").arg(state);
            QVERIFY2(!QFile::exists(copy.path(kJournal)), qPrintable(where));
            if (foreign) {
                QVERIFY(opened.takeNotice().contains(QStringLiteral("belongs to another book")));
                QCOMPARE(copy.fileBytes(QStringLiteral("DravikBase.z8B")), book);
                QCOMPARE(setAside(copy.path({})).size(), 1);
            } else {
                QVERIFY2(copy.fileBytes(QStringLiteral("DravikBase.z8B")) == before, qPrintable(where));
                QVERIFY2(setAside(copy.path({})).isEmpty(), qPrintable(where));
            }
        }
    }

    // Files named like the journal that are no journal of a change are
    // refused at once (no hang, no huge read), set aside, and the book can
    // be changed again.
    void oddJournalsAreRefusedAtOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said");
        QTest::newRow("pipe") << "pipe" << "not a regular file";
        QTest::newRow("folder") << "folder" << "not a regular file";
        QTest::newRow("40 GiB") << "huge" << "larger than any journal";
        QTest::newRow("absurd header") << "header" << "header does not describe";
        QTest::newRow("not a journal") << "text" << "not a journal of this program";
    }

    void oddJournalsAreRefusedAtOnce()
    {
        QFETCH(QString, kind);
        QFETCH(QString, said);
        TestEnv env;
        env.writeBookNames({"Ann", "Bob"});
        const QString path = env.path(kJournal);
        if (kind == QLatin1String("pipe")) {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(path));
        } else if (kind == QLatin1String("huge")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(40LL << 30));   // sparse
        } else if (kind == QLatin1String("header")) {
            QByteArray j = journalOfAChange(env.path({}), 1, 1);
            QVERIFY(!j.isEmpty());
            qToLittleEndian<qint64>(Q_INT64_C(1) << 50, j.data() + 8);   // a book of a petabyte before the change
            writeText(path, j);
        } else {
            writeText(path, "some notes someone kept here\n");
        }
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        Data* d = env.openData();
        QTRY_COMPARE(env.messages().size(), 1);
        QVERIFY2(env.messages()[0].contains(said), qPrintable(env.messages()[0]));
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(setAside(env.path({})).size(), 1);
        // Writable again.
        click(d, "cmdEnd");
        click(d, "cmdNext");
        typeInto(d, "txtFirst", QStringLiteral("Cy"));
        click(d, "cmdAdd");
        QCOMPARE(firstNames(env.fileBytes(QStringLiteral("DravikBase.z8B"))), (QStringList{"Ann", "Bob", "Cy"}));
    }

    // A power cut just after a change began leaves the journal empty, with
    // zeros where the system had made room, or with the first bytes of its
    // header: it goes without a word, nothing is set aside, the book stays.
    void aJournalCutShortAtItsStartGoesQuietly_data()
    {
        QTest::addColumn<QByteArray>("journal");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("zeros") << QByteArray(24, '\0');
        QTest::newRow("half a mark") << QByteArray("z8PJ");
        QTest::newRow("the mark") << QByteArray("z8PJRNL2") + QByteArray(9, '\0');
    }

    void aJournalCutShortAtItsStartGoesQuietly()
    {
        QFETCH(QByteArray, journal);
        TestEnv env;
        env.writeBookNames({"Ann", "Bob"});
        writeText(env.path(kJournal), journal);
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        env.openData();
        QVERIFY(env.messages().isEmpty());
        QVERIFY(env.boxes().shown.isEmpty());
        QVERIFY(!QFileInfo::exists(env.path(kJournal)));
        QVERIFY(setAside(env.path({})).isEmpty());
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);
    }

    // A sync tool's rename puts another file in the book's place: the window
    // writes nothing into the old one, opens the new one and counts it.
    void aBookReplacedByAnotherFileIsOpenedAgain()
    {
        TestEnv env;
        env.writeBookNames({"Ann", "Bob", "Cy"});
        Data* d = env.openData();
        typeInto(d, "txtLast", QStringLiteral("Changed"));
        const QByteArray replacement = bytesOf({named("W"), named("X"), named("Y"), named("Z")});
        writeText(env.path(QStringLiteral("incoming.z8B")), replacement);
        QVERIFY(::rename(QFile::encodeName(env.path(QStringLiteral("incoming.z8B"))).constData(),
                         QFile::encodeName(env.phonebookPath()).constData()) == 0);
        click(d, "cmdAdd");
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), replacement);
        QVERIFY(!env.messages().filter(QStringLiteral("Another program changed the book")).isEmpty());
        QCOMPARE(countLabel(d), QStringLiteral("4"));
        click(d, "cmdAdd");   // now into the file that is there
        QCOMPARE(firstNames(env.fileBytes(QStringLiteral("DravikBase.z8B"))), (QStringList{"Ann", "X", "Y", "Z"}));
    }

    // A book reached through a link keeps its journal beside the real file,
    // where every program that opens the book looks.
    void aLinkedBookKeepsItsJournalBesideTheFile()
    {
        TestEnv env;
        QDir().mkdir(env.path(QStringLiteral("real")));
        writeText(env.path(QStringLiteral("real/book.z8B")), bytesOf({named("Ann")}));
        QVERIFY(QFile::link(env.path(QStringLiteral("real/book.z8B")), env.phonebookPath()));
        Phonebook book;
        QVERIFY(book.openPhonebookFile());
        QVERIFY(!dieWhileWriting(book, 2, 2, [&] { return book.WriteRecord(2); }).isEmpty());
        QVERIFY(QFile::exists(env.path(QStringLiteral("real/book.z8B-journal"))));
        QVERIFY(!QFile::exists(env.path(kJournal)));
    }

    // A full-book shift whose journal finds no room says so; the book is
    // as it was.
    void aShiftWithoutRoomForItsJournalSaysSo()
    {
        TestEnv env;
        QStringList names;
        for (int i = 0; i < 200; ++i)
            names << QStringLiteral("N%1").arg(i);
        env.writeBookNames(names);
        Data* d = env.openData();
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        {
            const FileSizeLimit room(before.size());   // the journal of a whole-book shift is larger
            action(d, "mnuInsertBegining")->trigger();
        }
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);
        QVERIFY(!QFile::exists(env.path(kJournal)));
        QCOMPARE(env.messages().size(), 1);
        QVERIFY2(env.messages()[0].startsWith(QStringLiteral("No record was inserted; the book is as it was.")), qPrintable(env.messages()[0]));
        QVERIFY2(env.messages()[0].contains(QStringLiteral("free space")), qPrintable(env.messages()[0]));
        QCOMPARE(countLabel(d), QStringLiteral("200"));
    }

    // Cut: the clipboard is on the disk before the record leaves the book.
    void cutKeepsTheRecordWhenTheClipboardCannotBeFlushed()
    {
        TestEnv env;
        env.writeBookNames({"Ann", "Bob", "Cy"});
        env.setSetting(QStringLiteral("RecordNumber"), QStringLiteral("2"));
        Data* d = env.openData();
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        // The clipboard's write goes through; its flush (the next operation) fails.
        io::setFaultPlanForTesting({[](int op, qint64) -> qint64 { return op == 1 ? 0 : -1; }, {}});
        auto* bar = d->findChild<QToolBar*>(QStringLiteral("Toolbar1"));
        QTest::mouseClick(bar->widgetForAction(bar->findChild<QAction*>(QStringLiteral("CutRecord"))), Qt::LeftButton);
        io::setFaultPlanForTesting({});
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);
        QCOMPARE(env.messages().size(), 1);
        QVERIFY(env.messages()[0].startsWith(QStringLiteral("The record was not cut")));
    }

    // A diary entry is saved whole or not at all, whichever write fails.
    void aDiaryEntryIsSavedWholeOrNotAtAll()
    {
        TestEnv env;
        const QString path = env.path(QStringLiteral("Diaries.z8D"));
        DiaryRecord old;
        old.store(DiaryField::Date, QStringLiteral("Monday"));
        old.store(DiaryField::Text, QStringLiteral("The old entry, whole."));
        DiaryRecord fresh;
        fresh.store(DiaryField::Date, QStringLiteral("Tuesday"));
        fresh.store(DiaryField::Text, QString(500, u'n'));
        int ops = 0;
        {
            DiaryFile f;
            QString notice;
            QVERIFY(f.openDiaries(path, &notice) && f.write(1, old));
            io::setFaultPlanForTesting({[](int, qint64) -> qint64 { return -1; }, {}});
            QVERIFY(f.write(2, old));
            ops = io::writeOperationsForTesting();
            io::setFaultPlanForTesting({});
        }
        const QByteArray before = readAll(path);
        QVERIFY(ops >= 4);   // the journal, its flushes, the entry, the removal
        for (int op = 0; op < ops; ++op) {
            for (bool half : {false, true}) {
                writeText(path, before);
                DiaryFile f;
                QString notice;
                QVERIFY(f.openDiaries(path, &notice));
                io::setFaultPlanForTesting({[op, half](int i, qint64 n) -> qint64 { return i == op ? (half ? n / 2 : 0) : -1; }, {}});
                const bool saved = f.write(1, fresh);
                io::setFaultPlanForTesting({});
                f.close();
                DiaryFile again;
                QVERIFY(again.openDiaries(path, &notice));   // plays back what a crash would leave
                DiaryRecord now;
                QVERIFY(again.read(1, now));
                const QString where = QStringLiteral("write %1%2").arg(op).arg(half ? " half" : "");
                if (saved)
                    QVERIFY2(now.bytes == fresh.bytes, qPrintable(where));
                else
                    QVERIFY2(now.bytes == old.bytes, qPrintable(where));
                QVERIFY2(!QFile::exists(path + QStringLiteral("-journal")), qPrintable(where));
            }
        }
    }
};

QTEST_MAIN(TestSharedBook)
#include "tst_sharedbook.moc"
