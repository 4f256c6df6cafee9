#include "platform/CommonDialog.h"
#include "platform/Twips.h"
#include "shell/Artwork.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QRegularExpression>

using namespace pb;
using namespace pb::test;

namespace {

QWidget* backgroundOf(Data* d)
{
    return d->findChild<QWidget*>(QStringLiteral("DataArea"));
}

// Points of the background that no control covers: inside the 60 x 100
// test picture, and below it.
const QPoint kInPicture(10, 60);
const QPoint kBelowPicture(10, 200);

QColor shownAt(Data* d, QPoint at)
{
    if (backgroundOf(d)->childAt(at))
        qFatal("a control covers the sample point");
    return backgroundOf(d)->grab().toImage().pixelColor(at);
}

} // namespace

class TestAppearance : public QObject
{
    Q_OBJECT

private slots:
    void colourDialogStartsOnItsOwnLastColourAndDefaultIsBrown()
    {
        TestEnv env;
        env.setSetting(QStringLiteral("FormBackColor"), QStringLiteral("255"));
        Data* d = env.openData();
        const QColor chosen(10, 20, 30);
        env.dialogs().colors = {chosen};
        action(d, "mnuBackColors")->trigger();
        QCOMPARE(env.dialogs().shown.size(), 1);
        QCOMPARE(env.dialogs().shown[0].kind, QStringLiteral("color"));
        // Black the first time, whatever the window's colour.
        QCOMPARE(env.dialogs().shown[0].initial, QColor(Qt::black));
        QCOMPARE(d->backgroundColor(), 10 + 256 * 20 + 65536 * 30);

        // "Default" (created disabled: its handler is what a click would run),
        // then a cancelled dialog that still starts on the colour chosen in it.
        d->mnuDefault_Click();
        d->mnuOther_Click();
        QCOMPARE(env.dialogs().shown.size(), 2);
        QCOMPARE(env.dialogs().shown[1].initial, chosen);
        QCOMPARE(d->backgroundColor(), 16512);
        env.closeData();
        QCOMPARE(env.setting(QStringLiteral("FormBackColor")), QStringLiteral("16512"));
    }

    void aChosenPictureLastsOneRunButItsPathIsKept()
    {
        TestEnv env;
        env.setSetting(QStringLiteral("FormBackColor"), QStringLiteral("255"));   // red
        QImage green(60, 100, QImage::Format_RGB32);
        green.fill(QColor(0, 200, 0));
        const QString picture = env.path(QStringLiteral("green.bmp"));
        QVERIFY(green.save(picture));
        QFile text(env.path(QStringLiteral("notes.jpg")));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("no picture\n") > 0);
        text.close();
        const QColor builtIn = artwork::backgroundPicture().pixelColor(kInPicture);

        Data* d = env.openData();
        QCOMPARE(shownAt(d, kInPicture), builtIn);
        env.dialogs().files = {picture, text.fileName()};   // then a cancel
        action(d, "mnuBackPic")->trigger();
        QCOMPARE(d->backPicturePath(), picture);
        // Drawn at the top left, over the background colour.
        QCOMPARE(shownAt(d, kInPicture), QColor(0, 200, 0));
        QCOMPARE(shownAt(d, kBelowPicture), QColor(255, 0, 0));

        // A file that is no picture, and a cancel, change nothing.
        d->mnuBackPic_Click();
        d->mnuBackPic_Click();
        QCOMPARE(d->backPicturePath(), picture);
        QCOMPARE(shownAt(d, kInPicture), QColor(0, 200, 0));
        QCOMPARE(env.dialogs().shown.size(), 3);
        for (const auto& shown : env.dialogs().shown) {
            QCOMPARE(shown.title, QStringLiteral("Pics"));
            QCOMPARE(shown.filter, QStringLiteral("All picture files (*.gif *.jpeg *.jpg *.bmp)"));
        }
        QCOMPARE(d->dlgFileOpen().Filter, QStringLiteral("All picture files | *.gif; *.jpeg; *.jpg; *.bmp"));
        QVERIFY(env.boxes().shown.isEmpty());
        env.closeData();
        QCOMPARE(env.setting(QStringLiteral("FormBackPicture")), picture);

