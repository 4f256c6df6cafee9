// The diaries window, opened from the main window's menu and driven through
// its toolbar and boxes, with "Diaries.z8D" checked byte for byte afterwards.
#include "diaries/DateStamp.h"
#include "diaries/DiaryRecord.h"
#include "diaries/frmDiaries.h"
#include "platform/FieldBox.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTest>
#include <QToolBar>

using namespace pb;
using namespace pb::test;

namespace {

const QString kDiaries = QStringLiteral("Diaries.z8D");

QString caption(int n)
{
    return QStringLiteral("DiariesBook            Record ") + QString::number(n);
}

DiaryRecord entry(const QString& date, const QString& text)
{
    DiaryRecord r;
    r.store(DiaryField::Date, date);
    r.store(DiaryField::Text, text);
    return r;
}

void writeDiaries(TestEnv& env, const QList<DiaryRecord>& entries)
{
    QFile f(env.path(kDiaries));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    for (const DiaryRecord& r : entries)
        f.write(bytesOf(r));
}

QByteArray entryOnDisk(TestEnv& env, int n)
{
    return env.fileBytes(kDiaries).mid((n - 1) * 1000, 1000);
}

frmDiaries* openDiaries(TestEnv& env, Data* d)
{
    action(d, "mnuDiaries")->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return env.ctx().windows.existing<frmDiaries>();
}

QLineEdit* dateBox(frmDiaries* w)
{
    return lineEdit(w, "txtDate");
}

MultiLineBox* textBox(frmDiaries* w)
{
    return w->findChild<MultiLineBox*>(QStringLiteral("txtDiaries"));
}

// Presses a toolbar button with the mouse.
void press(frmDiaries* w, const char* key)
{
    auto* bar = w->findChild<QToolBar*>(QStringLiteral("Toolbar"));
    QWidget* b = bar->widgetForAction(action(w, key));
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
}

// Types characters that have no key of their own, as an input method would
// hand them over one by one.
void typeText(QWidget* box, const QString& text)
{
    box->setFocus();
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

const QString kAdvice = QStringLiteral("Date will be entered automatically upon saving.\r\n"
                                       "You can add your own date, else delete everything\r\n"
                                       "in date box and re-save.");

// How many of this process's open files are `path` (Linux).
int handlesOn(const QString& path)
{
    int n = 0;
    const QString target = QFileInfo(path).canonicalFilePath();
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files))
        if (fd.symLinkTarget() == target)
            ++n;
    return n;
}

} // namespace

class TestDiaries : public QObject
{
    Q_OBJECT

private slots:
    void firstOpeningCreatesTheFileAndSaveStampsTheEntry()
    {
        TestEnv env;
        Data* d = env.openData();
        frmDiaries* w = openDiaries(env, d);
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(w));
        QVERIFY(QFile::exists(env.path(kDiaries)));
        QCOMPARE(env.fileBytes(kDiaries).size(), 0);
        QCOMPARE(w->windowTitle(), caption(1));
        QCOMPARE(dateBox(w)->text(), QString());
        QCOMPARE(textBox(w)->text(), QString());
        QCOMPARE(QApplication::focusWidget(), textBox(w));

        typeInto(w, "txtDiaries", QStringLiteral("Dear diary,"));
        QTest::keyClick(textBox(w), Qt::Key_Return);
        QTest::keyClicks(textBox(w), QStringLiteral("today."));
        const QDateTime before = QDateTime::currentDateTime();
        press(w, "SaveRecord");
        const QDateTime after = QDateTime::currentDateTime();

        const QByteArray saved = env.fileBytes(kDiaries);
        QCOMPARE(saved.size(), 1000);
        const QString stamp = QString::fromLatin1(saved.left(40));
        QVERIFY2(stamp == dateStamp(before, stampLocale(QLocale::system())).leftJustified(40) ||
                     stamp == dateStamp(after, QLocale::system()).leftJustified(40),
                 qPrintable(stamp));
        QCOMPARE(saved.mid(40), QByteArray("Dear diary,\r\ntoday.").leftJustified(960, ' '));
        // The date box shows the whole stored field; the text stays as typed.
        QCOMPARE(dateBox(w)->text(), stamp);
        QCOMPARE(textBox(w)->text(), QStringLiteral("Dear diary,\r\ntoday."));
        QCOMPARE(w->windowTitle(), caption(1));

