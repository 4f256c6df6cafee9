#include "print/PrintLayout.h"
#include "print/frmPrint.h"
#include "print/frmView.h"
#include "platform/CommonDialog.h"
#include "platform/Twips.h"
#include "platform/Busy.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPageRanges>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QTest>
#include <QStyleHints>
#include <QTextEdit>

using namespace pb;
using namespace pb::test;

namespace {

QList<ContactRecord> contacts()
{
    return {
        makeRecord({"John", "Smith", "111", "john@x.org"}),
        makeRecord({"Mary  Jo", "Major", "", "", "Say \"hi\""}),
    };
}

const QByteArray kTwoContactsFile = "\"1\r\nName: John   Smith \r\nPhone: 111 \r\nE-mail: john@x.org \r\n"
                                    "Company:  \r\nAddress:  \r\nComments:  \r\n\r\n\"\r\n"
                                    "\"2\r\nName: Mary   Major \r\nPhone:  \r\nE-mail:  \r\n"
                                    "Company: Say \"hi\" \r\nAddress:  \r\nComments:  \r\n\r\n\"\r\n";

frmPrint* openPrint(TestEnv& env, Data* d)
{
    action(d, "mnuPrint")->trigger();
    return env.ctx().windows.existing<frmPrint>();
}

QRadioButton* option(QWidget* w, const char* name)
{
    return w->findChild<QRadioButton*>(QString::fromLatin1(name));
}

// Chooses the options by clicking them, then presses Print.
void printWith(TestEnv& env, Data* d, const char* what, const char* where)
{
    frmPrint* w = openPrint(env, d);
    QTest::mouseClick(option(w, what), Qt::LeftButton);
    QTest::mouseClick(option(w, where), Qt::LeftButton);
    click(w, "cmdPrint");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QTextEdit* rtf(frmView* v)
{
    return v->findChild<QTextEdit*>(QStringLiteral("Rtf"));
}

QString pdfText(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QStringList savedOptions(TestEnv& env)
{
    QStringList out;
    for (const char* k : {"PrintOption1", "PrintOption2", "PrintOption3", "PrintOption4"})
        out << env.setting(QString::fromLatin1(k));
    return out;
}

} // namespace

class TestPrint : public QObject
{
    Q_OBJECT

private slots:
    void storedOptionsReadAsChoices()
    {
        for (const char* yes : {"True", "true", "TRUE", " True ", "1", "-1", "2.5"})
            QVERIFY2(optionFromSetting(QString::fromLatin1(yes)), yes);
        for (const char* no : {"False", "false", "0", "0.0", "", "yes", "x1"})
            QVERIFY2(!optionFromSetting(QString::fromLatin1(no)), no);
    }

    void optionsAreRestoredOnOpeningAndSavedOnEveryClose()
    {
        TestEnv env;
        Data* d = env.openData();
        frmPrint* w = openPrint(env, d);
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Print"));
        QVERIFY(w->windowFlags() & Qt::Tool);
        for (const char* o : {"Option1", "Option2", "Option3", "Option4"})
            QVERIFY(!option(w, o)->isChecked());
        d->Toolbar1_ButtonClick(QStringLiteral("PrintRecord"));
        QCOMPARE(env.ctx().windows.existing<frmPrint>(), w);

        // The two frames are separate groups.
        QTest::mouseClick(option(w, "Option1"), Qt::LeftButton);
        QTest::mouseClick(option(w, "Option2"), Qt::LeftButton);
        QTest::mouseClick(option(w, "Option4"), Qt::LeftButton);
        QVERIFY(!option(w, "Option1")->isChecked());
        click(w, "cmdExit");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!env.ctx().windows.existing<frmPrint>());
        QCOMPARE(savedOptions(env), QStringList({"False", "True", "False", "True"}));

        w = openPrint(env, d);
        QVERIFY(option(w, "Option2")->isChecked() && option(w, "Option4")->isChecked());
        QVERIFY(!option(w, "Option1")->isChecked() && !option(w, "Option3")->isChecked());
        QTest::mouseClick(option(w, "Option3"), Qt::LeftButton);
        w->close();   // the close box saves as well
        QCOMPARE(savedOptions(env), QStringList({"False", "True", "True", "False"}));

        env.setSetting(QStringLiteral("PrintOption1"), QStringLiteral("1"));
        env.setSetting(QStringLiteral("PrintOption2"), QStringLiteral("0"));
        w = openPrint(env, d);
        QVERIFY(option(w, "Option1")->isChecked() && !option(w, "Option2")->isChecked());

        // Shutdown closes the print window (saving it), then the viewer.
        QTest::mouseClick(option(w, "Option4"), Qt::LeftButton);
        env.ctx().windows.get<frmView>()->show();
        const QPointer<frmView> viewer = env.ctx().windows.existing<frmView>();
        env.closeData();
        QVERIFY(!env.ctx().windows.existing<frmPrint>() && !viewer);
        QCOMPARE(savedOptions(env), QStringList({"True", "False", "False", "True"}));
        QVERIFY(env.boxes().shown.isEmpty());
    }

    void thisRecordToAFileShowsTheBoxesAsTheyStandAndSavesThem()
    {
        TestEnv env;
        env.writeBook(contacts());
        Data* d = env.openData();
        d->cmdNext_Click();
        typeInto(d, "txtLast", QStringLiteral("Éclair"));   // not applied
        printWith(env, d, "Option1", "Option3");

        QVERIFY(!env.ctx().windows.existing<frmPrint>());
        QVERIFY(!QFile::exists(env.path(QString::fromLatin1(kPrintFileName))));
        frmView* v = env.ctx().windows.existing<frmView>();
        QVERIFY(v && v->isVisible());
        QCOMPARE(v->windowTitle(), QStringLiteral("Info..."));
        const QString text = QStringLiteral("  (2)\r\nName: Mary Éclair\r\nPhone:  \r\nE-mail:  \r\n"
                                            "Company: Say \"hi\" \r\nAddress:  \r\nComments:  ");
        QCOMPARE(v->plainText(), text);
        QVERIFY(!rtf(v)->textCursor().hasSelection());

        // Right-click, "Save As...": the text as shown, CR LF, one byte a character.
        const QString saved = env.path(QStringLiteral("mary"));
        env.dialogs().files.append(saved);
        QTest::mouseClick(rtf(v)->viewport(), Qt::RightButton, {}, QPoint(10, 10));
        auto* menu = v->findChild<QMenu*>(QStringLiteral("mnuSave"));
        QVERIFY(menu->isVisible());
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[0]->text(), QStringLiteral("Save As..."));
        QCOMPARE(menu->actions()[1]->text(), QStringLiteral("Print"));
        menu->actions()[0]->trigger();
        menu->hide();
        QCOMPARE(env.fileBytes(QStringLiteral("mary")), text.toLatin1());
        QCOMPARE(env.dialogs().shown.last().title, QStringLiteral("Save As"));
        QCOMPARE(env.dialogs().shown.last().filter, QStringLiteral("Text (*.txt)"));
        QCOMPARE(d->dlgFileOpen().Filter, QStringLiteral("Text |*.txt"));
        QCOMPARE(d->dlgFileOpen().Flags, 2);

        // A left click opens no menu; a cancel or an unwritable name saves nothing.
        QTest::mouseClick(rtf(v)->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(!menu->isVisible());
        QFile::remove(saved);
        v->mnuSaveAs_Click();
        env.dialogs().files.append(env.path(QStringLiteral("no/such/folder.txt")));
        v->mnuSaveAs_Click();
        QVERIFY(QDir(env.path(QString())).entryList({QStringLiteral("*")}, QDir::Files).size() == 2);
        QVERIFY(env.boxes().shown.isEmpty());
    }

    void allRecordsRewriteThePrintFileBeforeItIsShownOrPrinted()
    {
        TestEnv env;
        env.writeBook(contacts());
        QFile stale(env.path(QString::fromLatin1(kPrintFileName)));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write(QByteArray(2000, 'x'));
        stale.close();
        Data* d = env.openData();
        printWith(env, d, "Option2", "Option3");
        QCOMPARE(env.fileBytes(QString::fromLatin1(kPrintFileName)), kTwoContactsFile);
        frmView* v = env.ctx().windows.existing<frmView>();
        QVERIFY(v && v->isVisible());
        QCOMPARE(v->plainText().toLatin1(), kTwoContactsFile);
        QCOMPARE(recordBox(d), QStringLiteral("1"));   // the main window stays put
        QCOMPARE(d->boxText(Field::FirstName), QStringLiteral("John "));

        const QString pdf = env.path(QStringLiteral("all.pdf"));
        env.dialogs().printers.append(pdf);
        printWith(env, d, "Option2", "Option4");
        QCOMPARE(d->dlgFileOpen().Flags, 256);
        const QString printed = pdfText(pdf);
        // (pdftotext gives runs of spaces back as one)
        QVERIFY2(printed.contains(QStringLiteral("\"2\nName: Mary Major\nPhone:\n")), qPrintable(printed));
        QVERIFY(printed.contains(QStringLiteral("Company: Say \"hi\"")));
        QVERIFY(!printed.contains(QRegularExpression(QStringLiteral("^\\s*1\\s*$\\s*\\z"),
                                                     QRegularExpression::MultilineOption)));
        QVERIFY(env.boxes().shown.isEmpty());
    }

    void printingFromThePrintWindowIsQuietAndFromTheViewerReported()
    {
        TestEnv env;
        env.writeBook(contacts());
        Data* d = env.openData();
        const QString pdf = env.path(QStringLiteral("one.pdf"));
        env.dialogs().printers.append(pdf);
        printWith(env, d, "Option1", "Option4");
        QVERIFY(pdfText(pdf).contains(QStringLiteral("Name: John Smith")));
        frmView* v = env.ctx().windows.existing<frmView>();
        QVERIFY(v && v->isVisible());

        // A cancelled or failed print from the print window: no message, viewer shown.
        printWith(env, d, "Option1", "Option4");
        env.dialogs().printers.append(env.path(QStringLiteral("no/such/folder.pdf")));
        printWith(env, d, "Option1", "Option4");
        QVERIFY(env.boxes().shown.isEmpty());
        QVERIFY(v->isVisible() && !env.ctx().windows.existing<frmPrint>());

        // The viewer's own Print: only the selection; a cancel says nothing.
        QTextCursor c = rtf(v)->textCursor();
        c.setPosition(static_cast<int>(rtf(v)->toPlainText().indexOf(QStringLiteral("Phone"))));
        c.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
        rtf(v)->setTextCursor(c);
        const QString part = env.path(QStringLiteral("part.pdf"));
        env.dialogs().printers.append(part);
        v->mnuPrint_Click();
        const QString printed = pdfText(part);
        QVERIFY2(printed.contains(QStringLiteral("Phone: 111")) && !printed.contains(QStringLiteral("John")),
                 qPrintable(printed));
        v->mnuPrint_Click();   // cancelled
        QVERIFY(env.boxes().shown.isEmpty());

        // A long text goes on over several pages, every line once.
        QStringList lines;
        for (int i = 1; i <= 150; ++i)
            lines << QStringLiteral("line %1").arg(i);
        v->setText(lines.join(QStringLiteral("\r\n")));
        const QString longPdf = env.path(QStringLiteral("long.pdf"));
        env.dialogs().printers.append(longPdf);
        v->mnuPrint_Click();
        const QString all = pdfText(longPdf);
        QVERIFY(all.count(QLatin1Char('\f')) > 1);
        for (const QString& l : lines)
            QVERIFY2(all.count(QRegularExpression(QStringLiteral("^\f?") + l + QLatin1Char('$'),
                                                  QRegularExpression::MultilineOption)) == 1, qPrintable(l));

        env.dialogs().printers.append(env.path(QStringLiteral("no/such/folder.pdf")));
        v->mnuPrint_Click();
        QCOMPARE(env.boxes().shown.size(), 1);
        QCOMPARE(env.boxes().shown[0].text, QStringLiteral("NOT PRINTED"));
        QCOMPARE(env.boxes().shown[0].title, QStringLiteral("!"));
        QCOMPARE(env.boxes().shown[0].icon, MsgIcon::Critical);
    }

    // Pages, copies and collation chosen in the printer dialog are what
    // comes out; Cancel in the progress dialog stops the job.
    void thePrinterDialogsChoicesAreHonoured()
    {
        TestEnv env;
        env.openData();
        frmView* v = env.ctx().windows.get<frmView>();
        QStringList lines;
        for (int i = 1; i <= 150; ++i)
            lines << QStringLiteral("line %1").arg(i);
        v->setText(lines.join(QStringLiteral("\r\n")));
        const auto pagesOf = [](const QString& pdf) {
            QStringList firstLines;
            for (const QString& page : pdfText(pdf).split(QLatin1Char('\f'), Qt::SkipEmptyParts))
                firstLines << page.trimmed().section(QLatin1Char('\n'), 0, 0).trimmed();
            return firstLines;
        };
        const QString all = env.path(QStringLiteral("all.pdf"));
        env.dialogs().printers.append(all);
        v->mnuPrint_Click();
        const QStringList pages = pagesOf(all);
        QVERIFY(pages.size() >= 3);

        const QString some = env.path(QStringLiteral("some.pdf"));
        env.dialogs().printers.append(some);
        env.dialogs().printerChoices = [](QPrinter& p) {
            p.setPrintRange(QPrinter::PageRange);
            p.setPageRanges(QPageRanges::fromString(QStringLiteral("2-3")));
            p.setCopyCount(2);
            p.setCollateCopies(false);
        };
        v->mnuPrint_Click();
        QCOMPARE(pagesOf(some), (QStringList{pages[1], pages[1], pages[2], pages[2]}));

        env.dialogs().printers.append(some);
        env.dialogs().printerChoices = [](QPrinter& p) {
            p.setPrintRange(QPrinter::PageRange);
            p.setPageRanges(QPageRanges::fromString(QStringLiteral("1,3")));
            p.setCopyCount(2);
            p.setCollateCopies(true);
        };
        v->mnuPrint_Click();
        QCOMPARE(pagesOf(some), (QStringList{pages[0], pages[2], pages[0], pages[2]}));
        QVERIFY(env.boxes().shown.isEmpty());

        const QString cancelled = env.path(QStringLiteral("cancelled.pdf"));
        env.dialogs().printers.append(cancelled);
        env.dialogs().printerChoices = {};
        Progress::cancelAtForTesting(1);
        v->mnuPrint_Click();
        QVERIFY(!QFile::exists(cancelled));
        QVERIFY(env.boxes().shown.isEmpty());   // a cancel is no failure
    }

    // Long work shows a busy cursor while it runs, and only then.
    void allRecordsShowABusyCursorWhileTheyLoad()
    {
        TestEnv env;
        env.writeBook(contacts());
        Data* d = env.openData();
        frmView* v = env.ctx().windows.get<frmView>();
        std::optional<Qt::CursorShape> during;
        connect(rtf(v)->document(), &QTextDocument::contentsChanged, this, [&] {
            if (!during)
                during = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
        });
        printWith(env, d, "Option2", "Option3");
        QCOMPARE(during, std::optional<Qt::CursorShape>(Qt::WaitCursor));
        QVERIFY(!QApplication::overrideCursor());
    }

    // Pages are laid out as they print: a line wider than the page wraps
    // whole onto the next rows, one taller than a page goes on over the
    // next, and nothing is lost between pages.
    void longLinesWrapAndNothingIsLostBetweenPages()
    {
        TestEnv env;
        env.openData();
        frmView* v = env.ctx().windows.get<frmView>();
        QStringList words;
        for (int i = 1; i <= 1500; ++i)
            words << QStringLiteral("w%1").arg(i);
        QStringList lines{QStringLiteral("start")};
        lines << words.join(u' ');   // taller than a page once wrapped
        for (int i = 1; i <= 80; ++i)
            lines << QStringLiteral("row %1").arg(i);
        v->setText(lines.join(QStringLiteral("\r\n")));
        const QString pdf = env.path(QStringLiteral("long.pdf"));
        env.dialogs().printers.append(pdf);
        v->mnuPrint_Click();
        const QString text = pdfText(pdf);
        QVERIFY(text.count(u'\f') >= 2);
        const QStringList printed = text.simplified().split(u' ');
        QCOMPARE(printed.first(), QStringLiteral("start"));
        QCOMPARE(printed.mid(1, 1500), words);
        for (int i = 1; i <= 80; ++i)
            QCOMPARE(printed.value(1500 + 2 * i), QString::number(i));
        QVERIFY(env.boxes().shown.isEmpty());
    }

    // The viewer keeps its lines in paragraphs of many lines: a third click
    // still selects the one line under the pointer, and Print prints it.
    void aTripleClickSelectsOneLine()
    {
        TestEnv env;
        Data* d = env.openData();
        frmView* v = env.ctx().windows.get<frmView>();
        QStringList text;
        for (int i = 1; i <= 100; ++i)
            text << QStringLiteral("line %1").arg(i);
        v->setText(text.join(QStringLiteral("\r\n")));
        v->show();
        QVERIFY(QTest::qWaitForWindowExposed(v));
        QTextEdit* box = rtf(v);
        for (int line : {1, 5, 40}) {
            QTextCursor c(box->document());
            c.setPosition(static_cast<int>(text.mid(0, line - 1).join(u'\n').size()) + (line > 1 ? 3 : 2));
            box->setTextCursor(c);
            box->ensureCursorVisible();
            const QPoint at = box->cursorRect().center();
            QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, at);
            QCOMPARE(box->textCursor().selectedText(), QStringLiteral("line %1").arg(line));
        }
        // A click after the pause is a click again: the selection goes.
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->cursorRect().center());
        QVERIFY(!box->textCursor().hasSelection());
        Q_UNUSED(d);
    }

    // Enter on a focused button presses it, as in any dialog.
    void enterPressesTheFocusedButton()
    {
        TestEnv env;
        Data* d = env.openData();
        frmPrint* w = openPrint(env, d);
        QPushButton* exit = button(w, "cmdExit");
        exit->setFocus();
        QTest::keyClick(exit, Qt::Key_Return);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!env.ctx().windows.existing<frmPrint>());
    }

    void noChoiceLeavesTheViewerTextAndItsCloseBoxEmptiesIt()
    {
        TestEnv env;
        env.writeBook(contacts());
        Data* d = env.openData();
        click(openPrint(env, d), "cmdPrint");
        frmView* v = env.ctx().windows.existing<frmView>();
        QVERIFY(v && v->isVisible() && v->plainText().isEmpty());
        QVERIFY(!env.ctx().windows.existing<frmPrint>());

        v->setText(QStringLiteral("kept"));
        frmPrint* w = openPrint(env, d);
        QTest::mouseClick(option(w, "Option1"), Qt::LeftButton);   // nowhere chosen
        click(w, "cmdPrint");
        QCOMPARE(v->plainText(), QStringLiteral("kept"));

        v->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!env.ctx().windows.existing<frmView>());
        QVERIFY(env.ctx().windows.get<frmView>()->plainText().isEmpty());
    }

    void aPrintFileThatCannotBeWrittenIsReported()
    {
        TestEnv env;
        env.writeBook(contacts());
        Data* d = env.openData();
        QVERIFY(QDir().mkdir(env.path(QString::fromLatin1(kPrintFileName))));
        printWith(env, d, "Option2", "Option3");
        QCOMPARE(env.boxes().shown.size(), 1);
        QVERIFY(env.boxes().shown[0].text.startsWith(QStringLiteral("The records could not be written to PhonePrint.z8P.")));
        QVERIFY(env.ctx().windows.existing<frmPrint>());   // open for another try
        QVERIFY(!env.ctx().windows.existing<frmView>());
        QDir().rmdir(env.path(QString::fromLatin1(kPrintFileName)));

        // A disk that fills up, and a book that cannot be read, are failures too.
        QString error;
        {
            FileSizeLimit full(100);
            QVERIFY(!WritePrintFile(env.ctx().book, 2, &error));
        }
        QVERIFY(!error.isEmpty());
        env.ctx().book.closePhonebookFile();
        QVERIFY(!WritePrintFile(env.ctx().book, 2, &error));
        QVERIFY(WritePrintFile(env.ctx().book, 0, &error));
        QCOMPARE(QFileInfo(env.path(QString::fromLatin1(kPrintFileName))).size(), 0);
    }

    void theTextBoxFollowsTheWindowSize()
    {
        TestEnv env;
        env.openData();
        frmView* v = env.ctx().windows.get<frmView>();
        v->show();
        QVERIFY(QTest::qWaitForWindowExposed(v));
        v->resize(400, 300);
        QTRY_COMPARE(v->size(), QSize(400, 300));
        // The text fills the window: no bare strips right of it or below.
        QCOMPARE(rtf(v)->geometry(), QRect(0, 0, 400, 300));
        const QSize last = rtf(v)->size();
        v->showMinimized();   // nothing to fill: the box keeps its size
        QCOMPARE(rtf(v)->size(), last);
    }
};

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
