#include "platform/SystemInfo.h"
#include "shell/frmAbout.h"
#include "shell/frmSplash.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QFile>
#include <QMap>
#include <QPointer>
#include <QTemporaryDir>

using namespace pb;
using namespace pb::test;

namespace {

QList<frmAbout*> openAboutBoxes()
{
    QList<frmAbout*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* a = qobject_cast<frmAbout*>(w); a && a->isVisible())
            out.append(a);
    return out;
}

QString labelText(QWidget* w, const char* name)
{
    return w->findChild<QLabel*>(QString::fromLatin1(name))->text();
}

// The search path of this process, replaced while it lives.
struct SearchPath {
    explicit SearchPath(const QString& path) { qputenv("PATH", path.toLocal8Bit()); }
    ~SearchPath() { qputenv("PATH", old); }
    const QByteArray old = qgetenv("PATH");
};

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        // Boxes a test leaves open go with it.
        for (frmAbout* a : openAboutBoxes())
            a->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void eachUseOpensANewBoxWithTitleAndVersion()
    {
        TestEnv env;
        Data* d = env.openData();
        action(d, "mnuAbout")->trigger();
        action(d, "mnuAbout")->trigger();

        const QList<frmAbout*> boxes = openAboutBoxes();
        QCOMPARE(boxes.size(), 2);
        QVERIFY(boxes[0] != boxes[1]);
        QVERIFY(!env.ctx().windows.existing<frmAbout>());
        QVERIFY(!QApplication::activeModalWidget());
        for (frmAbout* a : boxes) {
            QCOMPARE(a->windowTitle(), QStringLiteral("About z8P Phonebook"));
            QCOMPARE(labelText(a, "lblTitle"), QStringLiteral("z8P Phonebook"));
            QCOMPARE(labelText(a, "lblVersion"), QStringLiteral("Version 1.2.0"));
            // A fixed frame without minimise and maximise buttons.
            QCOMPARE(a->size(), QSize(382, 425));
            QCOMPARE(a->minimumSize(), a->maximumSize());
            QVERIFY(!(a->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
            // Regular Arial 9 for the title, and the picture to the last row.
            QVERIFY(!a->findChild<QLabel*>(QStringLiteral("lblTitle"))->font().bold());
            const QImage shown = a->grab().toImage();
            int whiteRows = 0;
            for (int y = shown.height() - 1; y >= 0 && shown.pixelColor(shown.width() / 5, y) == Qt::white; --y)
                ++whiteRows;
            QCOMPARE(whiteRows, 0);
        }

        // The main window's shutdown leaves them alone.
        env.closeData();
        QCOMPARE(openAboutBoxes().size(), 2);
        QVERIFY(env.boxes().shown.isEmpty());
    }

    // The notices tell the user's rights as the licence gives them: free
    // software under the GPL, version 3 or later, without warranty; they
    // still name the product and its publisher.
    void theNoticesSayTheProgramIsFreeSoftware()
    {
        TestEnv env;
        Data* d = env.openData();
        action(d, "mnuAbout")->trigger();
        const QString about = labelText(openAboutBoxes().value(0), "lblDisclaimer");
        const QString splash = labelText(env.ctx().windows.get<frmSplash>(), "lblDescription0");
        for (const QString& notice : {about, splash}) {
            QVERIFY2(notice.contains(QLatin1String("GNU General Public License, version 3 or later")), qPrintable(notice));
            QVERIFY2(notice.contains(QLatin1String("no warranty")), qPrintable(notice));
            QVERIFY2(notice.contains(QLatin1String("RiveVozuDezi")), qPrintable(notice));
            QVERIFY2(!notice.contains(QLatin1String("not allowed")) && !notice.contains(QLatin1String("rights reserved")),
                     qPrintable(notice));
        }
        QVERIFY(about.contains(QLatin1String("z8P Phonebook")));
    }

    void okEnterAndEscCloseOnlyThatBox_data()
    {
        QTest::addColumn<int>("key");   // 0: a click on OK
        QTest::newRow("OK") << 0;
        QTest::newRow("Enter") << int(Qt::Key_Enter);
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Esc") << int(Qt::Key_Escape);
    }

    void okEnterAndEscCloseOnlyThatBox()
    {
        QFETCH(int, key);
        TestEnv env;
        const QPointer<frmAbout> first = frmAbout::showNew(env.ctx());
        const QPointer<frmAbout> second = frmAbout::showNew(env.ctx());
        if (key == 0) {
            click(second, "cmdOK");
        } else {
            second->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(second));
            // OK has the focus when the box opens.
            QCOMPARE(QApplication::focusWidget(), button(second, "cmdOK"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        }
        // Closed and gone.
        QTRY_VERIFY(second.isNull());
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QVERIFY(env.programs().started.isEmpty());
    }

    void systemInfoStartsTheToolOnTheSearchPath_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("starts");
        QTest::newRow("found and started") << true << true;
        QTest::newRow("found but does not start") << true << false;
        QTest::newRow("not installed") << false << false;
    }

    void systemInfoStartsTheToolOnTheSearchPath()
    {
        QFETCH(bool, installed);
        QFETCH(bool, starts);
        TestEnv env;
        QTemporaryDir bin;
        const QString tool = bin.filePath(QStringLiteral("gnome-system-monitor"));
        // A file that may not be run is no tool.
        QFile notRunnable(bin.filePath(QStringLiteral("hardinfo")));
        QVERIFY(notRunnable.open(QIODevice::WriteOnly));
        if (installed) {
            QVERIFY(QFile::copy(notRunnable.fileName(), tool));
            QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::ExeOwner));
        }
        const SearchPath path(bin.path());
        env.programs().answers = {starts};

        frmAbout* a = frmAbout::showNew(env.ctx());
        click(a, "cmdSysInfo");

        if (installed) {
            QCOMPARE(env.programs().started.size(), 1);
            QCOMPARE(env.programs().started[0].program, tool);
            QVERIFY(env.programs().started[0].arguments.isEmpty());
        } else {
            QVERIFY(env.programs().started.isEmpty());
        }
        QCOMPARE(env.boxes().shown.size(), starts ? 0 : 1);
        if (!starts) {
            const auto& box = env.boxes().shown[0];
            QCOMPARE(box.text, QStringLiteral("System Information Is Unavailable At This Time"));
            QCOMPARE(box.title, QStringLiteral("z8P Phonebook"));
            QVERIFY(box.buttons == MsgButtons::Ok && box.icon == MsgIcon::None);
        }
        // Either way the box stays open.
        QVERIFY(a->isVisible());
    }

    void theRegistryLookupFollowsTheInstalledLocations_data()
    {
        QTest::addColumn<QString>("programValue");   // "-" for no value
        QTest::addColumn<QString>("folderValue");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("fileChecked");

        const QString exe = QStringLiteral("C:\\Tools\\msinfo32.exe");
        const QString folder = QStringLiteral("C:\\Shared\\MSInfo");
        const QString inFolder = QStringLiteral("C:\\Shared\\MSInfo\\MSINFO32.EXE");
        QTest::newRow("program path, taken unchecked") << exe << folder << QStringList() << exe << false;
        QTest::newRow("folder holding the program") << "-" << folder << QStringList{inFolder} << inFolder << true;
        QTest::newRow("folder ending in a separator")
            << "-" << folder + QLatin1Char('\\') << QStringList{inFolder} << inFolder << true;
        QTest::newRow("folder without the program") << "-" << folder << QStringList() << QString() << true;
        QTest::newRow("empty program path") << "" << folder << QStringList{inFolder} << inFolder << true;
        QTest::newRow("no entries") << "-" << "-" << QStringList() << QString() << false;
    }

    void theRegistryLookupFollowsTheInstalledLocations()
    {
        QFETCH(QString, programValue);
        QFETCH(QString, folderValue);
        QFETCH(QStringList, files);
        QFETCH(QString, expected);
        QFETCH(bool, fileChecked);

        QMap<QString, QString> values;
        if (programValue != QLatin1String("-"))
            values[QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO|PATH")] = programValue;
        if (folderValue != QLatin1String("-"))
            values[QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location|MSINFO")] = folderValue;
        bool checked = false;
        SystemInfo::Probe probe;
        probe.machineValue = [&](const QString& key, const QString& name) -> std::optional<QString> {
            const auto it = values.constFind(key + QLatin1Char('|') + name);
            return it == values.cend() ? std::nullopt : std::optional<QString>(*it);
        };
        probe.isFile = [&](const QString& p) {
            checked = true;
            return files.contains(p);
        };

        QCOMPARE(SystemInfo::locateInRegistry(probe), expected);
        QCOMPARE(checked, fileChecked);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The About boxes outlive the main window; the run must go on.
    QApplication::setQuitOnLastWindowClosed(false);
    TestAbout t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_about.moc"
