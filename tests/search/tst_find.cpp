#include "records/RecordNumber.h"
#include "search/frmFind.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>

using namespace pb;
using namespace pb::test;

namespace {

// Jo begins the first names of records 3 and 7, the last names of records 3
// and 5 and the e-mail addresses of records 3 and 7.
QList<ContactRecord> sevenContacts()
{
    return {
        makeRecord({"Ann", "Smith", "111", "ann@home.org"}),
        makeRecord({"Bob", "Brown", "222", "bob@work.com"}),
        makeRecord({"John", "Jones", "333", "john@mail.net", "Acme"}),
        makeRecord({"Mary", "Major", "444", "mary@x.org"}),
        makeRecord({"Pete", "Jordan", "555", "pete@y.org"}),
        makeRecord({"Zed", "Zulu", "666", "zed@z.org"}),
        makeRecord({"Joanna", "Black", "777", "joanna@mail.net"}),
    };
}


QString described(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons = MsgButtons::Ok)
{
    return QStringLiteral("%1 | %2 | buttons %3 | icon %4")
        .arg(text, title)
        .arg(static_cast<int>(buttons))
        .arg(static_cast<int>(icon));
}

QStringList boxesShown(TestEnv& env)
{
    QStringList out;
    for (const auto& s : env.boxes().shown)
        out.append(described(s.text, s.title, s.icon, s.buttons));
    return out;
}

QString notFound(const QString& text)
{
    return described(text, QStringLiteral("Search Result"), MsgIcon::Information);
}

QString noMoreRecords()
{
    return notFound(QStringLiteral("No more records!"));
}

frmFind* openFind(TestEnv& env, Data* d)
{
    action(d, "mnuFind")->trigger();
    return env.ctx().windows.existing<frmFind>();
}

QLineEdit* queryBox(frmFind* f)
{
    return lineEdit(f, "txtFind");
}

void setQuery(frmFind* f, const QString& q)
{
    queryBox(f)->clear();
    QTest::keyClicks(queryBox(f), q);
}

// Find as the user runs it most: Enter in the query box.
void find(frmFind* f)
{
    queryBox(f)->setFocus();
    QTest::keyClick(queryBox(f), Qt::Key_Return);
}

void findNext(frmFind* f)
{
    QTest::mouseClick(button(f, "cmdFindNext"), Qt::LeftButton);
}

bool choose(frmFind* f, const char* option)
{
    auto* o = f->findChild<QRadioButton*>(QString::fromLatin1(option));
    if (!o)
        return false;
    QTest::mouseClick(o, Qt::LeftButton);
    return o->isChecked();
}

bool findNextEnabled(frmFind* f)
{
    return button(f, "cmdFindNext")->isEnabled();
}

// The search window closes itself; the registry forgets it at once and the
// widget goes with the next deferred delete.
bool findWindowOpen(TestEnv& env)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    frmFind* f = env.ctx().windows.existing<frmFind>();
    return f && f->isVisible();
}

} // namespace

class TestFind : public QObject
{
    Q_OBJECT

private slots:
    void anEmptyOrOneSpaceQueryIsRefusedWithoutReading()
    {
        TestEnv env;
        env.writeBook(sevenContacts());
        Data* d = env.openData();
        d->cmdNext_Click();
        typeInto(d, "txtLast", "Edited");
        frmFind* f = openFind(env, d);
        QVERIFY(f);
        env.ctx().book.RecordBuffer = named("Untouched");

        for (const QString& q : {QString(), QStringLiteral(" ")}) {
            setQuery(f, q);
            find(f);
        }
        const QString refused =
            described(QStringLiteral("Please enter a query."), QStringLiteral("?"), MsgIcon::Exclamation);
        QCOMPARE(boxesShown(env), QStringList({refused, refused}));
        QCOMPARE(FieldText(env.ctx().book.RecordBuffer, Field::FirstName), QStringLiteral("Untouched "));
        QCOMPARE(d->boxText(Field::LastName), QStringLiteral("Edited"));
        QCOMPARE(recordBox(d), QStringLiteral("2"));
        QVERIFY(!findNextEnabled(f));

        // Two spaces are a query like any other.
        env.clearMessages();
        setQuery(f, QStringLiteral("  "));
        find(f);
        QCOMPARE(boxesShown(env), QStringList{notFound(QStringLiteral("The first name    is not found."))});
        QCOMPARE(d->boxText(Field::LastName), QStringLiteral("Brown "));
    }

