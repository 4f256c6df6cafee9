// Import, export and the book's check from the main window's menu, on real
// files in a temporary folder.
#include "mainwindow/Data.h"
#include "platform/Busy.h"
#include "records/Journal.h"
#include "search/frmFind.h"
#include "search/frmRecords.h"
#include "records/Phonebook.h"
#include "support/TestEnv.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>

using namespace pb;
using namespace pb::test;

namespace {

// An address book's export: vCard 3.0, folded lines, several numbers, a
// photo, one contact without a phone.
QByteArray hundredContacts()
{
    QByteArray out;
    for (int i = 1; i <= 100; ++i) {
        const QByteArray n = QByteArray::number(i);
        out += "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Some Address Book//EN\r\n";
        out += "N:Family" + n + ";Given" + n + ";;;\r\nFN:Given" + n + " Family" + n + "\r\n";
        out += "ORG:Company " + n + ";Sales\r\n";
        out += "EMAIL;TYPE=INTERNET;TYPE=HOME:given" + n + "@example.org\r\n";
        if (i != 50) {
            out += "TEL;TYPE=CELL:+44 7700 900" + n + "\r\n";
            out += "TEL;TYPE=WORK;TYPE=pref:+44 20 7946 0" + n + "\r\n";
        }
        out += "ADR;TYPE=HOME:;;" + n + " High Street;Bath;;BA1 1AA;United Kingd\r\n om\r\n";
        out += "NOTE:Met at the conference\\, table " + n + "\r\n";
        if (i == 7)
            out += "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQ\r\n AAAQABAAD\r\n";
        out += "END:VCARD\r\n";
    }
    return out;
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// A book the program itself could have written: names, numbers, line breaks
// and the Western code page's letters, fields filled to the boxes' limits.
QList<ContactRecord> typedBook()
{
    QList<ContactRecord> book;
    book << makeRecord({"Ann", "Lee", "555-0100", "ann@example.org", "Lee & Sons", "1 Main St\r\nSpringfield",
                        "Likes \"tea\"; not coffee,\r\never"});
    book << makeRecord({QString(18, u'F'), QString(18, u'L'), QString(25, u'9'), QString(31, u'e'), QString(58, u'c'),
                        QString(118, u'a'), QString(158, u'n')});
    book << makeRecord({QStringLiteral("Zoë"), QStringLiteral("Müller-Lüdenscheidt"), QStringLiteral("+49 30 901820"),
                        QString(), QStringLiteral("Café Œuvre"), QStringLiteral("Straße 5"), QStringLiteral("£ € ¥ ©")});
    book << makeRecord({"Bob"});
    return book;
}

} // namespace

class TestImportWindow : public QObject
{
    Q_OBJECT
private slots:
    void aHundredContactsShowInTheWindowTheListAndTheSearch()
    {
        QTemporaryDir files;
        const QString vcf = writeFile(files.filePath(QStringLiteral("contacts.vcf")), hundredContacts());
        TestEnv env;
        Data* d = env.openData();
        QCOMPARE(countLabel(d), QStringLiteral("0"));
        env.dialogs().files << vcf;
        action(d, "mnuImport")->trigger();

        // The report came first, with the photo and the extra numbers named.
        const auto report = env.boxes().shown.value(0);
        QVERIFY2(report.text.contains(QStringLiteral("100 contacts from contacts.vcf will be added after record 0")),
                 qPrintable(report.text));
        QCOMPARE(report.buttons, MsgButtons::YesNo);
        QVERIFY2(report.details.contains(QStringLiteral("1 photos or logos")), qPrintable(report.details));
        QCOMPARE(env.boxes().shown.size(), 1);

        const QList<ContactRecord> disk = env.bookOnDisk();
        QCOMPARE(disk.size(), 100);
        QCOMPARE(FieldText(disk[49], Field::Email).trimmed(), QStringLiteral("given50@example.org"));
        QCOMPARE(FieldText(disk[49], Field::Phone).trimmed(), QString());
        QCOMPARE(FieldText(disk[0], Field::Phone).trimmed(), QStringLiteral("+44 20 7946 01"));   // the preferred one
        QVERIFY(FieldText(disk[0], Field::Comments).contains(QStringLiteral("cell +44 7700 9001")));
        QCOMPARE(FieldText(disk[0], Field::Address).trimmed(), QStringLiteral("1 High Street\r\nBath BA1 1AA\r\nUnited Kingdom"));

        // The window: the count, the first new record on show.
        QCOMPARE(countLabel(d), QStringLiteral("100"));
        QCOMPARE(recordBox(d), QStringLiteral("1"));
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 1 of 100"));   // at once, not at the next move
        QCOMPARE(shownBoxes(d).mid(0, 2), (QStringList{QStringLiteral("Given1 "), QStringLiteral("Family1 ")}));
        click(d, "cmdEnd");
        QCOMPARE(recordBox(d), QStringLiteral("100"));

        // The list and the search see them.
        action(d, "mnuShow")->trigger();
        auto* list = env.ctx().windows.existing<frmRecords>()->findChild<QListView*>(QStringLiteral("lstRecord"));
        QCOMPARE(list->model()->rowCount(), 100);
        QVERIFY(list->model()->index(56, 0).data().toString().contains(QStringLiteral("Given57")));
        click(d, "cmdBegining");
        action(d, "mnuFind")->trigger();
        frmFind* find = env.ctx().windows.existing<frmFind>();
        QLineEdit* query = lineEdit(find, "txtFind");
        QTest::keyClicks(query, QStringLiteral("Given77"));
        query->setFocus();
        QTest::keyClick(query, Qt::Key_Return);
        QCOMPARE(recordBox(d), QStringLiteral("77"));
    }

