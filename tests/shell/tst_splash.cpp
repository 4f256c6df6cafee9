#include "shell/frmSplash.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

using namespace pb;
using namespace pb::test;

class TestSplash : public QObject
{
    Q_OBJECT
private slots:
    void theSplashHandsOverToTheMainWindowAfterTwoSeconds()
    {
        TestEnv env;
        env.writeBookNames({"A", "B"});
        QElapsedTimer clock;
        clock.start();
        frmSplash* splash = env.ctx().windows.get<frmSplash>();
        splash->show();
        QVERIFY(QTest::qWaitForWindowExposed(splash));
        QVERIFY(splash->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(splash->size(), QSize(400, 439));
        QCOMPARE(splash->frameGeometry().center(), splash->screen()->availableGeometry().center());
        QVERIFY(!env.ctx().windows.existing<Data>());

        // When the splash goes, the main window is loaded and already on screen.
        bool mainShownFirst = false;
        QObject::connect(splash, &QObject::destroyed, [&] {
            const Data* d = env.ctx().windows.existing<Data>();
            mainShownFirst = d && d->isVisible();
        });
        QPointer<frmSplash> watch(splash);
        QTRY_VERIFY_WITH_TIMEOUT(env.ctx().windows.existing<Data>(), 5000);
        QVERIFY(clock.elapsed() >= 2000);
        QTRY_VERIFY(watch.isNull());
        QVERIFY(mainShownFirst);
        QVERIFY(!env.ctx().windows.existing<frmSplash>());
        Data* d = env.ctx().windows.existing<Data>();
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 1 of 2"));
    }

    void closingTheMainWindowEndsTheRunBothWays_data()
    {
        QTest::addColumn<bool>("fromMenu");
        QTest::newRow("menu") << true;
        QTest::newRow("close box") << false;
    }

    void closingTheMainWindowEndsTheRunBothWays()
    {
        QFETCH(bool, fromMenu);
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        click(d, "cmdNext");
        if (fromMenu)
            action(d, "mnuexit")->trigger();
        else
            d->close();
        // Nothing of the program is left on screen, so the process ends.
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        QCOMPARE(env.setting("RecordNumber"), QStringLiteral("2"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!env.ctx().windows.existing<Data>());
        // The next use starts afresh.
        d = env.openData();
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 2 of 3"));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The tests watch the last window close; the run itself must go on.
    QApplication::setQuitOnLastWindowClosed(false);
    TestSplash t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_splash.moc"