        // An own date is stored cut or padded to the field.
        typeInto(w, "txtDate", QStringLiteral("New Year's Eve"));
        press(w, "SaveRecord");
        QCOMPARE(entryOnDisk(env, 1).left(40), QByteArray("New Year's Eve").leftJustified(40, ' '));
        QCOMPARE(dateBox(w)->text(), QStringLiteral("New Year's Eve").leftJustified(40));
        typeInto(w, "txtDate", QString(41, u'x') + QStringLiteral("yz"));
        press(w, "SaveRecord");
        QCOMPARE(entryOnDisk(env, 1).left(40), QByteArray(40, 'x'));
        QCOMPARE(dateBox(w)->text(), QString(40, u'x'));

        // Saving again keeps the date; only an empty date box gets a new stamp.
        const QByteArray kept = env.fileBytes(kDiaries);
        press(w, "SaveRecord");
        QCOMPARE(env.fileBytes(kDiaries), kept);
        dateBox(w)->setText(QStringLiteral(" "));
        press(w, "SaveRecord");
        QCOMPARE(entryOnDisk(env, 1).left(40), QByteArray(40, ' '));
        dateBox(w)->clear();
        press(w, "SaveRecord");
        const QString fresh = QString::fromLatin1(entryOnDisk(env, 1).left(40));
        QVERIFY2(fresh.contains(QStringLiteral("M  ")) && fresh.endsWith(u' '), qPrintable(fresh));
        QCOMPARE(entryOnDisk(env, 1).mid(40), saved.mid(40));
        QCOMPARE(env.fileBytes(kDiaries).size(), 1000);

