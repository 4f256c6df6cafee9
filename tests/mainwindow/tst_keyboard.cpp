// Every command within reach of the keyboard and of a screen reader: the
// record clipboard from its own menu, the diaries' Save, Previous and Next,
// names for the controls that have no caption of their own, and text that
// stays readable whatever the palette.
#include "diaries/frmDiaries.h"
#include "support/Readable.h"
#include "support/TestEnv.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>

using namespace pb;
using namespace pb::test;

class TestKeyboard : public QObject
{
    Q_OBJECT
private slots:
    // Copy, Cut and Paste Record from an Edit menu after the other
    // menus, with Ctrl+Shift+C, X and V.
    void theRecordClipboardFromTheKeyboard()
    {
        TestEnv env;
        env.writeBookNames({"Ann", "Bob", "Cy"});
        env.setSetting(QStringLiteral("RecordNumber"), QStringLiteral("2"));
        Data* d = env.openData();
        QStringList titles;
        for (QAction* a : d->menuBar()->actions())
            if (a->isVisible())
                titles << a->text();
        QCOMPARE(titles, (QStringList{"&File", "&Tools", "Online", "&Help", "S&ync", "&Edit"}));
        QCOMPARE(action(d, "mnuCopyRecord")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+C")));

        d->activateWindow();
        QApplication::setActiveWindow(d);
        lineEdit(d, "txtFirst")->setFocus();
        QTest::keySequence(d, QKeySequence(QStringLiteral("Ctrl+Shift+C")));
        QCOMPARE(FieldText(env.clipboardOnDisk(), Field::FirstName), QStringLiteral("Bob "));
        click(d, "cmdEnd");
        QTest::keySequence(d, QKeySequence(QStringLiteral("Ctrl+Shift+V")));
        QCOMPARE(env.firstNamesOnDisk(), (QStringList{"Ann ", "Bob ", "Cy ", "Bob "}));
        env.boxes().answerNext(MsgAnswer::Yes);
        QTest::keySequence(d, QKeySequence(QStringLiteral("Ctrl+Shift+X")));
        QCOMPARE(countLabel(d), QStringLiteral("3"));   // the record left, the book counts 3 again
        QCOMPARE(env.firstNamesOnDisk().mid(0, 3), (QStringList{"Ann ", "Bob ", "Cy "}));
        QCOMPARE(FieldText(env.clipboardOnDisk(), Field::FirstName), QStringLiteral("Bob "));
    }

    // Esc closes the search window, as it closes the desktop's dialogs.
    void escapeClosesTheSearchWindow()
    {
        TestEnv env;
        env.writeBookNames({"Ann"});
        Data* d = env.openData();
        action(d, "mnuFind")->trigger();
        QWidget* find = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("frmFind") && w->isVisible())
                find = w;
        QVERIFY(find);
        QApplication::setActiveWindow(find);
        QLineEdit* query = find->findChild<QLineEdit*>(QStringLiteral("txtFind"));
        query->setFocus();
        QTest::keyClick(query, Qt::Key_Escape);
        QTRY_VERIFY(!find->isVisible());
    }

    // Every control of the main window a user can reach has a name a screen
    // reader can say; captions name their boxes.
    void everyControlHasAName()
    {
        TestEnv env;
        env.writeBookNames({"Ann"});
        Data* d = env.openData();
        const QStringList unnamed = unnamedControls(d);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
        QCOMPARE(d->findChild<QLabel*>(QStringLiteral("Label1"))->buddy(), lineEdit(d, "txtFirst"));
        QCOMPARE(lineEdit(d, "txtRecord")->accessibleName(), QStringLiteral("Record number"));
    }

    // The diaries: Ctrl+S saves, Ctrl+Page Down and Alt+Right go on, Ctrl+Page
    // Up and Alt+Left go back; the date's caption stays black on its fixed
    // orange under a dark palette.
    void theDiariesFromTheKeyboard()
    {
        const QPalette before = QApplication::palette();
        QApplication::setPalette(darkPalette());
        TestEnv env;
        Data* d = env.openData();
        action(d, "mnuDiaries")->trigger();
        auto* w = env.ctx().windows.existing<frmDiaries>();
        QVERIFY(w);
        w->activateWindow();
        QApplication::setActiveWindow(w);
        auto* text = w->findChild<QPlainTextEdit*>(QStringLiteral("txtDiaries"));
        text->setFocus();
        QTest::keyClicks(text, QStringLiteral("First entry"));
        QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+S")));
        QVERIFY(env.fileBytes(QStringLiteral("Diaries.z8D")).contains("First entry"));
        QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+PgDown")));
        QVERIFY(text->toPlainText().isEmpty());   // entry 2, new
        QTest::keySequence(w, QKeySequence(QStringLiteral("Alt+Left")));
        QCOMPARE(text->toPlainText(), QStringLiteral("First entry"));

        auto* caption = w->findChild<QLabel*>(QStringLiteral("Label1"));
        const QPalette p = caption->palette();
        QVERIFY2(contrast(p.color(caption->foregroundRole()), p.color(caption->backgroundRole())) >= 4.5,
                 qPrintable(p.color(caption->foregroundRole()).name() + u'/' + p.color(caption->backgroundRole()).name()));
        QApplication::setPalette(before);
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
