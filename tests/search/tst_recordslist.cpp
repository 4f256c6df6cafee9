#include "search/frmRecords.h"
#include "records/RecordNumber.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QListView>
#include <QPointer>
#include <QTest>

using namespace pb;
using namespace pb::test;

namespace {

QList<ContactRecord> threeContacts()
{
    return {
        makeRecord({"John", "Smith", "111"}),
        makeRecord({"Mary", "Major", "222"}),
        makeRecord({"Pete", "Jordan", "333", "pete@y.org"}),
    };
}


frmRecords* openList(TestEnv& env, Data* d)
{
    action(d, "mnuShow")->trigger();
    return env.ctx().windows.existing<frmRecords>();
}

QListView* listOf(frmRecords* w)
{
    return w->findChild<QListView*>(QStringLiteral("lstRecord"));
}

void clickLine(frmRecords* w, int row)
{
    QListView* list = listOf(w);
    const QRect line = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, line.center());
}

} // namespace

class TestRecordsList : public QObject
{
    Q_OBJECT

private slots:
    void eachRecordIsOneLineOfShownNamesAndItsNumber()
    {
        TestEnv env;
        QList<ContactRecord> book;
        book << makeRecord({"John", "Smith"});
        for (int i = 2; i <= 11; ++i)
            book << makeRecord({QStringLiteral("N%1").arg(i), QStringLiteral("L%1").arg(i)});
        book << makeRecord({"Ann", "    "});
        book << ContactRecord{};                          // a free slot ends the book
        book << makeRecord({"Hidden", "Behind"});
        env.writeBook(book);
        Data* d = env.openData();
        frmRecords* w = openList(env, d);
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("Available records"));

        const QStringList lines = w->lines();
        QCOMPARE(lines.size(), 12);
        QCOMPARE(lines[0], QStringLiteral("John   Smith   (1)"));
        QCOMPARE(lines[1], QStringLiteral("N2   L2   (2)"));
        QCOMPARE(lines[11], QStringLiteral("Ann") + QString(6, u' ') + QStringLiteral("(12)"));
        // The list is what the view shows, in record order.
        QCOMPARE(listOf(w)->model()->data(listOf(w)->model()->index(11, 0)).toString(), lines[11]);

        // The build leaves the last listed record in the buffer; the main
        // window still shows its own.
        QCOMPARE(env.ctx().book.RecordBuffer, book[11]);
        QCOMPARE(recordBox(d), QStringLiteral("1"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("John "));
    }

    // Five-digit numbers end their lines too, up to the last record there can be.
    void everyLineEndsInItsNumberInAFullBook()
    {
        TestEnv env;
        QList<ContactRecord> book;
        for (int i = 1; i <= kMaxRecord; ++i)
            book << makeRecord({QStringLiteral("F%1").arg(i), QStringLiteral("L%1").arg(i)});
        env.writeBook(book);
        Data* d = env.openData();
        const QStringList lines = openList(env, d)->lines();
        QCOMPARE(lines.size(), qsizetype(kMaxRecord));
        for (int i : {9, 10, 99, 999, 9999, 10000, 12345, kMaxRecord})
            QCOMPARE(lines[i - 1], QStringLiteral("F%1   L%1   (%1)").arg(i));
    }

    void anEmptyBookGivesAnEmptyList()
    {
        TestEnv env;
        Data* d = env.openData();
        d->Toolbar1_ButtonClick(QStringLiteral("OpenData"));
        frmRecords* w = env.ctx().windows.existing<frmRecords>();
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(w->lines().isEmpty());
    }

    void selectingALineShowsTheRecordAtItsPosition()
    {
        TestEnv env;
        const QList<ContactRecord> book = threeContacts();
        env.writeBook(book);
        Data* d = env.openData();
        d->cmdNext_Click();
        typeInto(d, "txtLast", "Edited");
        frmRecords* w = openList(env, d);
        QVERIFY(w);
        // Opening it selects nothing, though the list takes the focus.
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(QApplication::focusWidget(), listOf(w));
        QCOMPARE(recordBox(d), QStringLiteral("2"));
        QCOMPARE(d->boxText(Field::LastName), QStringLiteral("Edited"));
        const QStringList before = w->lines();

        clickLine(w, 2);
        QCOMPARE(recordBox(d), QStringLiteral("3"));
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 3 of 3"));
        QCOMPARE(shownBoxes(d), shownText(book[2]));

        QTest::keyClick(listOf(w), Qt::Key_Up);
        QCOMPARE(recordBox(d), QStringLiteral("2"));
        QCOMPARE(shownBoxes(d), shownText(book[1]));
        QTest::keyClick(listOf(w), Qt::Key_Down);
        QCOMPARE(recordBox(d), QStringLiteral("3"));

        // A move away in the main window and back through the list.
        d->cmdBegining_Click();
        typeInto(d, "txtLast", "Edited");
        clickLine(w, 1);
        QCOMPARE(recordBox(d), QStringLiteral("2"));
        QCOMPARE(shownBoxes(d), shownText(book[1]));

        QVERIFY(w->isVisible());
        QVERIFY(env.ctx().windows.existing<frmRecords>() == w);
        QCOMPARE(w->lines(), before);
        QVERIFY(env.boxes().shown.isEmpty());
    }

    void exitKeepsTheOldListUntilRefresh()
    {
        TestEnv env;
        env.writeBook(threeContacts());
        Data* d = env.openData();
        frmRecords* w = openList(env, d);
        QVERIFY(w);
        const QStringList old = w->lines();

        const QPointer<frmRecords> kept(w);
        click(w, "cmdExit");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(kept);
        QVERIFY(env.ctx().windows.existing<frmRecords>() == w);
        QVERIFY(!w->isVisible());

        // A record put in front of the others in the main window.
        action(d, "mnuInsertBegining")->trigger();
        QCOMPARE(countLabel(d), QStringLiteral("4"));
        QVERIFY(openList(env, d) == w);
        QVERIFY(w->isVisible());
        QCOMPARE(w->lines(), old);

        // The first line still reads John but leads to what is record 1 now.
        clickLine(w, 0);
        QCOMPARE(recordBox(d), QStringLiteral("1"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("[Inserted record] "));
        clickLine(w, 1);
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("John "));

        click(w, "cmdRefresh");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        frmRecords* fresh = env.ctx().windows.existing<frmRecords>();
        QVERIFY(fresh);
        QVERIFY(fresh->isVisible());
        QCOMPARE(fresh->lines(),
                 QStringList({QStringLiteral("[Inserted record]") + QString(6, u' ') + QStringLiteral("(1)"), "John   Smith   (2)", "Mary   Major   (3)",
                              "Pete   Jordan   (4)"}));
    }

    void theCloseBoxUnloadsTheList()
    {
        TestEnv env;
        env.writeBook(threeContacts());
        Data* d = env.openData();
        frmRecords* w = openList(env, d);
        QVERIFY(w);
        QCOMPARE(w->lines().size(), 3);
        w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!env.ctx().windows.existing<frmRecords>());

        d->Toolbar1_ButtonClick(QStringLiteral("NewRecord"));
        typeInto(d, "txtFirst", "Zed");
        click(d, "cmdAdd");
        QCOMPARE(countLabel(d), QStringLiteral("4"));

        w = openList(env, d);
        QVERIFY(w);
        QCOMPARE(w->lines().size(), 4);
        QCOMPARE(w->lines().last(), QStringLiteral("Zed") + QString(6, u' ') + QStringLiteral("(4)"));
    }
};

QTEST_MAIN(TestRecordsList)
#include "tst_recordslist.moc"