    void findMatchesTheStartOfTheShownFirstName_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("hit");   // 0: not found
        QTest::newRow("Jo") << "Jo" << 3;
        QTest::newRow("jo is another name") << "jo" << 0;
        QTest::newRow("John") << "John" << 3;
        QTest::newRow("John and its one trailing space") << "John " << 3;
        QTest::newRow("John and two spaces") << "John  " << 0;
        QTest::newRow("longer than the name") << "Johnny" << 0;
        QTest::newRow("the last record") << "Joanna" << 7;
        QTest::newRow("leading space") << " Jo" << 0;
    }

    void findMatchesTheStartOfTheShownFirstName()
    {
        QFETCH(QString, query);
        QFETCH(int, hit);
        TestEnv env;
        const QList<ContactRecord> book = sevenContacts();
        env.writeBook(book);
        Data* d = env.openData();
        d->cmdNext_Click();
        frmFind* f = openFind(env, d);
        QVERIFY(f);
        setQuery(f, query);
        find(f);

        if (hit == 0) {
            QCOMPARE(boxesShown(env),
                     QStringList{notFound(QStringLiteral("The first name ") + query + QStringLiteral(" is not found."))});
            QCOMPARE(recordBox(d), QStringLiteral("2"));
            QCOMPARE(shownBoxes(d), shownText(book[1]));
            QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 2 of 7"));
            QCOMPARE(env.ctx().book.RecordBuffer, book[1]);
            QVERIFY(findWindowOpen(env));
            QVERIFY(!findNextEnabled(f));
            return;
        }
        QVERIFY(env.boxes().shown.isEmpty());
        QCOMPARE(recordBox(d), QString::number(hit));
        QCOMPARE(shownBoxes(d), shownText(book[hit - 1]));
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: %1 of 7").arg(hit));
        QCOMPARE(env.ctx().book.PreviousRecordNumber, 2);
        // A hit on the last record leaves nothing for Find next.
        QCOMPARE(findWindowOpen(env), hit < 7);
        if (hit < 7)
            QVERIFY(findNextEnabled(f));
    }

    void findNextGoesOnFromTheRecordOnShow()
    {
        TestEnv env;
        const QList<ContactRecord> book = sevenContacts();
        env.writeBook(book);
        Data* d = env.openData();
        frmFind* f = openFind(env, d);
        QVERIFY(f);
        setQuery(f, QStringLiteral("Jo"));
        find(f);
        QCOMPARE(recordBox(d), QStringLiteral("3"));

        findNext(f);
        QCOMPARE(recordBox(d), QStringLiteral("7"));
        QCOMPARE(shownBoxes(d), shownText(book[6]));
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 7 of 7"));
        QCOMPARE(env.ctx().book.PreviousRecordNumber, 3);
        // Unlike Find, a hit on the last record keeps the window.
        QVERIFY(findWindowOpen(env));
        QVERIFY(findNextEnabled(f));

        findNext(f);
        QCOMPARE(boxesShown(env), QStringList{noMoreRecords()});
        QCOMPARE(recordBox(d), QStringLiteral("7"));
        QCOMPARE(shownBoxes(d), shownText(book[6]));
        QVERIFY(!findWindowOpen(env));
    }

    void findNextTakesTheOptionAndQueryAsTheyAreNow()
    {
        TestEnv env;
        const QList<ContactRecord> book = sevenContacts();
        env.writeBook(book);
        Data* d = env.openData();
        frmFind* f = openFind(env, d);
        QVERIFY(f);
        setQuery(f, QStringLiteral("Jo"));
        find(f);
        QCOMPARE(recordBox(d), QStringLiteral("3"));

        QVERIFY(choose(f, "OptLast"));   // Jordan, record 5; not Joanna
        findNext(f);
        QCOMPARE(recordBox(d), QStringLiteral("5"));
        QCOMPARE(shownBoxes(d), shownText(book[4]));

        QVERIFY(choose(f, "OptEmail"));
        setQuery(f, QStringLiteral("zed@"));
        findNext(f);
        QCOMPARE(recordBox(d), QStringLiteral("6"));

        QVERIFY(choose(f, "OptFirst"));
        setQuery(f, QStringLiteral("Ann"));   // record 1 lies behind
        findNext(f);
        QCOMPARE(boxesShown(env), QStringList{noMoreRecords()});
        QCOMPARE(recordBox(d), QStringLiteral("6"));
        QCOMPARE(shownBoxes(d), shownText(book[5]));
        QVERIFY(!findWindowOpen(env));
    }

    void findNextWithAnEmptyQueryStepsIntoFreeSlots()
    {
        TestEnv env;
        env.writeBookNames({"Ann", "Bob", "Cy"});
        Data* d = env.openData();
        frmFind* f = openFind(env, d);
        QVERIFY(f);
        setQuery(f, QStringLiteral("Ann"));
        find(f);
        queryBox(f)->clear();
        for (int expected = 2; expected <= 5; ++expected) {
            findNext(f);
            QCOMPARE(recordBox(d), QString::number(expected));
        }
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 5 of 3"));
        QCOMPARE(shownBoxes(d), QStringList(7, QString()));
        QVERIFY(env.boxes().shown.isEmpty());
        QVERIFY(findWindowOpen(env));
    }

    void otherFieldsHaveTheirOwnMessages_data()
    {
        QTest::addColumn<QByteArray>("option");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("missing");
        QTest::addColumn<QString>("message");
        QTest::newRow("last name") << QByteArray("OptLast") << "Jo" << "jo" << "The last name jo is not found.";
        QTest::newRow("e-mail") << QByteArray("OptEmail") << "john@" << "John@" << "The e-mail John@ is not found.";
    }

    void otherFieldsHaveTheirOwnMessages()
    {
        QFETCH(QByteArray, option);
        QFETCH(QString, query);
        QFETCH(QString, missing);
        QFETCH(QString, message);
        TestEnv env;
        const QList<ContactRecord> book = sevenContacts();
        env.writeBook(book);
        Data* d = env.openData();
        frmFind* f = openFind(env, d);
        QVERIFY(f);
        QVERIFY(choose(f, option.constData()));
        setQuery(f, query);
        find(f);
        QCOMPARE(recordBox(d), QStringLiteral("3"));
        QCOMPARE(shownBoxes(d), shownText(book[2]));
        QVERIFY(env.boxes().shown.isEmpty());

        setQuery(f, missing);
        find(f);
        QCOMPARE(boxesShown(env), QStringList{notFound(message)});
        QCOMPARE(recordBox(d), QStringLiteral("3"));
    }

    void onlyTheFirstRecordIsMatchedAsAPattern_data()
    {
        QTest::addColumn<int>("where");
        QTest::addColumn<int>("hit");
        QTest::newRow("# reads as a digit on record 1") << 1 << 1;
        QTest::newRow("literal # on record 5") << 5 << 0;
    }

    void onlyTheFirstRecordIsMatchedAsAPattern()
    {
        QFETCH(int, where);
        QFETCH(int, hit);
        TestEnv env;
        QStringList names = {"Ann", "Bob", "Cy", "Dee", "Eve", "Fay"};
        names[where - 1] = QStringLiteral("#1");
        env.writeBookNames(names);
        Data* d = env.openData();
        d->cmdNext_Click();
        frmFind* f = openFind(env, d);
        QVERIFY(f);
        setQuery(f, QStringLiteral("71"));
        find(f);
        if (hit) {
            QCOMPARE(recordBox(d), QStringLiteral("1"));
            QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("#1 "));
            QVERIFY(env.boxes().shown.isEmpty());
        } else {
            QCOMPARE(boxesShown(env), QStringList{notFound(QStringLiteral("The first name 71 is not found."))});
            QCOMPARE(recordBox(d), QStringLiteral("2"));
        }
    }

    void anEmptyBookFindsNothing()
    {
        TestEnv env;
        Data* d = env.openData();
        frmFind* f = openFind(env, d);
        QVERIFY(f);
        setQuery(f, QStringLiteral("A"));
        find(f);
        QCOMPARE(boxesShown(env), QStringList{notFound(QStringLiteral("The first name A is not found."))});
        QCOMPARE(recordBox(d), QStringLiteral("1"));
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 1 of 0"));
        QCOMPARE(shownBoxes(d), QStringList(7, QString()));
        QVERIFY(findWindowOpen(env));
    }

    void aFullBookScanStopsAtTheLastRecordNumber()
    {
        TestEnv env;
        QList<ContactRecord> book(kMaxRecord, named("Ann"));
        book.last() = named("Zed");
        env.writeBook(book);
        Data* d = env.openData();
        QCOMPARE(countLabel(d), QStringLiteral("32767"));
        frmFind* f = openFind(env, d);
        QVERIFY(f);
        setQuery(f, QStringLiteral("Q"));
        find(f);
        QCOMPARE(boxesShown(env), QStringList{notFound(QStringLiteral("The first name Q is not found."))});
        QCOMPARE(recordBox(d), QStringLiteral("1"));

        setQuery(f, QStringLiteral("Zed"));
        find(f);
        QCOMPARE(recordBox(d), QStringLiteral("32767"));
        QVERIFY(!findWindowOpen(env));
    }

    void findNextCopesWithNumbersAndNamesItCannotUse()
    {
        TestEnv env;
        env.writeBookNames({"Ann", "[Ins", "Cy", "Zoe"});
        Data* d = env.openData();
        frmFind* f = openFind(env, d);
        QVERIFY(f);
        setQuery(f, QStringLiteral("Ann"));
        find(f);
        QVERIFY(findNextEnabled(f));

        // "[Ins" is no valid pattern: it is no wildcard hit and the scan goes
        // on, first with the exact test on that same record.
        setQuery(f, QStringLiteral("Zo"));
        findNext(f);
        QCOMPARE(recordBox(d), QStringLiteral("4"));
        d->cmdBegining_Click();
        setQuery(f, QStringLiteral("[In"));
        findNext(f);
        QCOMPARE(recordBox(d), QStringLiteral("2"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("[Ins "));
        QVERIFY(env.boxes().shown.isEmpty());

        // A record box that is no number: nothing happens.
        d->setRecordBox(QStringLiteral("x"));
        findNext(f);
        QCOMPARE(recordBox(d), QStringLiteral("x"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("[Ins "));
        QVERIFY(env.boxes().shown.isEmpty());
        QVERIFY(findWindowOpen(env));

        // No record follows 32767.
        d->setRecordBox(kMaxRecord);
        findNext(f);
        QCOMPARE(boxesShown(env), QStringList{noMoreRecords()});
        QCOMPARE(recordBox(d), QStringLiteral("32767"));
        QCOMPARE(shownBoxes(d), QStringList(7, QString()));
        QVERIFY(!findWindowOpen(env));
    }

    void findEndsSilentlyWhenItCannotStart()
    {
        TestEnv env;
        env.writeBookNames({"[Ins", "Bob"});
        Data* d = env.openData();
        d->cmdNext_Click();
        typeInto(d, "txtFirst", "Edited");
        frmFind* f = openFind(env, d);
        QVERIFY(f);
        setQuery(f, QStringLiteral("Bo"));
        find(f);
        // Record 1 is no valid pattern: no message, the shown record is back.
        QVERIFY(env.boxes().shown.isEmpty());
        QCOMPARE(recordBox(d), QStringLiteral("2"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("Bob "));
        QVERIFY(findWindowOpen(env));
        QVERIFY(!findNextEnabled(f));

        // A record box that is no number: nothing is read or changed.
        d->setRecordBox(QStringLiteral("x"));
        typeInto(d, "txtFirst", "Edited");
        find(f);
        QVERIFY(env.boxes().shown.isEmpty());
        QCOMPARE(recordBox(d), QStringLiteral("x"));
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("Edited"));
    }

    void aSearchDropsUnappliedEdits()
    {
        TestEnv env;
        const QList<ContactRecord> book = sevenContacts();
        env.writeBook(book);
        const QByteArray before = env.fileBytes(QStringLiteral("DravikBase.z8B"));
        Data* d = env.openData();
        for (int i = 0; i < 2; ++i)
            d->cmdNext_Click();
        typeInto(d, "txtLast", "Edited");
        typeInto(d, "txtEmail", "edited@x");
        frmFind* f = openFind(env, d);
        QVERIFY(f);

        // The hit is the record being edited: it comes back from the file.
        setQuery(f, QStringLiteral("John"));
        find(f);
        QCOMPARE(recordBox(d), QStringLiteral("3"));
        QCOMPARE(shownBoxes(d), shownText(book[2]));

        // No hit: the record returned to is read afresh as well.
        typeInto(d, "txtLast", "Edited");
        setQuery(f, QStringLiteral("Q"));
        find(f);
        QCOMPARE(recordBox(d), QStringLiteral("3"));
        QCOMPARE(shownBoxes(d), shownText(book[2]));
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")), before);
    }

    void enterRunsFindAndAClickFindNextOnceEnabled()
    {
        TestEnv env;
        env.writeBook(sevenContacts());
        Data* d = env.openData();
        frmFind* f = openFind(env, d);
        QVERIFY(f);
        QVERIFY(QTest::qWaitForWindowExposed(f));
        QPushButton* findButton = button(f, "cmdSerach");
        QCOMPARE(button(f, "cmdFindNext")->geometry(), findButton->geometry());
        QVERIFY(findButton->isDefault());

        // Before a hit the click reaches Find.
        setQuery(f, QStringLiteral("Jo"));
        const QPoint middle = findButton->geometry().center();
        QTest::mouseClick(f->windowHandle(), Qt::LeftButton, {}, middle);
        QCOMPARE(recordBox(d), QStringLiteral("3"));
        QVERIFY(findNextEnabled(f));

        // Then it reaches Find next, which now lies on top.
        QTest::mouseClick(f->windowHandle(), Qt::LeftButton, {}, middle);
        QCOMPARE(recordBox(d), QStringLiteral("7"));

        // Enter still searches from the start, not on from record 7.
        find(f);
        QCOMPARE(recordBox(d), QStringLiteral("3"));
        QVERIFY(env.boxes().shown.isEmpty());
    }

    void thereIsOneSearchWindowUntilItCloses()
    {
        TestEnv env;
        env.writeBook(sevenContacts());
        Data* d = env.openData();
        frmFind* f = openFind(env, d);
        QVERIFY(f);
        QCOMPARE(f->windowTitle(), QStringLiteral("Search for..."));
        QVERIFY(!f->isModal());
        QVERIFY(f->findChild<QRadioButton*>(QStringLiteral("OptFirst"))->isChecked());
        QVERIFY(!findNextEnabled(f));

        setQuery(f, QStringLiteral("Jo"));
        find(f);
        QVERIFY(choose(f, "OptEmail"));
        QVERIFY(findNextEnabled(f));
        d->Toolbar1_ButtonClick(QStringLiteral("FindRecord"));
        QVERIFY(env.ctx().windows.existing<frmFind>() == f);
        action(d, "mnuFind")->trigger();
        QVERIFY(env.ctx().windows.existing<frmFind>() == f);
        QVERIFY(f->isVisible());
        QCOMPARE(queryBox(f)->text(), QStringLiteral("Jo"));

        f->close();
        QVERIFY(!findWindowOpen(env));
        f = openFind(env, d);
        QVERIFY(f);
        QVERIFY(f->findChild<QRadioButton*>(QStringLiteral("OptFirst"))->isChecked());
        QVERIFY(!findNextEnabled(f));
        QVERIFY(queryBox(f)->text().isEmpty());
    }

    // Each example of the manual's search page, typed into the window as it
    // opens, in the book the page shows: the page tells what is so.
    void theManualsExamplesAreTrue()
    {
        QFile page(QFileInfo(Data::manualPath()).dir().filePath(QStringLiteral("search.html")));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(page.readAll());
        const auto rows = [&](const QString& table) {
            QList<QStringList> out;
            const QString body = html.section(QStringLiteral("<table class=\"%1\">").arg(table), 1).section(QStringLiteral("</table>"), 0, 0);
            static const QRegularExpression row(QStringLiteral("<tr>(.*?)</tr>"));
            static const QRegularExpression cell(QStringLiteral("<td>(.*?)</td>"));
            static const QRegularExpression tag(QStringLiteral("<[^>]+>"));
            for (auto r = row.globalMatch(body); r.hasNext();) {
                QStringList cells;
                const QString inner = r.next().captured(1);
                for (auto c = cell.globalMatch(inner); c.hasNext();)
                    cells << c.next().captured(1).remove(tag).replace(QLatin1String("&quot;"), QLatin1String("\""));
                if (!cells.isEmpty())
                    out << cells;
            }
            return out;
        };
        QList<ContactRecord> book;
        for (const QStringList& r : rows(QStringLiteral("example-book")))
            book << makeRecord({r.value(1), r.value(2), QString(), r.value(3)});
        const QList<QStringList> examples = rows(QStringLiteral("examples"));
        QVERIFY(book.size() >= 4 && examples.size() >= 6);
        const QMap<QString, const char*> options{{QStringLiteral("First name"), "OptFirst"},
                                                 {QStringLiteral("Last name"), "OptLast"},
                                                 {QStringLiteral("E-mail"), "OptEmail"}};
        static const QRegularExpression shownRecord(QStringLiteral("^record (\\d+)"));
        for (const QStringList& e : examples) {
            const QString what = e.join(QStringLiteral(" | "));
            TestEnv env;
            env.writeBook(book);
            Data* d = env.openData();
            frmFind* f = openFind(env, d);
            if (e[0] != QLatin1String("First name"))
                QVERIFY2(choose(f, options.value(e[0])), qPrintable(what));
            QTest::keyClicks(queryBox(f), e[1]);
            find(f);
            if (const auto m = shownRecord.match(e[2]); m.hasMatch()) {
                QVERIFY2(env.boxes().shown.isEmpty(), qPrintable(what));
                QVERIFY2(d->windowTitle().startsWith(QStringLiteral("PhoneBook Record: %1 of").arg(m.captured(1))),
                         qPrintable(what + QStringLiteral(" -> ") + d->windowTitle()));
                if (e[2].contains(QLatin1String("Find next then shows"))) {
                    const QString next = e[2].section(QStringLiteral("Find next then shows "), 1).section(u')', 0, 0);
                    findNext(f);
                    QCOMPARE(d->boxText(Field::FirstName).trimmed() + u' ' + d->boxText(Field::LastName).trimmed(), next);
                }
            } else {
                const QString message = e[2].section(u'"', 1, 1);
                QCOMPARE(env.boxes().shown.size(), 1);
                QVERIFY2(env.boxes().shown[0].text == message, qPrintable(what + QStringLiteral(" -> ") + env.boxes().shown[0].text));
            }
        }
    }
};

QTEST_MAIN(TestFind)
#include "tst_find.moc"
