#include "platform/Twips.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QFileInfo>

#include <sys/stat.h>

using namespace pb;
using namespace pb::test;

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void firstRunInAnEmptyFolder()
    {
        TestEnv env;
        Data* d = env.openData();
        QVERIFY(QFile::exists(env.phonebookPath()));
        QVERIFY(QFile::exists(env.clipboardPath()));
        QCOMPARE(env.fileBytes("DravikBase.z8B").size(), 0);
        QCOMPARE(twips::outerGeometry(d), QRect(75, 75, 5460, 8340));
        QCOMPARE(d->backgroundColor(), 0);
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 1 of 0"));
        QCOMPARE(countLabel(d), QStringLiteral("0"));
        QCOMPARE(shownBoxes(d), QStringList(7, QString()));
        QVERIFY(!action(d, "mnuNew")->isEnabled());
        QVERIFY(env.boxes().shown.isEmpty());

        env.closeData();
        QVERIFY(QFile::exists(env.iniPath()));
        QCOMPARE(env.setting("FormTop"), QStringLiteral("75"));
        QCOMPARE(env.setting("FormLeft"), QStringLiteral("75"));
        QCOMPARE(env.setting("FormWidth"), QStringLiteral("5460"));
        QCOMPARE(env.setting("FormHeight"), QStringLiteral("8340"));
        QCOMPARE(env.setting("RecordNumber"), QStringLiteral("1"));
        QCOMPARE(env.setting("FormBackColor"), QStringLiteral("0"));
        QCOMPARE(env.setting("FormBackPicture"), QStringLiteral("0"));
        QFile ini(env.iniPath());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(ini.readAll().contains("[Phonebook]"));
    }

    void savedGeometryAndColourComeBack()
    {
        TestEnv env;
        env.setSetting("FormTop", "1500");
        env.setSetting("FormLeft", "3000");
        env.setSetting("FormWidth", "3000");     // below the minimum width
        env.setSetting("FormHeight", "9000");
        env.setSetting("FormBackColor", "16512");
        env.setSetting("FormBackPicture", "/somewhere/pic.jpg");
        Data* d = env.openData();
        QCOMPARE(twips::outerGeometry(d), QRect(3000, 1500, 5460, 9000));
        QCOMPARE(d->backgroundColor(), 16512);
        QCOMPARE(d->backPicturePath(), QStringLiteral("/somewhere/pic.jpg"));
        env.closeData();
        QCOMPARE(env.setting("FormWidth"), QStringLiteral("5460"));
        QCOMPARE(env.setting("FormBackColor"), QStringLiteral("16512"));
        QCOMPARE(env.setting("FormBackPicture"), QStringLiteral("/somewhere/pic.jpg"));
    }

    // Geometry no screen can show is brought within reach; a sane one stays.
    void absurdGeometryIsKeptOnTheScreen_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("top");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::newRow("huge") << "75" << "75" << "1e9" << "1e9";
        QTest::newRow("largest float") << "75" << "75" << "3.4e38" << "3.4e38";
        QTest::newRow("far off to the right") << "9000000" << "75" << "5460" << "8340";
        QTest::newRow("far above") << "75" << "-900000" << "5460" << "8340";
        QTest::newRow("far off negative") << "-3.4e38" << "-3.4e38" << "5460" << "8340";
    }

    void absurdGeometryIsKeptOnTheScreen()
    {
        QFETCH(QString, left);
        QFETCH(QString, top);
        QFETCH(QString, width);
        QFETCH(QString, height);
        TestEnv env;
        env.setSetting("FormLeft", left);
        env.setSetting("FormTop", top);
        env.setSetting("FormWidth", width);
        env.setSetting("FormHeight", height);
        Data* d = env.openData();
        const QRect avail = d->screen()->availableGeometry();
        QVERIFY2(avail.contains(d->frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(d->x()).arg(d->y()).arg(d->width()).arg(d->height())));
        env.closeData();
        // What is saved is what the user saw.
        QVERIFY(env.setting("FormWidth").toInt() <= twips::fromPixels(avail.width()));
        QVERIFY(env.setting("FormTop").toInt() >= twips::fromPixels(avail.top()));
    }

    void theSavedRecordIsShownAgain()
    {
        TestEnv env;
        env.writeBook({makeRecord({"Ann", "Lee"}), makeRecord({"Bob", "Stone", "555-1234", "bob@x.org", "Acme",
                                                             "Main St\r\nTown", "Likes tea"}),
                       makeRecord({"Cy"})});
        env.setSetting("RecordNumber", "2");
        Data* d = env.openData();
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 2 of 3"));
        QCOMPARE(shownBoxes(d), (QStringList{"Bob ", "Stone ", "555-1234 ", "bob@x.org ", "Acme ",
                                             "Main St\r\nTown ", "Likes tea "}));
        QVERIFY(action(d, "mnuNew")->isEnabled());
    }

    void closingMinimisedKeepsTheEarlierGeometry()
    {
        TestEnv env;
        env.setSetting("FormTop", "600");
        env.setSetting("FormLeft", "900");
        env.setSetting("FormWidth", "6000");
        env.setSetting("FormHeight", "9000");
        Data* d = env.openData();
        d->move(200, 200);
        d->showMinimized();
        QVERIFY(d->isMinimized());
        env.closeData();
        QCOMPARE(env.setting("FormTop"), QStringLiteral("600"));
        QCOMPARE(env.setting("FormLeft"), QStringLiteral("900"));
        QCOMPARE(env.setting("FormWidth"), QStringLiteral("6000"));
        QCOMPARE(env.setting("RecordNumber"), QStringLiteral("1"));   // the record is saved all the same
    }

    void theNewSlotIsSavedAndShownAgain()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C", "D", "E", "F", "G"});
        env.setSetting("RecordNumber", "7");
        Data* d = env.openData();
        click(d, "cmdNext");
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 8 of 7"));
        env.restart();
        QCOMPARE(env.setting("RecordNumber"), QStringLiteral("8"));
        d = env.openData();
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 8 of 7"));
        QCOMPARE(countLabel(d), QStringLiteral("7"));
        QCOMPARE(d->boxText(Field::FirstName), QString());
    }

    // The book is counted from record 1 whatever number was saved; a saved
    // number outside 1 ... count + 1 shows record 1.
    void theCountDoesNotDependOnTheSavedNumber_data()
    {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("shownRecord");
        QTest::newRow("beyond the book") << "20" << "1";
        QTest::newRow("empty") << "" << "1";
        QTest::newRow("not a number") << "abc" << "1";
        QTest::newRow("zero") << "0" << "1";
        QTest::newRow("negative") << "-4" << "1";
        QTest::newRow("too big for 16 bits") << "70000" << "1";
        QTest::newRow("last record") << "7" << "7";
        QTest::newRow("new slot") << "8" << "8";
    }

    void theCountDoesNotDependOnTheSavedNumber()
    {
        QFETCH(QString, saved);
        QFETCH(QString, shownRecord);
        TestEnv env;
        env.writeBookNames({"A", "B", "C", "D", "E", "F", "G"});
        env.setSetting("RecordNumber", saved);
        Data* d = env.openData();
        QCOMPARE(countLabel(d), QStringLiteral("7"));
        QCOMPARE(recordBox(d), shownRecord);
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: %1 of 7").arg(shownRecord));
        const QString first = shownRecord == "8" ? QString() : QStringLiteral("ABCDEFG").mid(shownRecord.toInt() - 1, 1) + " ";
        QCOMPARE(d->boxText(Field::FirstName), first);
    }

    void aBadGeometryValueFallsBackToItsDefault()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        env.setSetting("FormTop", "letters");
        env.setSetting("FormWidth", "wide");
        env.setSetting("FormBackColor", "brown");
        env.setSetting("RecordNumber", "2");
        Data* d = env.openData();
        QCOMPARE(twips::outerGeometry(d), QRect(75, 75, 5460, 8340));
        QCOMPARE(d->backgroundColor(), 0);
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 2 of 3"));
        env.closeData();
        QCOMPARE(env.setting("RecordNumber"), QStringLiteral("2"));
        QCOMPARE(env.setting("FormTop"), QStringLiteral("75"));
    }

    // A pipe under the book's name is never read (a read would block or
    // lose what it took): the user is told once, and the window closes as usual.
    void aBookThatIsAPipeIsRefusedWithAMessage()
    {
        TestEnv env;
        QVERIFY(::mkfifo(QFile::encodeName(env.phonebookPath()).constData(), 0600) == 0);
        Data* d = env.openData();
        QTRY_COMPARE(env.messages().size(), 1);
        QVERIFY2(env.messages().first().startsWith(QStringLiteral("The phonebook could not be opened.\r\nCause: ")),
                 qPrintable(env.messages().first()));
        QVERIFY(env.messages().first().contains(QStringLiteral("not a regular file")));
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 1 of 0"));
        typeInto(d, "txtFirst", QStringLiteral("John"));
        click(d, "cmdAdd");   // refused with the reason, nothing hangs
        QCOMPARE(env.messages().size(), 2);
        QVERIFY(env.messages().last().contains(QStringLiteral("not a regular file")));
        env.closeData();
        QVERIFY(!env.ctx().windows.existing<Data>());
        QVERIFY(QFileInfo(env.phonebookPath()).exists() && !QFileInfo(env.phonebookPath()).isFile());
    }

    void aBookThatCannotBeOpenedStartsEmptyWithoutAMessage()
    {
        TestEnv env;
        QVERIFY(QDir().mkdir(env.phonebookPath()));
        env.setSetting("RecordNumber", "3");
        Data* d = env.openData();
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 1 of 0"));
        QVERIFY(env.boxes().shown.isEmpty());
        QVERIFY(!action(d, "mnuNew")->isEnabled());
    }

    void aFullBookCountsEveryRecord()
    {
        TestEnv env;
        QList<ContactRecord> all(32767, named("X"));
        env.writeBook(all);
        env.setSetting("RecordNumber", "32767");
        Data* d = env.openData();
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 32767 of 32767"));
        click(d, "cmdNext");   // there is no record after 32767
        QCOMPARE(recordBox(d), QStringLiteral("32767"));
        QVERIFY(env.boxes().shown.isEmpty());
    }

    void theControlsCarryTheirLimitsAndHints()
    {
        TestEnv env;
        Data* d = env.openData();
        const std::pair<const char*, int> limits[] = {{"txtFirst", 18}, {"txtLast", 18}, {"txtPhone", 25},
                                                      {"txtEmail", 31}, {"txtCompany", 58}};
        for (auto [name, limit] : limits) {
            typeInto(d, name, QString(70, 'w'));
            QCOMPARE(lineEdit(d, name)->text().size(), limit);
        }
        typeInto(d, "txtAddress", QString(130, 'a'));
        QCOMPARE(d->boxText(Field::Address).size(), 118);
        typeInto(d, "txtComments", QString(20, 'c'));
        QTest::keyClick(d->findChild<QWidget*>("txtComments"), Qt::Key_Return);
        QCOMPARE(d->boxText(Field::Comments), QString(20, 'c') + "\r\n");
        QCOMPARE(lineEdit(d, "txtRecord")->toolTip(), QStringLiteral("Enter a record number"));
        QCOMPARE(button(d, "cmdAdd")->toolTip(), QStringLiteral("Apply changes"));
        QCOMPARE(button(d, "cmdDelete")->toolTip(), QStringLiteral("Delete this record"));
        QCOMPARE(button(d, "cmdBegining")->toolTip(), QStringLiteral("Begining"));
        QCOMPARE(backColor(lineEdit(d, "txtFirst")), 8438015);
        QCOMPARE(lineEdit(d, "txtFirst")->geometry(), QRect(25, 128, 208, 24));
    }

    // Every menu item and toolbar button, in order, with its caption,
    // shortcut and state when the window opens.
    void theCommandsAreThoseOfTheList()
    {
        TestEnv env;
        Data* d = env.openData();
        QFile expected(QFINDTESTDATA("main-window-commands.txt"));
        QVERIFY(expected.open(QIODevice::ReadOnly));
        const QStringList want = QString::fromUtf8(expected.readAll()).split(u'\n');
        const QStringList got = dumpCommands(d).split(u'\n');
        for (qsizetype i = 0; i < std::min(want.size(), got.size()); ++i)
            QCOMPARE(got[i], want[i]);
        QCOMPARE(got.size(), want.size());
    }

    // The browser is a package of its own: without it, z8P Surfer... and
    // the Online menu tell how to install it, and nothing else changes.
    void withoutTheBrowserPackageTheUserIsToldHowToGetIt()
    {
        TestEnv env;
        env.writeBookNames({"Ann"});
        env.ctx().programFolder = env.path(QStringLiteral("no-plugin-here"));
        Data* d = env.openData();
        for (const char* item : {"mnuProHandler", "mnuProduct", "mnuSupport"}) {
            action(d, item)->trigger();
            QCOMPARE(env.boxes().shown.size(), 1);
            const auto box = env.boxes().shown.takeFirst();
            QCOMPARE(box.title, QStringLiteral("z8P Surfer"));
            QVERIFY2(box.text.contains(QStringLiteral("is not installed")) &&
                         box.text.contains(QStringLiteral("sudo apt install z8p-phonebook-browser")),
                     qPrintable(box.text));
        }
        QCOMPARE(d->windowTitle(), QStringLiteral("PhoneBook Record: 1 of 1"));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