    void likelyDuplicatesAreNamedAndMayBeLeftOut()
    {
        QTemporaryDir files;
        const QString csv = writeFile(files.filePath(QStringLiteral("people.csv")),
                                      "First Name,Last Name,E-mail Address\r\n"
                                      "Annie,Other,ANN@example.org\r\n"
                                      "bob,LEE,\r\n"
                                      "Cy,New,cy@example.org\r\n"
                                      "Cy,New,\r\n");
        TestEnv env;
        env.writeBook({makeRecord({"Ann", "Lee", "", "ann@example.org"}), makeRecord({"Bob", "Lee"})});
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        Data* d = env.openData();

        // Cancel writes nothing.
        env.dialogs().files << csv;
        env.boxes().answerNext(MsgAnswer::Cancel);
        action(d, "mnuImport")->trigger();
        const auto report = lastBox(env);
        QCOMPARE(report.buttons, MsgButtons::YesNoCancel);
        QVERIFY2(report.text.contains(QStringLiteral("3 contacts look like others (already in the book or earlier in the file)")), qPrintable(report.text));
        QVERIFY2(report.details.contains(QStringLiteral("contact 1 (Annie Other): the same e-mail as record 1")), qPrintable(report.details));
        QVERIFY2(report.details.contains(QStringLiteral("contact 2 (bob LEE): the same name as record 2")), qPrintable(report.details));
        QVERIFY2(report.details.contains(QStringLiteral("contact 4 (Cy New): the same name as contact 3 (Cy New) of the file")),
                 qPrintable(report.details));
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);

        // No: all but the likely duplicates.
        env.dialogs().files << csv;
        env.boxes().answerNext(MsgAnswer::No);
        action(d, "mnuImport")->trigger();
        QCOMPARE(env.firstNamesOnDisk(), (QStringList{QStringLiteral("Ann "), QStringLiteral("Bob "), QStringLiteral("Cy ")}));
        QCOMPARE(countLabel(d), QStringLiteral("3"));
        QCOMPARE(recordBox(d), QStringLiteral("3"));
    }

