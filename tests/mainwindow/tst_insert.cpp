// The inserts of the "New Record" menu and the record clipboard's copy, cut
// and paste, driven through the menu items and toolbar buttons, with the
// phonebook and clipboard files checked byte for byte afterwards.
#include "support/TestEnv.h"

#include <QTest>
#include <QToolBar>

using namespace pb;
using namespace pb::test;

namespace {

const QString kBook = QStringLiteral("DravikBase.z8B");
const QString kClip = QStringLiteral("PhoneClip.z8B");
const QString kPlaceholder = QStringLiteral("[Inserted record]");

// A contact with every field in use, the address on two lines.
ContactRecord ann()
{
    return makeRecord({"Ann", "Lee", "555-0101", "ann@example.com", "Acme", "1 Main St\r\nSpringfield",
                       "Met at the fair"});
}

// Right after an insert: the placeholder on show, its first name selected
// and focused so that typing replaces it.
void verifyPlaceholderOnShow(Data* d)
{
    QStringList expected(kFieldCount, QString());
    expected[0] = kPlaceholder;
    QCOMPARE(shownBoxes(d), expected);
    QLineEdit* first = lineEdit(d, "txtFirst");
    QCOMPARE(first->selectedText(), kPlaceholder);
    QCOMPARE(d->focusWidget(), first);
}

} // namespace

class TestInsert : public QObject
{
    Q_OBJECT
private slots:
    // --- inserts ------------------------------------------------------------------

