#include "platform/Twips.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QMenu>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolBar>

using namespace pb;
using namespace pb::test;

namespace {

void typeNumber(Data* d, const QString& keys)
{
    QLineEdit* box = lineEdit(d, "txtRecord");
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, keys);
}

} // namespace

class TestNavigation : public QObject
{
    Q_OBJECT
private slots:
    void stepsThroughTheBookWithTheTitleFollowing()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        click(d, "cmdNext");
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 2 of 3"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("B "));
        click(d, "cmdEnd");
        QCOMPARE(recordBox(d), QStringLiteral("3"));
        click(d, "cmdPrevious");
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("B "));
        click(d, "cmdBegining");
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 1 of 3"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("A "));
    }

    void nextFromTheLastRecordShowsTheNewSlotThenStops()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        env.setSetting("RecordNumber", "3");
        Data* d = env.openData();
        click(d, "cmdNext");
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 4 of 3"));
        QCOMPARE(shownBoxes(d), QStringList(7, QString()));
        QVERIFY(env.boxes().shown.isEmpty());
        click(d, "cmdNext");
        const auto m = lastBox(env);
        QCOMPARE(m.text, QStringLiteral("Add a new record here\r\nPress 'Apply' to save"));
        QCOMPARE(m.title, QStringLiteral("X"));
        QCOMPARE(m.icon, MsgIcon::Information);
        QCOMPARE(recordBox(d), QStringLiteral("4"));
    }

    void previousFromTheFirstRecordSaysSo()
    {
        TestEnv env;
        env.writeBookNames({"A", "B"});
        Data* d = env.openData();
        click(d, "cmdPrevious");
        const auto m = lastBox(env);
        QCOMPARE(m.text, QStringLiteral("This is the first record!"));
        QCOMPARE(m.title, QStringLiteral("X"));
        QCOMPARE(recordBox(d), QStringLiteral("1"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("A "));
    }

    void lastWalksToTheEndOfTheBook()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C", "D", "E", "F", "G"});
        env.setSetting("RecordNumber", "2");
        Data* d = env.openData();
        QStringList titles;
        connect(d, &QWidget::windowTitleChanged, this, [&](const QString& t) { titles << t; });
        click(d, "cmdEnd");
        QCOMPARE(recordBox(d), QStringLiteral("7"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("G "));
        QCOMPARE(titles.last(), QStringLiteral("PhoneBook Record: 7 of 7"));
        QCOMPARE(countLabel(d), QStringLiteral("7"));
    }

    void lastWithAnEmptiedFirstNameShowsTheRecordBefore()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C", "D"});
        env.setSetting("RecordNumber", "3");
        Data* d = env.openData();
        lineEdit(d, "txtFirst")->clear();
        click(d, "cmdEnd");
        QCOMPARE(recordBox(d), QStringLiteral("2"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("B "));
    }

    void lastInAnEmptyBookStaysOnOne()
    {
        TestEnv env;
        Data* d = env.openData();
        click(d, "cmdEnd");
        QCOMPARE(recordBox(d), QStringLiteral("1"));
        QVERIFY(env.boxes().shown.isEmpty());
    }

    void lastStopsAtTheLastRecordNumber()
    {
        TestEnv env;
        {
            QFile f(env.phonebookPath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            const ContactRecord r = named("Z");
            QVERIFY(f.seek(qint64(32760 - 1) * 440));
            for (int n = 32760; n <= 32767; ++n)
                f.write(r.bytes.data(), 440);
        }
        Data* d = env.openData();
        d->setRecordBox(32760);
        lineEdit(d, "txtFirst")->setText("Z");
        click(d, "cmdEnd");   // no record number follows 32767: the walk ends there, quietly
        QCOMPARE(recordBox(d), QStringLiteral("32767"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("Z") + QString(19, ' '));
        QVERIFY(env.boxes().shown.isEmpty());
    }

    void movingDropsUnappliedEdits()
    {
        TestEnv env;
        env.writeBook({makeRecord({"A", "Alpha"}), makeRecord({"B", "Beta"})});
        Data* d = env.openData();
        typeInto(d, "txtLast", "Changed");
        click(d, "cmdNext");
        click(d, "cmdPrevious");
        QCOMPARE(d->boxText(Field::LastName), QStringLiteral("Alpha "));
        QCOMPARE(FieldText(env.bookOnDisk()[0], Field::LastName), QStringLiteral("Alpha "));
    }

    void typingANumberJumps()
    {
        TestEnv env;
        QStringList names;
        for (int i = 1; i <= 12; ++i)
            names << QStringLiteral("N%1").arg(i);
        env.writeBookNames(names);
        Data* d = env.openData();
        typeNumber(d, "12");   // 1, then 12
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("N12 "));
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 12 of 12"));
        QCOMPARE(env.ctx().book.PreviousRecordNumber, 12);
        QVERIFY(env.boxes().shown.isEmpty());
    }

    void badJumpsReturnToThePreviousRecord_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("icon");
        QTest::newRow("above the count") << "9" << "There are only 5 records" << "X" << int(MsgIcon::Information);
        QTest::newRow("zero") << "0" << "Records begin with number 1" << "X" << int(MsgIcon::Information);
        QTest::newRow("negative") << "-" << "Please enter a valid number" << "ERROR!" << int(MsgIcon::Critical);
        QTest::newRow("letters") << "x" << "Please enter a valid number" << "ERROR!" << int(MsgIcon::Critical);
    }

    void badJumpsReturnToThePreviousRecord()
    {
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(int, icon);
        TestEnv env;
        env.writeBookNames({"A", "B", "C", "D", "E"});
        env.setSetting("RecordNumber", "3");
        Data* d = env.openData();
        typeNumber(d, keys);
        const auto m = lastBox(env);
        QCOMPARE(m.text, text);
        QCOMPARE(m.title, title);
        QCOMPARE(int(m.icon), icon);
        QCOMPARE(recordBox(d), QStringLiteral("3"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("C "));
    }

    void backspacingTheNumberAwayIsNoValidNumber()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        env.setSetting("RecordNumber", "2");
        Data* d = env.openData();
        QLineEdit* box = lineEdit(d, "txtRecord");
        box->setFocus();
        box->end(false);
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(lastBox(env).text, QStringLiteral("Please enter a valid number"));
        QCOMPARE(recordBox(d), QStringLiteral("2"));
    }

    // Tab leaves the box before its release arrives: a number typed just
    // before it is read on the press, once.
    void tabReadsANumberTypedJustBefore()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        env.setSetting("RecordNumber", "2");
        Data* d = env.openData();
        QLineEdit* box = lineEdit(d, "txtRecord");
        box->setFocus();
        box->selectAll();
        env.clearMessages();
        QTest::keyPress(box, Qt::Key_5);   // released only after the Tab
        QTest::keyClick(box, Qt::Key_Tab);
        QTest::keyRelease(box, Qt::Key_5);
        QCOMPARE(env.messages(), QStringList{"There are only 3 records"});
        QCOMPARE(recordBox(d), QStringLiteral("2"));
    }

    // Only a key that changed the number jumps. Enter or Esc closing a
    // message must not raise it again, and Tab, arrows and modifiers must
    // not read the record again over what the user typed.
    void keysThatLeaveTheNumberAloneNeverJump()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        env.setSetting("RecordNumber", "4");   // the new slot: any jump there says "There are only 3 records"
        Data* d = env.openData();
        QLineEdit* box = lineEdit(d, "txtRecord");
        typeInto(d, "txtComments", QStringLiteral("typed, not applied"));
        box->setFocus();
        env.clearMessages();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Left, Qt::Key_Home, Qt::Key_Shift,
                            Qt::Key_Control, Qt::Key_Tab}) {
            box->setFocus();
            QTest::keyClick(box, key);
        }
        QCOMPARE(env.messages(), QStringList());
        QCOMPARE(d->boxText(Field::Comments), QStringLiteral("typed, not applied"));
        QCOMPARE(recordBox(d), QStringLiteral("4"));

        // A digit typed raises the message once; the Enter that closes it
        // (its release lands in the box) raises nothing more.
        box->setFocus();
        box->end(false);
        QTest::keyClick(box, Qt::Key_0);
        QCOMPARE(env.messages(), QStringList{"There are only 3 records"});
        QTest::keyRelease(box, Qt::Key_Return);
        QTest::keyRelease(box, Qt::Key_Escape);
        QCOMPARE(env.messages().size(), 1);
    }

    void hoveringTheRecordBoxSelectsTheNumber()
    {
        TestEnv env;
        env.writeBookNames({"A", "B"});
        Data* d = env.openData();
        QLineEdit* box = lineEdit(d, "txtRecord");
        d->setRecordBox(QStringLiteral("2"));
        box->setCursorPosition(0);
        lineEdit(d, "txtFirst")->setFocus();
        // A real pointer sends many moves: each leaves the whole number selected.
        for (int x = 5; x < 20; x += 5) {
            QTest::mouseMove(box, QPoint(x, 5));
            QTRY_VERIFY(box->hasFocus());
            QCOMPARE(box->selectedText(), QStringLiteral("2"));
        }
        QCOMPARE(env.ctx().book.PreviousRecordNumber, 2);
        // A digit typed now replaces the whole number.
        QTest::keyClicks(box, "1");
        QCOMPARE(box->text(), QStringLiteral("1"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("A "));
    }

    // The program puts the caret before the text it sets: hovering then
    // selects the whole number, and long values show from their start.
    void programTextStartsAtItsBeginning()
    {
        TestEnv env;
        env.writeBook({makeRecord({"A", "", "", "", QString(58, u'c')}), named("B"), named("C"), named("D"),
                       named("E"), named("F"), named("G")});
        Data* d = env.openData();
        click(d, "cmdNext");
        click(d, "cmdNext");   // record 3 of 7
        QLineEdit* box = lineEdit(d, "txtRecord");
        QCOMPARE(box->cursorPosition(), 0);
        lineEdit(d, "txtFirst")->setFocus();
        QTest::mouseMove(box, QPoint(8, 6));
        QTRY_VERIFY(box->hasFocus());
        env.clearMessages();
        QTest::keyClicks(box, "5");
        QCOMPARE(box->text(), QStringLiteral("5"));
        QCOMPARE(env.messages(), QStringList());
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("E "));

        click(d, "cmdBegining");
        QCOMPARE(lineEdit(d, "txtCompany")->cursorPosition(), 0);
    }

    void theBigButtonsFollowTheMouse()
    {
        TestEnv env;
        Data* d = env.openData();
        QPushButton* add = button(d, "cmdAdd");
        QPushButton* del = button(d, "cmdDelete");
        const auto hover = [](QWidget* w, QPointF at = QPointF(3, 3)) {
            QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(w, &move);
        };
        hover(add);
        QCOMPARE(backColor(add), 12632256);
        QCOMPARE(backColor(del), 16512);
        hover(del);
        QCOMPARE(backColor(del), 192);
        hover(button(d, "cmdNext"));
        QCOMPARE(backColor(add), 16512);
        QCOMPARE(backColor(del), 192);
        hover(d->centralWidget(), QPointF(3, 300));   // the bare background
        QCOMPARE(backColor(del), 16512);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 3), add->mapToGlobal(QPointF(3, 3)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(add, &press);
        QCOMPARE(backColor(add), 49344);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(3, 3), add->mapToGlobal(QPointF(3, 3)),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(add, &release);   // an Apply with nothing typed: its message
        QCOMPARE(env.messages(), QStringList{"To add a record you need to provide a first name"});
    }

    void rightClickOnTheBackgroundPopsUpTheBackgroundMenu()
    {
        TestEnv env;
        Data* d = env.openData();
        auto* popup = d->findChild<QMenu*>("mnuBackColor");
        QTest::mouseClick(d->centralWidget(), Qt::LeftButton, {}, QPoint(10, 400));
        QVERIFY(!popup->isVisible());
        QTest::mouseClick(d->centralWidget(), Qt::RightButton, {}, QPoint(10, 400));
        QTRY_VERIFY(popup->isVisible());
        QCOMPARE(popup->actions().size(), 1);
        QVERIFY(!popup->actions().first()->isEnabled());
        popup->close();
    }

    void rightClicksOnControlsDoNotPopUpTheBackgroundMenu()
    {
        TestEnv env;
        Data* d = env.openData();
        auto* popup = d->findChild<QMenu*>("mnuBackColor");
        for (const char* name : {"Label1", "Toolbar1", "cmdSendMail", "lblRecord"}) {
            auto* w = d->findChild<QWidget*>(QString::fromLatin1(name));
            QVERIFY2(w, name);
            QTest::mouseClick(w, Qt::RightButton, {}, QPoint(3, 3));
            QCoreApplication::processEvents();
            QVERIFY2(!popup->isVisible(), name);
        }
    }

    // Controls show their whole text; the toolbar spans the window; "<<<"
    // leaves nothing of the mail panel on show.
    void controlsFitTheirTextAndTheWindow()
    {
        TestEnv env;
        Data* d = env.openData();
        QLineEdit* box = lineEdit(d, "txtRecord");
        d->setRecordBox(QStringLiteral("32767"));
        const QStyleOptionFrame frame = [box] { QStyleOptionFrame o; o.initFrom(box); return o; }();
        const int inside = box->style()->subElementRect(QStyle::SE_LineEditContents, &frame, box).width();
        QVERIFY2(QFontMetrics(box->font()).horizontalAdvance(QStringLiteral("32767")) <= inside - 2,
                 qPrintable(QString::number(inside)));
        for (const char* name : {"cmdBegining", "cmdEnd"}) {
            QPushButton* b = button(d, name);
            QVERIFY2(QFontMetrics(b->font()).horizontalAdvance(b->text()) + 6 <= b->width(), name);
        }
        // "of" and the count beside the record box, or under it when the
        // column has no room; every control of the column within it, which
        // leaves the window a margin on the right as the fields leave one
        // on the left.
        for (const char* name : {"Label6", "lblRecord"})
            QVERIFY(!d->findChild<QLabel*>(QString::fromLatin1(name))->geometry().intersects(box->geometry()));
        auto* count = d->findChild<QLabel*>(QStringLiteral("lblRecord"));
        QVERIFY(count->fontMetrics().horizontalAdvance(QStringLiteral("32767")) <= count->width());
        const int columnRight = button(d, "cmdSendMail")->geometry().right();
        QVERIFY(twips::toPixels(5460) - columnRight >= lineEdit(d, "txtFirst")->x() * 3 / 4);
        for (const char* name : {"Label4", "txtRecord", "Label6", "lblRecord", "cmdBegining", "cmdPrevious", "cmdNext",
                                 "cmdEnd", "cmdAdd", "cmdDelete"}) {
            const QRect r = d->findChild<QWidget*>(QString::fromLatin1(name))->geometry();
            QVERIFY2(r.left() >= box->x() && r.right() <= columnRight, name);
        }

        auto* bar = d->findChild<QToolBar*>(QStringLiteral("Toolbar1"));
        d->resize(760, d->height());
        QTRY_COMPARE(bar->width(), d->centralWidget()->width());
        QVERIFY(d->findChild<QWidget*>("txtMessage")->isVisible());
        d->findChild<QPushButton*>("cmdRestore")->click();
        QTRY_COMPARE(bar->width(), d->centralWidget()->width());
        for (const char* name : {"txtMFirst", "txtMEmail", "txtSubject", "txtMessage", "cmdSend", "Label10", "Label11",
                                 "cmdRestore"})
            QVERIFY2(!d->findChild<QWidget*>(QString::fromLatin1(name))->isVisible(), name);
        QVERIFY(button(d, "cmdSendMail")->isVisible());
    }

    void restoreSetsTheNarrowSize()
    {
        TestEnv env;
        Data* d = env.openData();
        twips::setOuterWidth(d, 10620);
        QCOMPARE(twips::outerGeometry(d).width(), 10620);
        d->findChild<QPushButton*>("cmdRestore")->click();
        QCOMPARE(twips::outerGeometry(d).size(), QSize(5700, 8340));
    }
};

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