        // The focus never left the date box: no advice.
        settle();
        QVERIFY(env.messages().isEmpty());
    }

    void previousAndNextMoveThroughTheFileAndSaveWritesWhereTheyStand()
    {
        TestEnv env;
        const DiaryRecord one = entry(QStringLiteral("Monday"), QStringLiteral("first"));
        const DiaryRecord two = entry(QStringLiteral("Tuesday"), QStringLiteral("second"));
        writeDiaries(env, {one, two});
        Data* d = env.openData();
        frmDiaries* w = openDiaries(env, d);
        QVERIFY(w);
        QCOMPARE(dateBox(w)->text(), QStringLiteral("Monday").leftJustified(40));
        QCOMPARE(textBox(w)->text(), QStringLiteral("first"));

        // Before the first entry there is nothing: nothing changes, nothing is said.
        typeInto(w, "txtDiaries", QStringLiteral("unsaved"));
        press(w, "GoPrevious");
        QCOMPARE(w->windowTitle(), caption(1));
        QCOMPARE(w->entryNumber(), 1);
        QCOMPARE(textBox(w)->text(), QStringLiteral("unsaved"));

        // A move drops what was not saved.
        press(w, "GoNext");
        QCOMPARE(w->windowTitle(), caption(2));
        QCOMPARE(dateBox(w)->text(), QStringLiteral("Tuesday").leftJustified(40));
        QCOMPARE(textBox(w)->text(), QStringLiteral("second"));
        press(w, "GoPrevious");
        QCOMPARE(w->windowTitle(), caption(1));
        QCOMPARE(textBox(w)->text(), QStringLiteral("first"));
        QCOMPARE(env.fileBytes(kDiaries), bytesOf(one) + bytesOf(two));

        // Past the last entry come empty ones, which Save writes.
        press(w, "GoNext");
        press(w, "GoNext");
        QCOMPARE(w->windowTitle(), caption(3));
        QCOMPARE(dateBox(w)->text(), QString());
        QCOMPARE(textBox(w)->text(), QString());
        typeInto(w, "txtDiaries", QStringLiteral("third"));
        press(w, "SaveRecord");
        QCOMPARE(env.fileBytes(kDiaries).size(), 3000);
        QCOMPARE(entryOnDisk(env, 3).mid(40), QByteArray("third").leftJustified(960, ' '));
        QCOMPARE(env.fileBytes(kDiaries).left(2000), bytesOf(one) + bytesOf(two));

        for (int i = 0; i < 3; ++i)
            press(w, "GoNext");
        QCOMPARE(w->windowTitle(), caption(6));
        typeInto(w, "txtDiaries", QStringLiteral("sixth"));
        press(w, "SaveRecord");
        QCOMPARE(env.fileBytes(kDiaries).size(), 6000);
        QCOMPARE(env.fileBytes(kDiaries).mid(3000, 2000), QByteArray(2000, '\0'));
        press(w, "GoPrevious");
        QCOMPARE(w->windowTitle(), caption(5));
        QCOMPARE(dateBox(w)->text(), QString());
        QCOMPARE(textBox(w)->text(), QString());
        press(w, "GoNext");
        QCOMPARE(textBox(w)->text(), QStringLiteral("sixth"));
        QVERIFY(dateBox(w)->text().contains(QStringLiteral("M  ")));
        settle();
        QVERIFY(env.messages().isEmpty());
    }

    void nextStopsAtTheLastPossibleEntry()
    {
        TestEnv env;
        Data* d = env.openData();
        frmDiaries* w = openDiaries(env, d);
        QVERIFY(w);
        for (int i = 1; i < 32767; ++i)
            w->NextEntry();
        QCOMPARE(w->windowTitle(), caption(32767));
        typeInto(w, "txtDiaries", QStringLiteral("last"));
        press(w, "GoNext");
        QCOMPARE(w->windowTitle(), caption(32767));
        QCOMPARE(w->entryNumber(), 32767);
        QCOMPARE(textBox(w)->text(), QStringLiteral("last"));
        press(w, "SaveRecord");
        QCOMPARE(env.fileBytes(kDiaries).size(), 32767 * 1000);
        QVERIFY(env.messages().isEmpty());
    }

    void leavingTheDateBoxGivesAdviceEachTime()
    {
        TestEnv env;
        Data* d = env.openData();
        frmDiaries* w = openDiaries(env, d);
        QVERIFY(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(QApplication::focusWidget(), textBox(w));

        // Tab goes from the text to the date and back.
        QTest::keyClick(textBox(w), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dateBox(w));
        settle();
        QVERIFY(env.boxes().shown.isEmpty());
        QTest::keyClick(dateBox(w), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), textBox(w));
        settle();
        QCOMPARE(env.boxes().shown.size(), 1);
        const auto& advice = env.boxes().shown.first();
        QCOMPARE(advice.text, kAdvice);
        QCOMPARE(advice.title, QStringLiteral("~"));
        QCOMPARE(advice.buttons, MsgButtons::Ok);
        QCOMPARE(advice.icon, MsgIcon::Information);

        // By the mouse too, typed into or not.
        QTest::mouseClick(dateBox(w), Qt::LeftButton);
        QTest::keyClicks(dateBox(w), QStringLiteral("my date"));
        QTest::mouseClick(textBox(w)->viewport(), Qt::LeftButton);
        settle();
        QCOMPARE(env.messages(), QStringList({kAdvice, kAdvice}));

        // Saving from the toolbar leaves the focus in the date box.
        dateBox(w)->setFocus();
        press(w, "SaveRecord");
        settle();
        QCOMPARE(QApplication::focusWidget(), dateBox(w));
        QCOMPARE(env.messages().size(), 2);
        QCOMPARE(entryOnDisk(env, 1).left(40), QByteArray("my date").leftJustified(40, ' '));

        // Closing the window from the date box is not leaving it for the text.
        w->close();
        settle();
        QCOMPARE(env.messages().size(), 2);
    }

    // Every toolbar button has a picture of its own, none of them blank.
    void theToolbarPicturesDiffer()
    {
        TestEnv env;
        Data* d = env.openData();
        frmDiaries* w = openDiaries(env, d);
        QVERIFY(w);
        QList<QImage> seen;
        for (QAction* a : w->findChild<QToolBar*>(QStringLiteral("Toolbar"))->actions()) {
            const QImage img = a->icon().pixmap(24, 24).toImage();
            QVERIFY2(!img.isNull(), qPrintable(a->objectName()));
            bool painted = false;
            for (int y = 0; y < img.height() && !painted; ++y)
                for (int x = 0; x < img.width() && !painted; ++x)
                    painted = qAlpha(img.pixel(x, y)) > 0;
            QVERIFY2(painted, qPrintable(a->objectName()));
            QVERIFY2(!seen.contains(img), qPrintable(a->objectName()));
            seen.append(img);
        }
        QCOMPARE(seen.size(), 5);
    }

    void openAndFindOnlySayWhatTheyAre()
    {
        TestEnv env;
        writeDiaries(env, {entry(QStringLiteral("d"), QStringLiteral("t"))});
        Data* d = env.openData();
        frmDiaries* w = openDiaries(env, d);
        QVERIFY(w);
        typeInto(w, "txtDiaries", QStringLiteral("edited"));
        press(w, "OpenNew");
        press(w, "FindRecord");
        w->Toolbar_ButtonClick(QStringLiteral("Savexx"));   // an unknown key does nothing
        QCOMPARE(env.messages(), QStringList({"open", "find"}));
        for (const auto& box : env.boxes().shown) {
            QCOMPARE(box.title, QStringLiteral("z8P Phonebook"));
            QCOMPARE(box.buttons, MsgButtons::Ok);
            QCOMPARE(box.icon, MsgIcon::None);
        }
        QCOMPARE(w->windowTitle(), caption(1));
        QCOMPARE(textBox(w)->text(), QStringLiteral("edited"));
        QCOMPARE(env.fileBytes(kDiaries), bytesOf(entry(QStringLiteral("d"), QStringLiteral("t"))));
    }

    void oneSharedWindowThatClosingUnloads()
    {
        TestEnv env;
        writeDiaries(env, {entry(QStringLiteral("a"), QStringLiteral("1")), entry(QStringLiteral("b"), QStringLiteral("2"))});
        const QString file = env.path(kDiaries);
        Data* d = env.openData();
        QCOMPARE(handlesOn(file), 0);
        frmDiaries* w = openDiaries(env, d);
        QVERIFY(w);
        QCOMPARE(handlesOn(file), 1);
        press(w, "GoNext");
        QVERIFY(openDiaries(env, d) == w);   // the same window, where it stood
        QCOMPARE(w->windowTitle(), caption(2));
        QCOMPARE(handlesOn(file), 1);

        const QPointer<frmDiaries> gone(w);
        w->close();
        settle();
        QVERIFY(!gone);
        QVERIFY(!env.ctx().windows.existing<frmDiaries>());
        QCOMPARE(handlesOn(file), 0);

        // The next opening starts again at the first entry.
        w = openDiaries(env, d);
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), caption(1));
        QCOMPARE(textBox(w)->text(), QStringLiteral("1"));

        // Closing the main window closes the diaries window and its file.
        const QPointer<frmDiaries> last(w);
        env.closeData();
        settle();
        QVERIFY(!last);
        QVERIFY(!env.ctx().windows.existing<frmDiaries>());
        QCOMPARE(handlesOn(file), 0);
        QVERIFY(env.messages().isEmpty());
    }

    void theTextBoxTakesNoMoreThanTheEntryKeeps()
    {
        TestEnv env;
        Data* d = env.openData();
        frmDiaries* w = openDiaries(env, d);
        QVERIFY(w);
        MultiLineBox* box = textBox(w);
        box->setFocus();
        box->setText(QString(958, u'a'));
        box->moveCursor(QTextCursor::End);
        QTest::keyClick(box, Qt::Key_Return);   // a line break takes two bytes: no room after "b"
        QTest::keyClicks(box, QStringLiteral("bcd"));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(box->text(), QString(958, u'a') + QStringLiteral("\r\n"));
        box->setText(QString(950, u'a'));
        box->moveCursor(QTextCursor::End);
        QApplication::clipboard()->setText(QStringLiteral("0123\r\n456789XYZ"));
        box->paste();
        QCOMPARE(box->text(), QString(950, u'a') + QStringLiteral("0123\r\n4567"));
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, QStringLiteral("xy"));   // room for one again
        QCOMPARE(box->text().right(4), QStringLiteral("456x"));
        press(w, "SaveRecord");
        QCOMPARE(entryOnDisk(env, 1).mid(40), (QString(950, u'a') + QStringLiteral("0123\r\n456x")).toLatin1());
        QCOMPARE(box->text().size(), 960);

        // A stored entry shows without its padding: typing after its last
        // word goes in, and Save leaves the caret where it was.
        writeDiaries(env, {entry(QStringLiteral("d"), QStringLiteral("Hello")), entry(QStringLiteral("d"), QString())});
        press(w, "GoNext");
        press(w, "GoPrevious");
        QCOMPARE(box->text(), QStringLiteral("Hello"));
        box->moveCursor(QTextCursor::End);
        QTest::keyClicks(box, QStringLiteral(" world"));
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClicks(box, QStringLiteral("Bye"));
        press(w, "SaveRecord");
        QCOMPARE(entryOnDisk(env, 1).mid(40), QByteArray("Hello world\r\nBye").leftJustified(960, ' '));
        QCOMPARE(box->textCursor().position(), 15);
        // Spaces typed at the end cost nothing: they are padding anyway.
        box->setText(QString(960, u'a'));
        box->moveCursor(QTextCursor::End);
        QTest::keyClicks(box, QStringLiteral("  b"));
        QCOMPARE(box->text(), QString(960, u'a') + QStringLiteral("  "));
        QVERIFY(env.messages().isEmpty());
    }

    void afterSavingTheTextBoxShowsWhatTheEntryHolds()
    {
        TestEnv env;
        Data* d = env.openData();
        frmDiaries* w = openDiaries(env, d);
        QVERIFY(w);
        typeText(textBox(w), QStringLiteral("Café in Łódź"));
        press(w, "SaveRecord");
        QCOMPARE(entryOnDisk(env, 1).mid(40, 14), QByteArray("Caf\xE9 in ?\xF3""d?  "));
        QCOMPARE(textBox(w)->text(), QStringLiteral("Café in ?ód?"));
        QCOMPARE(textBox(w)->textCursor().position(), 12);

        // Text put in some other way than typing, longer than the entry.
        textBox(w)->setText(QString(1000, u'z'));
        press(w, "SaveRecord");
        QCOMPARE(entryOnDisk(env, 1).mid(40), QByteArray(960, 'z'));
        QCOMPARE(textBox(w)->text(), QString(960, u'z'));
        QVERIFY(env.messages().isEmpty());
    }

    void aSaveThatFailsSaysSo()
    {
        TestEnv env;
        const DiaryRecord one = entry(QStringLiteral("d"), QStringLiteral("one"));
        writeDiaries(env, {one});
        Data* d = env.openData();
        frmDiaries* w = openDiaries(env, d);
        QVERIFY(w);
        press(w, "GoNext");
        typeInto(w, "txtDiaries", QStringLiteral("two"));
        {
            FileSizeLimit full(1500);
            press(w, "SaveRecord");
        }
        QCOMPARE(env.boxes().shown.size(), 1);
        const auto& box = env.boxes().shown.first();
        QVERIFY2(box.text.startsWith(QStringLiteral("The diary entry was not saved.\r\nCause: ")), qPrintable(box.text));
        QVERIFY(box.text.size() > 40);
        QCOMPARE(box.title, QStringLiteral("ERROR!"));
        QCOMPARE(box.icon, MsgIcon::Critical);
        QCOMPARE(env.fileBytes(kDiaries), bytesOf(one));
        QCOMPARE(dateBox(w)->text(), QString());   // nothing on show claims a save

        // The window goes on working.
        press(w, "SaveRecord");
        QCOMPARE(env.fileBytes(kDiaries).size(), 2000);
        QCOMPARE(entryOnDisk(env, 2).mid(40), QByteArray("two").leftJustified(960, ' '));
        QCOMPARE(env.boxes().shown.size(), 1);
    }

    void aBookThatCannotBeOpenedSaysSoAndStaysClosed()
    {
        TestEnv env;
        QVERIFY(QDir().mkdir(env.path(kDiaries)));   // not a file this program can use
        Data* d = env.openData();
        QVERIFY(!openDiaries(env, d));
        QCOMPARE(env.boxes().shown.size(), 1);
        const auto& box = env.boxes().shown.first();
        QVERIFY2(box.text.startsWith(QStringLiteral("The diaries book could not be opened.\r\nCause: ")),
                 qPrintable(box.text));
        QCOMPARE(box.title, QStringLiteral("ERROR!"));
        QCOMPARE(box.icon, MsgIcon::Critical);

        // Once the file can be made, the next use opens the book.
        QVERIFY(QDir().rmdir(env.path(kDiaries)));
        frmDiaries* w = openDiaries(env, d);
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), caption(1));
        QCOMPARE(env.boxes().shown.size(), 1);
    }
};

QTEST_MAIN(TestDiaries)
#include "tst_diaries.moc"
