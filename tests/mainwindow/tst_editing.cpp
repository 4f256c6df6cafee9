// Apply and Delete on the main window, driven through its buttons and menu
// items, with the phonebook file checked byte for byte afterwards.
#include "support/TestEnv.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QTest>

#include <cstring>

using namespace pb;
using namespace pb::test;

namespace {

const QString kBook = QStringLiteral("DravikBase.z8B");

const QByteArray kFreeSlot(static_cast<qsizetype>(kRecordSize), '\0');

bool newRecordEnabled(Data* d)
{
    return d->findChild<QMenu*>(QStringLiteral("mnuNew"))->menuAction()->isEnabled();
}

} // namespace

class TestEditing : public QObject
{
    Q_OBJECT
private slots:
    // --- Apply ------------------------------------------------------------------

    void applyWithoutFirstNameWritesNothing()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        goTo(d, 2);
        typeInto(d, "txtFirst", QString());
        typeInto(d, "txtLast", QStringLiteral("Smith"));
        typeInto(d, "txtPhone", QStringLiteral("555"));
        click(d, "cmdAdd");

        QCOMPARE(env.boxes().shown.size(), 1);
        const auto& box = env.boxes().shown.first();
        QCOMPARE(box.text, QStringLiteral("To add a record you need to provide a first name"));
        QCOMPARE(box.title, QStringLiteral("Please enter a first name"));
        QCOMPARE(box.buttons, MsgButtons::Ok);
        QCOMPARE(box.icon, MsgIcon::Information);
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B", "C"}));
        QCOMPARE(shownBoxes(d).mid(0, 3), (QStringList{"", "Smith", "555"}));
        QCOMPARE(recordBox(d), QStringLiteral("2"));
    }

    void applyOnTheNewSlotAppendsAndTheTitleKeepsTheOldCount()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        click(d, "cmdEnd");
        click(d, "cmdNext");
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 4 of 3"));
        typeInto(d, "txtFirst", QStringLiteral("John"));
        typeInto(d, "txtLast", QStringLiteral("Doe"));
        typeInto(d, "txtAddress", QStringLiteral("1 Main St"));
        click(d, "cmdAdd");

        QVERIFY(env.boxes().shown.isEmpty());
        const ContactRecord john = makeRecord({"John", "Doe", "", "", "", "1 Main St"});
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B", "C"}) + bytesOf({john}));
        QCOMPARE(countLabel(d), QStringLiteral("4"));
        QCOMPARE(recordBox(d), QStringLiteral("4"));
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 4 of 3"));
        // The boxes come back as stored: John typed without a space shows one.
        QCOMPARE(shownBoxes(d), (QStringList{"John ", "Doe ", " ", " ", " ", "1 Main St ", " "}));

        click(d, "cmdPrevious");
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 3 of 4"));
    }

    void applyInsideTheBookOverwritesTheRecord()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C", "D", "E"});
        Data* d = env.openData();
        goTo(d, 2);
        const QString company = QStringLiteral("Thirty Characters Company Ltd.");
        QCOMPARE(company.size(), 30);
        typeInto(d, "txtCompany", company);
        click(d, "cmdAdd");

        QList<ContactRecord> expected;
        for (const char* n : {"A", "B", "C", "D", "E"})
            expected.append(named(QString::fromLatin1(n)));
        expected[1].store(Field::Company, company);
        const QByteArray bytes = env.fileBytes(kBook);
        QCOMPARE(bytes, bytesOf(expected));
        QCOMPARE(bytes.mid(440 + 100, 60), company.toLatin1() + QByteArray(30, ' '));
        QCOMPARE(d->boxText(Field::Company), company + u' ');
        QCOMPARE(countLabel(d), QStringLiteral("5"));
        QCOMPARE(recordBox(d), QStringLiteral("2"));
    }

    void saveChangesAndCtrlSApplyAndEnableNewRecord()
    {
        TestEnv env;   // no book yet: it is created empty
        Data* d = env.openData();
        QVERIFY(!newRecordEnabled(d));
        QCOMPARE(recordBox(d), QStringLiteral("1"));

        typeInto(d, "txtFirst", QStringLiteral("John"));
        action(d, "mnuSave")->trigger();
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"John"}));
        QCOMPARE(countLabel(d), QStringLiteral("1"));
        QVERIFY(newRecordEnabled(d));

        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d));
        typeInto(d, "txtLast", QStringLiteral("Jim"));
        QTest::keyClick(lineEdit(d, "txtLast"), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(env.fileBytes(kBook), bytesOf({makeRecord({"John", "Jim"})}));
        QCOMPARE(shownBoxes(d).mid(0, 2), (QStringList{"John ", "Jim "}));
        QVERIFY(env.boxes().shown.isEmpty());
    }

    // A write that fails must not pass for a saved record.
    void aFailedWriteKeepsTheBoxesAndTheBook_data()
    {
        QTest::addColumn<qint64>("room");
        QTest::newRow("full at a record boundary") << qint64(3 * 440);
        QTest::newRow("full inside the new record") << qint64(3 * 440 + 10);
    }

    void aFailedWriteKeepsTheBoxesAndTheBook()
    {
        QFETCH(qint64, room);
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        click(d, "cmdEnd");
        click(d, "cmdNext");
        typeInto(d, "txtFirst", QStringLiteral("John"));
        typeInto(d, "txtLast", QStringLiteral("Doe"));
        {
            FileSizeLimit full(room);
            click(d, "cmdAdd");
        }

        QCOMPARE(env.boxes().shown.size(), 1);
        const auto& box = env.boxes().shown.first();
        const QString prefix = QStringLiteral("The record was not saved.");
        QVERIFY2(box.text.startsWith(prefix), qPrintable(box.text));
        QVERIFY2(box.text.size() > prefix.size() + 2, "the system's reason is missing");
        QCOMPARE(box.title, QStringLiteral("ERROR!"));
        QCOMPARE(box.icon, MsgIcon::Critical);
        QCOMPARE(shownBoxes(d).mid(0, 2), (QStringList{"John", "Doe"}));
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B", "C"}));
        QCOMPARE(countLabel(d), QStringLiteral("3"));
        QCOMPARE(recordBox(d), QStringLiteral("4"));

        // Once there is room again the same boxes are saved.
        click(d, "cmdAdd");
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B", "C"}) + bytesOf({makeRecord({"John", "Doe"})}));
        QCOMPARE(countLabel(d), QStringLiteral("4"));
    }

    // A book that could not be opened gives the system's reason for it.
    void applyOnABookThatCouldNotBeOpenedSaysWhy()
    {
        TestEnv env;
        QVERIFY(QDir().mkdir(env.phonebookPath()));   // not a file: opening fails, also for root
        Data* d = env.openData();
        typeInto(d, "txtFirst", QStringLiteral("John"));
        click(d, "cmdAdd");
        QCOMPARE(env.messages().size(), 1);
        const QString text = env.messages().first();
        QVERIFY2(text.startsWith(QStringLiteral("The record was not saved.\r\nCause: ")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("not open")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("directory"), Qt::CaseInsensitive), qPrintable(text));
    }

    // Apply writes back every byte nobody changed: no-break spaces, tabs,
    // every character of the code page, in every box.
    void applyKeepsTheBytesNobodyChanged()
    {
        TestEnv env;
        ContactRecord r = makeRecord({"A\u00A0B", "C\u00A0D", "1\u00A02", "e\u00A0f", "G\u00A0H",
                                      QStringLiteral("six.\u00A0 Ask\r\nnext\u00A0line"), QStringLiteral("x\u00A0\u00A0y")});
        std::string high;
        for (int b = 0xA0; b < 0x100; ++b)
            high.push_back(static_cast<char>(b));
        std::memcpy(r.bytes.data() + layoutOf(Field::Comments).offset + 4, high.data(), 96);
        env.writeBook({r, named("B")});
        const QByteArray before = env.fileBytes(kBook);
        Data* d = env.openData();
        click(d, "cmdAdd");
        QCOMPARE(env.fileBytes(kBook), before);
        click(d, "cmdAdd");
        QCOMPARE(env.fileBytes(kBook), before);
    }

    // Pasted text longer than the room left goes in as far as it fits;
    // text the program sets is not cut.
    void pastingKeepsWhatFits()
    {
        TestEnv env;
        env.writeBookNames({QString(20, u'x')});   // a full first name from other software
        Data* d = env.openData();
        QCOMPARE(d->boxText(Field::FirstName), QString(20, u'x'));
        QLineEdit* first = lineEdit(d, "txtFirst");
        typeInto(d, "txtFirst", QStringLiteral("abc"));
        first->setCursorPosition(1);
        QGuiApplication::clipboard()->setText(QStringLiteral("0123456789ABCDEFGHIJ"));
        first->paste();
        QCOMPARE(first->text(), QStringLiteral("a0123456789ABCDEbc"));
        QCOMPARE(first->cursorPosition(), 16);
        first->paste();   // full: nothing more goes in
        QCOMPARE(first->text(), QStringLiteral("a0123456789ABCDEbc"));
        first->selectAll();
        first->paste();   // replacing the whole text
        QCOMPARE(first->text(), QStringLiteral("0123456789ABCDEFGH"));
    }

    // A record written behind free slots would be lost to the next count.
    void applyPastTheNewSlotWritesIntoTheNewSlot()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        d->setRecordBox(12);
        typeInto(d, "txtFirst", QStringLiteral("Late"));
        click(d, "cmdAdd");

        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B", "C", "Late"}));
        QCOMPARE(recordBox(d), QStringLiteral("4"));
        QCOMPARE(countLabel(d), QStringLiteral("4"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("Late "));
    }

    // --- Delete -------------------------------------------------------------------

    void deleteMovesLaterRecordsDown_data()
    {
        QTest::addColumn<QStringList>("book");
        QTest::addColumn<int>("deleted");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("shownRecord");
        QTest::addColumn<QString>("shownFirst");
        QTest::newRow("2 of 4") << QStringList{"A", "B", "C", "D"} << 2 << QStringList{"A", "C", "D"} << "1" << "A ";
        QTest::newRow("first of 3") << QStringList{"A", "B", "C"} << 1 << QStringList{"B", "C"} << "1" << "B ";
        QTest::newRow("last of 3") << QStringList{"A", "B", "C"} << 3 << QStringList{"A", "B"} << "2" << "B ";
    }

    void deleteMovesLaterRecordsDown()
    {
        QFETCH(QStringList, book);
        QFETCH(int, deleted);
        QFETCH(QStringList, after);
        QFETCH(QString, shownRecord);
        QFETCH(QString, shownFirst);
        TestEnv env;
        env.writeBookNames(book);
        Data* d = env.openData();
        goTo(d, deleted);
        env.boxes().answerNext(MsgAnswer::Yes);
        click(d, "cmdDelete");

        QCOMPARE(env.boxes().shown.size(), 1);
        const auto& box = env.boxes().shown.first();
        QCOMPARE(box.text, QStringLiteral("You're about to cut or delete this record\r\nDo you want to continue?"));
        QCOMPARE(box.title, QStringLiteral("Continue?"));
        QCOMPARE(box.buttons, MsgButtons::YesNo);
        QCOMPARE(box.icon, MsgIcon::None);
        // The file keeps its length: the old last record becomes a free slot.
        QCOMPARE(env.fileBytes(kBook), bytesOfNames(after) + kFreeSlot);
        QCOMPARE(countLabel(d), QString::number(after.size()));
        QCOMPARE(recordBox(d), shownRecord);
        QCOMPARE(d->boxText(Field::FirstName), shownFirst);
    }

    void deletingTheOnlyRecordEmptiesTheBook()
    {
        TestEnv env;
        env.writeBook({makeRecord({"Solo", "One", "123"})});
        Data* d = env.openData();
        QVERIFY(newRecordEnabled(d));
        action(d, "mnuDelete")->trigger();

        QCOMPARE(env.boxes().shown.size(), 1);
        QCOMPARE(env.fileBytes(kBook), kFreeSlot);
        QCOMPARE(countLabel(d), QStringLiteral("0"));
        QCOMPARE(recordBox(d), QStringLiteral("1"));
        QCOMPARE(shownBoxes(d), QStringList(kFieldCount, QString()));
        QVERIFY(newRecordEnabled(d));
    }

    void deleteThatDoesNotApplyChangesNothing_data()
    {
        QTest::addColumn<int>("record");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<QString>("shownFirst");
        QTest::newRow("answered No") << 2 << MsgAnswer::No << "B ";
        QTest::newRow("on the new slot") << 4 << MsgAnswer::Yes << "";
    }

    void deleteThatDoesNotApplyChangesNothing()
    {
        QFETCH(int, record);
        QFETCH(MsgAnswer, answer);
        QFETCH(QString, shownFirst);
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        goTo(d, record);
        env.boxes().answerNext(answer);
        click(d, "cmdDelete");

        QCOMPARE(env.boxes().shown.size(), 1);
        QCOMPARE(env.boxes().shown.first().title, QStringLiteral("Continue?"));
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B", "C"}));
        QCOMPARE(countLabel(d), QStringLiteral("3"));
        QCOMPARE(recordBox(d), QString::number(record));
        QCOMPARE(d->boxText(Field::FirstName), shownFirst);
    }
};

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