    // Another program adds to the book while the report is read: the
    // import reads and plans again, asks again, and adds after its records.
    void anImportPlansAgainWhenAnotherProgramChangedTheBook()
    {
        QTemporaryDir files;
        const QString csv = writeFile(files.filePath(QStringLiteral("people.csv")),
                                      "First Name,Last Name\r\nCy,New\r\nDee,New\r\n");
        TestEnv env;
        env.writeBook({makeRecord({"Ann", "Lee"})});
        Data* d = env.openData();
        env.boxes().onShow = [&](const ScriptedMessageBoxes::Shown&) {
            if (env.boxes().shown.size() != 1)
                return;
            Phonebook other;
            QVERIFY(other.openPhonebookFile());
            Phonebook::Change change(other, 2, 2);
            other.RecordBuffer = makeRecord({"Bob", "Other"});
            QVERIFY(change.ok() && other.WriteRecord(2) && change.commit());
        };
        env.dialogs().files << csv;
        action(d, "mnuImport")->trigger();
        env.boxes().onShow = nullptr;
        QCOMPARE(env.boxes().shown.size(), 2);
        QVERIFY2(env.boxes().shown[1].text.contains(QStringLiteral("after record 2")), qPrintable(env.boxes().shown[1].text));
        QCOMPARE(env.firstNamesOnDisk(), (QStringList{QStringLiteral("Ann "), QStringLiteral("Bob "), QStringLiteral("Cy "),
                                                      QStringLiteral("Dee ")}));
        QCOMPARE(countLabel(d), QStringLiteral("4"));
    }