        // The next run shows the built-in picture again and keeps the path.
        env.restart();
        d = env.openData();
        QCOMPARE(shownAt(d, kInPicture), builtIn);
        env.closeData();
        QCOMPARE(env.setting(QStringLiteral("FormBackPicture")), picture);
    }

    // A compiled help file goes to its viewer; without one (or without a
    // viewer for it) the manual goes to the desktop's browser. Only when
    // nothing shows either is the user sent to F1.
    void helpShowsTheHelpFileOrTheManual_data()
    {
        QTest::addColumn<bool>("chm");
        QTest::addColumn<QList<bool>>("viewers");
        QTest::addColumn<QList<bool>>("browser");
        QTest::addColumn<bool>("manualOpened");
        QTest::addColumn<bool>("pressF1");
        QTest::newRow("help file, first viewer") << true << QList<bool>{true} << QList<bool>{} << false << false;
        QTest::newRow("help file, second viewer") << true << QList<bool>{false, true} << QList<bool>{} << false << false;
        QTest::newRow("help file, no viewer") << true << QList<bool>{} << QList<bool>{true} << true << false;
        QTest::newRow("no help file") << false << QList<bool>{} << QList<bool>{true} << true << false;
        QTest::newRow("nothing shows it") << false << QList<bool>{} << QList<bool>{false} << true << true;
    }

    void helpShowsTheHelpFileOrTheManual()
    {
        QFETCH(bool, chm);
        QFETCH(QList<bool>, viewers);
        QFETCH(QList<bool>, browser);
        QFETCH(bool, manualOpened);
        QFETCH(bool, pressF1);
        TestEnv env;
        const QString file = env.path(QStringLiteral("PhoneBook Help.chm"));
        if (chm) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        Data* d = env.openData();
        env.programs().answers = viewers;
        env.programs().openAnswers = browser;
        action(d, "mnuContents")->trigger();

        for (const auto& s : env.programs().started)
            QCOMPARE(s.arguments, QStringList{QDir::toNativeSeparators(file)});
        QCOMPARE(env.programs().started.isEmpty(), !chm);
        QCOMPARE(env.programs().opened.size(), manualOpened ? 1 : 0);
        if (manualOpened) {
            QVERIFY(env.programs().opened[0].endsWith(QStringLiteral("manual/index.html")));
            QVERIFY(QFileInfo(env.programs().opened[0]).isFile());
        }
        QCOMPARE(env.boxes().shown.size(), pressF1 ? 1 : 0);
        if (pressF1) {
            const auto& box = env.boxes().shown[0];
            // Where the manual is, rather than a key that does nothing here.
            QCOMPARE(box.text, QStringLiteral("The manual is in %1; open index.html with a web browser.")
                                   .arg(QFileInfo(Data::manualPath()).absolutePath()));
            QCOMPARE(box.title, QStringLiteral("z8P Phonebook"));
            QVERIFY(box.buttons == MsgButtons::Ok && box.icon == MsgIcon::Information);
        }
    }

    // The built-in picture fills the form to its last row, whatever the
    // colour behind it, also when the window is taller than the picture.
    void theBuiltInPictureFillsTheForm()
    {
        TestEnv env;
        env.setSetting(QStringLiteral("FormBackColor"), QStringLiteral("255"));   // red
        Data* d = env.openData();
        d->resize(d->width(), d->height() + 200);
        QTRY_VERIFY(backgroundOf(d)->height() > artwork::backgroundPicture().height());
        const QImage shown = backgroundOf(d)->grab().toImage();
        for (const int y : {shown.height() - 1, shown.height() - 20})
            for (const int x : {2, shown.width() - 3})
                QVERIFY2(shown.pixelColor(x, y) != QColor(255, 0, 0), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    }

    // No program is set for web pages and the browser is not installed:
    // the manual is handed to nobody (xdg-open would pick any program, even
    // a text editor), and the user is told where it is.
    void withNoProgramForWebPagesTheUserIsToldWhereTheManualIs()
    {
        TestEnv env;
        env.ctx().programFolder = env.path(QStringLiteral("no-plugin-here"));
        Data* d = env.openData();
        env.programs().defaultProgram.clear();
        env.programs().openAnswers = {true};
        action(d, "mnuManual")->trigger();
        QCOMPARE(env.programs().askedFor, QStringList{QStringLiteral("text/html")});
        QVERIFY(env.programs().opened.isEmpty());
        QCOMPARE(env.boxes().shown.size(), 1);
        QVERIFY(env.boxes().shown[0].text.startsWith(QStringLiteral("The manual is in ")));
    }

    // The manual is one click away in the Help menu, and every page of it
    // links only to pages that exist.
    void theManualIsReachableAndWhole()
    {
        TestEnv env;
        Data* d = env.openData();
        QVERIFY(action(d, "mnuManual")->isVisible());
        env.programs().openAnswers = {true};
        action(d, "mnuManual")->trigger();
        QCOMPARE(env.programs().opened.size(), 1);
        const QDir manual = QFileInfo(env.programs().opened[0]).dir();
        const QRegularExpression link(QStringLiteral("href=\"([^\"#:]+)\""));
        const QStringList pages = manual.entryList({QStringLiteral("*.html")});
        QString all;
        for (const QString& page : pages) {
            QFile f(manual.filePath(page));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QString html = QString::fromUtf8(f.readAll());
            all += html;
            for (auto it = link.globalMatch(html); it.hasNext();) {
                const QString target = it.next().captured(1);
                QVERIFY2(manual.exists(target), qPrintable(page + QStringLiteral(" -> ") + target));
            }
            // Every page's bar leads to every page.
            const QString bar = html.section(QStringLiteral("<nav>"), 1).section(QStringLiteral("</nav>"), 0, 0);
            for (const QString& other : pages)
                QVERIFY2(bar.contains(QStringLiteral("href=\"%1\"").arg(other)), qPrintable(page + QStringLiteral(" lacks ") + other));
        }
        // Every window is named as its title reads.
        for (const char* window : {"Search for...", "Available records", "Print", "Info...", "DiariesBook",
                                   "About z8P Phonebook", "z8P Surfer", "Customize Toolbar"})
            QVERIFY2(all.contains(QStringLiteral("<i>%1</i>").arg(QLatin1String(window))), window);
    }

    void f1DoesNothingAndTheBackgroundMenuIsGreyed()
    {
        TestEnv env;
        Data* d = env.openData();
        QVERIFY(QTest::qWaitForWindowActive(d));
        QTest::keyClick(d, Qt::Key_F1);
        QVERIFY(env.programs().started.isEmpty());
        QVERIFY(env.boxes().shown.isEmpty());

        auto* menu = d->findChild<QMenu*>(QStringLiteral("mnuBackColor"));
        QVERIFY(menu);
        QTest::mouseClick(backgroundOf(d), Qt::LeftButton, {}, kBelowPicture);
        QVERIFY(!menu->isVisible());
        QTest::mouseClick(backgroundOf(d), Qt::RightButton, {}, kBelowPicture);
        QTRY_VERIFY(menu->isVisible());
        QStringList items;
        for (QAction* a : menu->actions())
            if (a->isVisible())
                items << a->text() + (a->isEnabled() ? QString() : QStringLiteral(" (greyed)"));
        QCOMPARE(items, QStringList{QStringLiteral("BackColor (greyed)")});
        menu->hide();
    }
};

QTEST_MAIN(TestAppearance)
#include "tst_appearance.moc"
