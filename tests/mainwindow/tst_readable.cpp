// Every window read and used as users who cannot use a mouse or read small
// text do: a name for every control, every control reached with Tab alone,
// no text wider or taller than its control at a large font (and, run again
// by CTest, at twice the scale and with each font that commonly stands in
// for Arial), and readable text under a dark palette.
#include "print/frmView.h"
#include "shell/frmSplash.h"
#include "support/Readable.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QMenu>
#include <QTest>

using namespace pb;
using namespace pb::test;

namespace {

// Every window the main window opens, on show: the search window, the
// records list, print options, the viewer, the diaries, the e-mail panel,
// the About box, the toolbar's customizer and the splash.
QList<QWidget*> openEveryWindow(TestEnv& env, Data* d)
{
    for (const char* item : {"mnuFind", "mnuShow", "mnuPrint", "mnuDiaries", "mnuMailTo", "mnuAbout"})
        action(d, item)->trigger();
    frmView* viewer = env.ctx().windows.get<frmView>();
    viewer->setText(d->CurrentRecordText());
    viewer->show();
    d->customizeToolbar();
    env.ctx().windows.get<frmSplash>()->show();
    QList<QWidget*> windows;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && !qobject_cast<QMenu*>(top))
            windows << top;
    return windows;
}

} // namespace

class TestReadable : public QObject
{
    Q_OBJECT
private slots:
    // Run with a font pinned for Arial, the run is of that font or fails:
    // a machine without it must not pass unseen.
    void initTestCase()
    {
        const QString pinned = qEnvironmentVariable("PB_ARIAL_STANDS_IN");
        if (!pinned.isEmpty())
        {
            // Qt names a family found in more than one foundry with the
            // foundry: "Nimbus Sans [urw]".
            const QString family = QFontInfo(QFont(QStringLiteral("Arial"))).family();
            QVERIFY2(family == pinned || family.startsWith(pinned + QLatin1String(" [")), qPrintable(family));
        }
    }

    void cleanup()
    {
        QApplication::setFont(QFont());
        QApplication::setPalette(QPalette());
    }

    // Every control a user can reach has a name a screen reader can say.
    void everyControlHasAName()
    {
        TestEnv env;
        env.writeBookNames({"Ann", "Bob"});
        Data* d = env.openData();
        QStringList unnamed;
        for (QWidget* top : openEveryWindow(env, d))
            unnamed += unnamedControls(top);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
    }

    // Tab alone, from the control that has the focus, reaches every control
    // that takes the focus from the keyboard, in every window.
    void tabReachesEveryControl()
    {
        TestEnv env;
        env.writeBookNames({"Ann", "Bob"});
        Data* d = env.openData();
        QStringList missed;
        for (QWidget* top : openEveryWindow(env, d))
            missed += missedByTab(top);
        missed.sort();
        QVERIFY2(missed.isEmpty(), qPrintable(missed.join(QStringLiteral(", "))));
    }

    // Esc closes the secondary windows, as the desktop's dialogs close; the
    // diaries, a page being written, stay (Esc there would lose what was
    // typed). Every window has a title.
    void escapeClosesTheSecondaryWindows()
    {
        TestEnv env;
        env.writeBookNames({"Ann", "Bob"});
        Data* d = env.openData();
        QStringList stayed, untitled;
        for (QWidget* top : openEveryWindow(env, d)) {
            const QString name = top->objectName();
            if (top->windowTitle().trimmed().isEmpty())
                untitled << name;
            if (top == d || name == QLatin1String("frmDiaries") || name == QLatin1String("frmSplash"))
                continue;
            top->activateWindow();
            QApplication::setActiveWindow(top);
            QWidget* target = top->focusWidget() ? top->focusWidget() : top;
            QTest::keyClick(target, Qt::Key_Escape);
            if (top->isVisible())
                stayed << name;
        }
        QVERIFY2(stayed.isEmpty(), qPrintable(stayed.join(QStringLiteral(", "))));
        QVERIFY2(untitled.isEmpty(), qPrintable(untitled.join(QStringLiteral(", "))));
    }

    // Large text (14 points, as a desktop's large-text setting gives) grows
    // the windows with it; at the usual size nothing clips either.
    void everyTextFits_data()
    {
        QTest::addColumn<double>("points");
        QTest::newRow("usual font") << 0.0;
        QTest::newRow("14 points") << 14.0;
        QTest::newRow("GNOME large text") << 13.75;
    }

    void everyTextFits()
    {
        QFETCH(double, points);
        if (points > 0) {
            QFont large = QApplication::font();
            large.setPointSizeF(points);
            QApplication::setFont(large);
        }
        TestEnv env;
        env.writeBook({makeRecord({"Maximilian", "Wolfeschlegel", "+49 89 1234 5678", "max@example.org", "Acme",
                                   "1 Main St", "Met at the fair"})});
        Data* d = env.openData();
        QStringList faults;
        for (QWidget* top : openEveryWindow(env, d))
            faults += clippedTexts(top);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    }

    // Under a dark palette every caption and box stays readable: where a
    // window fixes a background colour, it fixes the text colour with it.
    void everyTextIsReadableUnderADarkPalette()
    {
        QApplication::setPalette(darkPalette());
        TestEnv env;
        env.writeBookNames({"Ann"});
        Data* d = env.openData();
        QStringList faults;
        for (QWidget* top : openEveryWindow(env, d))
            faults += unreadableTexts(top);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    }
};

QTEST_MAIN(TestReadable)
#include "tst_readable.moc"