    void anImportThatFailsPartWayLeavesTheBookAsItWas()
    {
        QTemporaryDir files;
        const QString vcf = writeFile(files.filePath(QStringLiteral("contacts.vcf")), hundredContacts());
        TestEnv env;
        env.writeBook(typedBook());
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        Data* d = env.openData();
        click(d, "cmdEnd");
        click(d, "cmdNext");                      // the new slot, with a contact being typed
        typeInto(d, "txtFirst", QStringLiteral("Typed"));
        {
            // Room for the journal, not for a hundred records.
            const FileSizeLimit disk(before.size() + 20 * 440);
            env.dialogs().files << vcf;
            action(d, "mnuImport")->trigger();
        }
        QVERIFY2(lastBox(env).text.startsWith(QStringLiteral("Nothing was imported; the book is as it was.")),
                 qPrintable(lastBox(env).text));
        QCOMPARE(lastBox(env).title, QStringLiteral("ERROR!"));
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);
        QVERIFY(!QFile::exists(Journal::pathFor(env.phonebookPath())));
        QCOMPARE(countLabel(d), QStringLiteral("4"));
        QCOMPARE(lineEdit(d, "txtFirst")->text(), QStringLiteral("Typed"));   // nothing the user typed is lost
    }

    void exportAndImportIntoAnEmptyFolderGiveTheSameBook_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("vCard") << "book.vcf";
        QTest::newRow("CSV") << "book.csv";
    }

    void exportAndImportIntoAnEmptyFolderGiveTheSameBook()
    {
        QFETCH(QString, name);
        QTemporaryDir files;
        const QString file = files.filePath(name);
        QByteArray original;
        {
            TestEnv env;
            env.writeBook(typedBook());
            original = env.fileBytes(QStringLiteral("DravikBase.z8B"));
            Data* d = env.openData();
            env.dialogs().files << file;
            action(d, "mnuExport")->trigger();
            QCOMPARE(lastBox(env).text, QStringLiteral("4 contacts written to %1.").arg(name));
        }
        TestEnv env;
        Data* d = env.openData();
        env.dialogs().files << file;
        action(d, "mnuImport")->trigger();
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), original);
        QCOMPARE(countLabel(d), QStringLiteral("4"));
    }

    // The window exports as the tool does: a book with a record after a
    // free slot is not exported (the file would leave it out); it is
    // repaired first.
    void anExportNeverLeavesOutARecordBehindAFreeSlot()
    {
        QTemporaryDir files;
        const QString file = files.filePath(QStringLiteral("out.vcf"));
        TestEnv env;
        env.writeBook({named("Ann"), ContactRecord(), named("Hidden")});
        Data* d = env.openData();
        env.dialogs().files << file;
        action(d, "mnuExport")->trigger();
        QCOMPARE(lastBox(env).icon, MsgIcon::Critical);
        QVERIFY2(lastBox(env).text.contains(QStringLiteral("1 record after its free slot at record 2")) &&
                     lastBox(env).text.contains(QStringLiteral("repair")),
                 qPrintable(lastBox(env).text));
        QVERIFY(!QFile::exists(file));
    }

    // Cancel while the file is read: nothing is added and nothing asked.
    void cancellingTheReadingAddsNothing()
    {
        QTemporaryDir files;
        QByteArray cards;
        for (int i = 0; i < 3000; ++i)
            cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Last;N" + QByteArray::number(i) + ";;;\r\nEND:VCARD\r\n";
        const QString vcf = files.filePath(QStringLiteral("many.vcf"));
        QFile f(vcf);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(cards) == cards.size());
        f.close();
        TestEnv env;
        env.writeBook(typedBook());
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        Data* d = env.openData();
        env.dialogs().files << vcf;
        Progress::cancelAtForTesting(1);
        action(d, "mnuImport")->trigger();
        QVERIFY2(env.boxes().shown.isEmpty(), qPrintable(env.messages().join(u'|')));
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);
        QCOMPARE(countLabel(d), QStringLiteral("4"));
    }

    void aNameWithoutEndingFollowsTheChosenFilter()
    {
        QTemporaryDir files;
        TestEnv env;
        env.writeBook(typedBook());
        Data* d = env.openData();
        const QStringList filters = {QStringLiteral("CSV files (*.csv)"), QStringLiteral("vCard files (*.vcf)")};
        for (const QString& filter : filters) {
            const QString base = files.filePath(filter.left(3).toLower());
            env.dialogs().files << base;
            env.dialogs().saveFilters << filter;
            action(d, "mnuExport")->trigger();
            const bool csv = filter.startsWith(QLatin1String("CSV"));
            QFile out(base + (csv ? QStringLiteral(".csv") : QStringLiteral(".vcf")));
            QVERIFY2(out.open(QIODevice::ReadOnly), qPrintable(out.fileName()));
            const QByteArray head = out.read(16);
            QVERIFY2(head.startsWith(csv ? "\xEF\xBB\xBF" : "BEGIN:VCARD"), head.constData());
            QVERIFY(!QFile::exists(base));
        }
    }

    void theCheckFindsAHoleAndTheRepairClosesItAfterABackup()
    {
        TestEnv env;
        env.writeBook({named("Ann"), named("Bob"), ContactRecord(), named("Di"), named("Eve")});
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        Data* d = env.openData();
        QCOMPARE(countLabel(d), QStringLiteral("2"));

        // An import would overwrite Di: it is refused until the repair.
        QTemporaryDir files;
        env.dialogs().files << writeFile(files.filePath(QStringLiteral("x.csv")), "First Name\r\nNew\r\n");
        action(d, "mnuImport")->trigger();
        QVERIFY2(lastBox(env).text.contains(QStringLiteral("Check the book and repair it first")), qPrintable(lastBox(env).text));
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);

        // No leaves the book alone.
        env.boxes().answerNext(MsgAnswer::No);
        action(d, "mnuCheck")->trigger();
        QVERIFY2(lastBox(env).text.contains(QStringLiteral("Free slots inside the book: 3.")), qPrintable(lastBox(env).text));
        QVERIFY2(lastBox(env).text.contains(QStringLiteral("never shown: 4, 5.")), qPrintable(lastBox(env).text));
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);

        click(d, "cmdEnd");
        click(d, "cmdNext");   // on the new slot
        env.boxes().answerNext(MsgAnswer::Yes);
        action(d, "mnuCheck")->trigger();
        const QStringList backups = QDir::current().entryList({QStringLiteral("DravikBase.z8B.*.bak")});
        QCOMPARE(backups.size(), 1);
        QCOMPARE(env.fileBytes(backups[0]), before);
        QCOMPARE(env.firstNamesOnDisk(), (QStringList{QStringLiteral("Ann "), QStringLiteral("Bob "), QStringLiteral("Di "),
                                                      QStringLiteral("Eve ")}));
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")).size(), 4 * 440);
        QVERIFY2(lastBox(env).text.contains(backups[0]), qPrintable(lastBox(env).text));
        QCOMPARE(countLabel(d), QStringLiteral("4"));
        QCOMPARE(recordBox(d), QStringLiteral("5"));   // still the new slot, past the records brought in

        action(d, "mnuCheck")->trigger();
        QCOMPARE(lastBox(env).buttons, MsgButtons::Ok);
        QVERIFY2(lastBox(env).text.contains(QStringLiteral("Nothing else to report.")), qPrintable(lastBox(env).text));
    }
};

QTEST_MAIN(TestImportWindow)
#include "tst_import_window.moc"