    void insertsOpenAPlaceholder_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("record");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("placeholderAt");
        QTest::newRow("before 2") << "mnuInsertBefore" << 2 << QStringList{"A", kPlaceholder, "B", "C"} << 2;
        QTest::newRow("after 2") << "mnuInsertAfter" << 2 << QStringList{"A", "B", kPlaceholder, "C"} << 3;
        QTest::newRow("at the beginning, from 3")
            << "mnuInsertBegining" << 3 << QStringList{kPlaceholder, "A", "B", "C"} << 1;
    }

    void insertsOpenAPlaceholder()
    {
        QFETCH(QString, item);
        QFETCH(int, record);
        QFETCH(QStringList, after);
        QFETCH(int, placeholderAt);
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        goTo(d, record);
        lineEdit(d, "txtLast")->setFocus();
        action(d, qPrintable(item))->trigger();

        const QByteArray bytes = env.fileBytes(kBook);
        QCOMPARE(bytes, bytesOfNames(after));
        // The placeholder as stored: its name padded with three spaces, every
        // other field all spaces.
        QCOMPARE(bytes.mid((placeholderAt - 1) * 440, 440), kPlaceholder.toLatin1() + QByteArray(423, ' '));
        QCOMPARE(recordBox(d), QString::number(placeholderAt));
        QCOMPARE(countLabel(d), QStringLiteral("4"));
        verifyPlaceholderOnShow(d);

        // It is an ordinary record of the book: shown again, its empty fields
        // read as single spaces.
        click(d, "cmdNext");
        QCOMPARE(d->boxText(Field::FirstName), after[placeholderAt] + u' ');
        click(d, "cmdPrevious");
        QCOMPARE(shownBoxes(d), (QStringList{kPlaceholder + u' ', " ", " ", " ", " ", " ", " "}));
    }

    void insertsThatShowTheNewSlot_data()
    {
        QTest::addColumn<QStringList>("book");
        QTest::addColumn<int>("record");
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<QString>("item");
        const QStringList seven{"A", "B", "C", "D", "E", "F", "G"};
        QTest::newRow("after, on the last") << QStringList{"A", "B", "C"} << 3 << "3" << "mnuInsertAfter";
        QTest::newRow("after, on 07 of 7") << seven << 7 << "07" << "mnuInsertAfter";
        QTest::newRow("at the end") << QStringList{"A", "B", "C"} << 2 << "2" << "mnuInsertEnd";
    }

    void insertsThatShowTheNewSlot()
    {
        QFETCH(QStringList, book);
        QFETCH(int, record);
        QFETCH(QString, boxText);
        QFETCH(QString, item);
        TestEnv env;
        env.writeBookNames(book);
        Data* d = env.openData();
        goTo(d, record);
        d->setRecordBox(boxText);
        action(d, qPrintable(item))->trigger();

        const QString count = QString::number(book.size());
        QCOMPARE(recordBox(d), QString::number(book.size() + 1));
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: %1 of %2").arg(book.size() + 1).arg(count));
        QCOMPARE(shownBoxes(d), QStringList(kFieldCount, QString()));
        QCOMPARE(env.fileBytes(kBook), bytesOfNames(book));
        QCOMPARE(countLabel(d), count);
    }

    // No place can be opened before or after a number below 1 (left in the box
    // by a failed jump), nor on the new slot.
    void insertsThatDoNothing_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("record");
        QTest::addColumn<QString>("boxText");
        for (const char* item : {"mnuInsertBefore", "mnuInsertAfter"}) {
            QTest::addRow("%s, box 0", item) << item << 1 << "0";
            QTest::addRow("%s, box -1", item) << item << 1 << "-1";
            QTest::addRow("%s, new slot", item) << item << 4 << "4";
        }
    }

    void insertsThatDoNothing()
    {
        QFETCH(QString, item);
        QFETCH(int, record);
        QFETCH(QString, boxText);
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        goTo(d, record);
        d->setRecordBox(boxText);
        const QStringList shown = shownBoxes(d);
        action(d, qPrintable(item))->trigger();

        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B", "C"}));
        QCOMPARE(countLabel(d), QStringLiteral("3"));
        QCOMPARE(recordBox(d), boxText);
        QCOMPARE(shownBoxes(d), shown);
        QVERIFY(env.boxes().shown.isEmpty());
    }

    // A shift that cannot grow the file stops before anything moves, and the
    // record on show stays on show: applying it afterwards loses nothing.
    void anInsertThatCannotGrowTheFileChangesNothing_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("record");
        QTest::newRow("before") << "mnuInsertBefore" << 2;
        QTest::newRow("after") << "mnuInsertAfter" << 1;
        QTest::newRow("at the beginning") << "mnuInsertBegining" << 1;
    }

    void anInsertThatCannotGrowTheFileChangesNothing()
    {
        QFETCH(QString, item);
        QFETCH(int, record);
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        goTo(d, record);
        const QStringList shown = shownBoxes(d);
        {
            FileSizeLimit full(3 * 440);
            action(d, qPrintable(item))->trigger();
        }
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B", "C"}));
        QCOMPARE(countLabel(d), QStringLiteral("3"));
        QCOMPARE(recordBox(d), QString::number(record));
        QCOMPARE(shownBoxes(d), shown);
        // Said, with its cause.
        QCOMPARE(env.boxes().shown.size(), 1);
        QVERIFY(env.boxes().shown[0].text.startsWith(QStringLiteral("No record was inserted; the book is as it was.\r\nCause: ")));

        click(d, "cmdAdd");
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B", "C"}));
        QCOMPARE(env.boxes().shown.size(), 1);
    }

    // --- the record clipboard -------------------------------------------------------

    void pasteAfterTheLastRecordAppendsTheCopy()
    {
        TestEnv env;
        env.writeBook({ann(), named("B"), named("C")});
        Data* d = env.openData();
        clickToolbar(d, "CopyRecord");
        QCOMPARE(env.fileBytes(kClip), bytesOf(ann()));

        const QStringList annShown = shownBoxes(d);
        click(d, "cmdEnd");
        QCOMPARE(recordBox(d), QStringLiteral("3"));
        clickToolbar(d, "PasteRecord");

        QCOMPARE(env.fileBytes(kBook), bytesOf(ann()) + bytesOfNames({"B", "C"}) + bytesOf(ann()));
        QCOMPARE(countLabel(d), QStringLiteral("4"));
        QCOMPARE(recordBox(d), QStringLiteral("4"));
        QCOMPARE(shownBoxes(d), annShown);
        QCOMPARE(env.fileBytes(kClip), bytesOf(ann()));
        QVERIFY(env.boxes().shown.isEmpty());
    }

    void pasteInsideTheBookLandsAfterTheRecordOnShow()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        env.writeClipboard(ann());   // copied in an earlier run
        Data* d = env.openData();
        clickToolbar(d, "PasteRecord");

        QCOMPARE(env.fileBytes(kBook), bytesOf(named("A")) + bytesOf(ann()) + bytesOfNames({"B", "C"}));
        QCOMPARE(recordBox(d), QStringLiteral("2"));
        QCOMPARE(countLabel(d), QStringLiteral("4"));
        QCOMPARE(d->boxText(Field::Address), QStringLiteral("1 Main St\r\nSpringfield "));
    }

    void copyDropsEditsNotYetApplied()
    {
        TestEnv env;
        env.writeBook({ann(), named("B")});
        Data* d = env.openData();
        typeInto(d, "txtLast", QStringLiteral("Changed"));
        clickToolbar(d, "CopyRecord");

        QCOMPARE(d->boxText(Field::LastName), QStringLiteral("Lee "));
        QCOMPARE(env.fileBytes(kClip), bytesOf(ann()));
        QCOMPARE(env.fileBytes(kBook), bytesOf(ann()) + bytesOf(named("B")));
    }

    // A scan (here the records list) leaves another record in the buffer;
    // copy, cut and a later Apply still act on the record on show.
    void clipboardActsOnTheRecordOnShowAfterAScan()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        goTo(d, 2);
        d->mnuShow_Click();   // reads every record into the buffer
        clickToolbar(d, "CopyRecord");
        QCOMPARE(env.fileBytes(kClip), bytesOf(named("B")));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("B "));
        click(d, "cmdAdd");
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B", "C"}));

        d->mnuShow_Click();
        clickToolbar(d, "CutRecord");   // answered Yes
        QCOMPARE(env.fileBytes(kClip), bytesOf(named("B")));
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "C"}) + QByteArray(440, '\0'));
    }

    void cutCopiesThenAsksBeforeDeleting_data()
    {
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<QByteArray>("book");
        QTest::addColumn<QString>("shownRecord");
        QTest::addColumn<QString>("count");
        QTest::newRow("answered No") << MsgAnswer::No << bytesOfNames({"A", "B", "C"}) << "2" << "3";
        QTest::newRow("answered Yes") << MsgAnswer::Yes << bytesOfNames({"A", "C"}) + QByteArray(440, '\0') << "1"
                                      << "2";
    }

    void cutCopiesThenAsksBeforeDeleting()
    {
        QFETCH(MsgAnswer, answer);
        QFETCH(QByteArray, book);
        QFETCH(QString, shownRecord);
        QFETCH(QString, count);
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        goTo(d, 2);
        env.boxes().answerNext(answer);
        clickToolbar(d, "CutRecord");

        QCOMPARE(env.boxes().shown.size(), 1);
        QCOMPARE(env.boxes().shown.first().title, QStringLiteral("Continue?"));
        QCOMPARE(env.fileBytes(kClip), bytesOf(named("B")));
        QCOMPARE(env.fileBytes(kBook), book);
        QCOMPARE(recordBox(d), shownRecord);
        QCOMPARE(countLabel(d), count);
        QCOMPARE(d->boxText(Field::FirstName), answer == MsgAnswer::Yes ? QStringLiteral("A ") : QStringLiteral("B "));
    }

    void pasteOfAnEmptyClipboardLeavesThePlaceholder()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        clickToolbar(d, "PasteRecord");

        QCOMPARE(env.messages(), QStringList{"To add a record you need to provide a first name"});
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", kPlaceholder, "B", "C"}));
        QCOMPARE(shownBoxes(d), QStringList(kFieldCount, QString()));
        QCOMPARE(recordBox(d), QStringLiteral("2"));
        QCOMPARE(countLabel(d), QStringLiteral("4"));
        QCOMPARE(env.fileBytes(kClip), QByteArray());
    }
};

QTEST_MAIN(TestInsert)
#include "tst_insert.moc"
