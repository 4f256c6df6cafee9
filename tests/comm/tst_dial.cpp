#include "comm/Dial.h"
#include "platform/SerialPort.h"
#include "support/TestEnv.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace pb;
using namespace pb::test;

namespace {

// Two linked pseudo-terminals: what is written to one end arrives at the other.
class PtyPair
{
public:
    PtyPair() : a(dir.filePath(QStringLiteral("ttyA"))), b(dir.filePath(QStringLiteral("ttyB")))
    {
        if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())
            return;
        socat.start(QStringLiteral("socat"), {QStringLiteral("-d"), QStringLiteral("-d"),
                                              QStringLiteral("pty,raw,echo=0,link=") + a,
                                              QStringLiteral("pty,raw,echo=0,link=") + b});
        const QDeadlineTimer deadline(5000);
        while (!(QFile::exists(a) && QFile::exists(b)) && !deadline.hasExpired())
            QTest::qWait(10);
        ready = QFile::exists(a) && QFile::exists(b);
    }
    ~PtyPair() { stop(); }

    void stop()
    {
        if (socat.state() == QProcess::NotRunning)
            return;
        socat.terminate();
        if (!socat.waitForFinished(3000))
            socat.kill();
        socat.waitForFinished(3000);
    }

    QTemporaryDir dir;
    QString a, b;
    QProcess socat;
    bool ready = false;
};

#define REQUIRE_PTYS(pty)                                                                                    \
    do {                                                                                                     \
        if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())                               \
            QSKIP("socat is not installed");                                                                 \
        QVERIFY2((pty).ready, "socat made no pseudo-terminals");                                             \
    } while (false)

// Everything that arrives within the time, stopping early once `expected`
// bytes are in, then a short wait for anything that should not be there.
QByteArray readFrom(QSerialPort& port, qsizetype expected)
{
    QByteArray got;
    const QDeadlineTimer deadline(3000);
    while (got.size() < expected && !deadline.hasExpired()) {
        if (port.waitForReadyRead(50))
            got += port.readAll();
    }
    if (port.waitForReadyRead(100))
        got += port.readAll();
    return got + port.readAll();
}

bool openReader(QSerialPort& port, const QString& device)
{
    port.setPortName(device);
    port.setBaudRate(9600);
    return port.open(QIODevice::ReadOnly);
}

SerialPort& modemOf(Data* d)
{
    return d->findChild<ModemLine*>()->port();
}

const QString kBusy = QStringLiteral("Modem already in use or not ready.");

} // namespace

class TestDial : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { SerialPort::setFactoryForTesting({}); }

    void dialsTheNumberExactlyAsShown()
    {
        PtyPair pty;
        REQUIRE_PTYS(pty);
        TestEnv env;
        env.setSetting(kModemPortKey, pty.a);
        env.writeBook({makeRecord({"Ann", "Lee", "555-12 34"})});
        Data* d = env.openData();
        QSerialPort modem;
        QVERIFY2(openReader(modem, pty.b), qPrintable(modem.errorString()));

        action(d, "mnuDialer")->trigger();
        QCOMPARE(readFrom(modem, 14), QByteArray("ATDT555-12 34 \r"));   // the shown text keeps its space
        QVERIFY(env.boxes().shown.isEmpty());
        QVERIFY(modemOf(d).isOpen());   // the call goes on

        // A second dial on the line still open, with what the box holds now.
        d->setBoxText(Field::Phone, QStringLiteral(" "));
        action(d, "mnuDialer")->trigger();
        QCOMPARE(readFrom(modem, 6), QByteArray("ATDT \r"));
        d->setBoxText(Field::Phone, QStringLiteral("(0) é-1 x"));
        action(d, "mnuDialer")->trigger();
        QCOMPARE(readFrom(modem, 14), QByteArray("ATDT(0) \xE9-1 x\r"));
        QVERIFY(env.boxes().shown.isEmpty());
    }

    void aBusyOrMissingPortIsReported()
    {
        PtyPair pty;
        REQUIRE_PTYS(pty);
        TestEnv env;
        env.setSetting(kModemPortKey, pty.a);
        env.writeBook({makeRecord({"Ann", "Lee", "123"})});
        Data* d = env.openData();

        QSerialPort other;   // another program holds the modem
        QVERIFY(openReader(other, pty.a));
        action(d, "mnuDialer")->trigger();
        QCOMPARE(env.messages(), QStringList{kBusy});
        QCOMPARE(env.boxes().shown[0].title, QStringLiteral("!"));
        QCOMPARE(env.boxes().shown[0].icon, MsgIcon::Information);
        QCOMPARE(env.boxes().shown[0].buttons, MsgButtons::Ok);
        QVERIFY(!modemOf(d).isOpen());

        other.close();
        QSerialPort modem;
        QVERIFY(openReader(modem, pty.b));
        action(d, "mnuDialer")->trigger();
        QCOMPARE(readFrom(modem, 8), QByteArray("ATDT123 \r"));
        QCOMPARE(env.boxes().shown.size(), 1);

        // The other end goes away: the line is closed, not left spinning on
        // read errors, and the next dial says the modem is not ready.
        modem.close();
        pty.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!modemOf(d).isOpen(), 3000);
        action(d, "mnuDialer")->trigger();
        QCOMPARE(env.messages(), (QStringList{kBusy, kBusy}));
    }

    // Programs outside Qt hold a line with an exclusive lock on the device
    // or with a lock file naming their process.
    void aLineHeldByAnotherProgramIsReported()
    {
        PtyPair pty;
        REQUIRE_PTYS(pty);
        QTemporaryDir locks;
        DeviceSerialPort::setLockFoldersForTesting({locks.path()});
        TestEnv env;
        env.setSetting(kModemPortKey, pty.a);
        env.writeBook({makeRecord({"Ann", "Lee", "123"})});
        Data* d = env.openData();

        const int fd = ::open(QFile::encodeName(pty.a).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        action(d, "mnuDialer")->trigger();
        QCOMPARE(env.messages(), QStringList{kBusy});
        QVERIFY(!modemOf(d).isOpen());
        ::close(fd);

        QFile lock(locks.filePath(QStringLiteral("LCK..ttyA")));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QStringLiteral("%1\n").arg(pty.socat.processId(), 10).toLatin1());   // a live process
        lock.close();
        action(d, "mnuDialer")->trigger();
        QCOMPARE(env.messages(), (QStringList{kBusy, kBusy}));
        QVERIFY(!modemOf(d).isOpen());

        // A lock left by a process that is gone holds nothing.
        QProcess gone;
        gone.start(QStringLiteral("sleep"), {QStringLiteral("0.1")});
        QVERIFY(gone.waitForStarted());
        const qint64 deadPid = gone.processId();
        QVERIFY(deadPid > 0);
        QVERIFY(gone.waitForFinished());
        QVERIFY(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
        lock.write(QStringLiteral("%1\n").arg(deadPid, 10).toLatin1());
        lock.close();
        QSerialPort modem;
        QVERIFY(openReader(modem, pty.b));
        action(d, "mnuDialer")->trigger();
        QCOMPARE(readFrom(modem, 8), QByteArray("ATDT123 \r"));
        QCOMPARE(env.messages().size(), 2);
        DeviceSerialPort::setLockFoldersForTesting({QStringLiteral("/var/lock"), QStringLiteral("/run/lock")});
    }

    void portStepsRunInOrderAndStopAtTheFirstFailure()
    {
        TestEnv env;
        env.writeBook({makeRecord({"Ann", "Lee", "123"})});
        ScriptedSerialPort* port = nullptr;
        SerialPort::setFactoryForTesting([&] {
            auto p = std::make_unique<ScriptedSerialPort>();
            port = p.get();
            p->failSteps = {QStringLiteral("settings")};
            return p;
        });
        Data* d = env.openData();
        const QString device = QStringLiteral("port ") + SerialPort::deviceName(3);
#ifdef Q_OS_WIN
        QCOMPARE(SerialPort::deviceName(3), QStringLiteral("COM3"));
#else
        QCOMPARE(SerialPort::deviceName(3), QStringLiteral("/dev/ttyS2"));
#endif

        action(d, "mnuDialer")->trigger();
        QVERIFY(port);
        QCOMPARE(port->calls, (QStringList{device, "settings 9600,N,8,1"}));
        QCOMPARE(env.messages(), QStringList{kBusy});

        port->calls.clear();
        action(d, "mnuDialer")->trigger();
        action(d, "mnuDialer")->trigger();   // the line from the first is hung up first
        const QStringList dial{device, "settings 9600,N,8,1", "open", "output ATDT123 \r"};
        QCOMPARE(port->calls, dial + QStringList{"close"} + dial);
        QCOMPARE(env.boxes().shown.size(), 1);

        // An empty phone box: a message, and the port is not touched.
        port->calls.clear();
        typeInto(d, "txtPhone", "");
        action(d, "mnuDialer")->trigger();
        QVERIFY(port->calls.isEmpty());
        QCOMPARE(env.boxes().shown.size(), 2);
        QCOMPARE(env.boxes().shown[1].text, QStringLiteral("You need to enter a phone number"));
        QCOMPARE(env.boxes().shown[1].title, QStringLiteral("No number"));
        QCOMPARE(env.boxes().shown[1].icon, MsgIcon::Exclamation);
    }

    void theRealPortRefusesWhatItCannotDo()
    {
        DeviceSerialPort port;
        QVERIFY(!port.open());   // no device chosen yet
        QVERIFY(!port.output("ATDT1\r"));
        QVERIFY(port.setSettings(QStringLiteral("2400,e,7,1.5")));
        for (const char* bad : {"", "9600,N,8", "0,N,8,1", "9600,X,8,1", "9600,N,9,1", "9600,N,8,3"})
            QVERIFY2(!port.setSettings(QString::fromLatin1(bad)), bad);
        QVERIFY(port.setCommPort(QStringLiteral("/nonexistent/ttyZ9")));
        QVERIFY(!port.open() && !port.isOpen());
    }

    void phoneDialerStartsOrIsReportedMissing()
    {
        TestEnv env;
        Data* d = env.openData();
        action(d, "mnuPhoneDialer")->trigger();   // the queue is empty: not there
        QCOMPARE(env.programs().started.size(), 1);
#ifdef Q_OS_WIN
        QCOMPARE(env.programs().started[0].program, QStringLiteral("Dialer"));
#else
        QCOMPARE(env.programs().started[0].program, QStringLiteral("gnome-calls"));
#endif
        QVERIFY(env.programs().started[0].arguments.isEmpty());
        QCOMPARE(env.messages(), QStringList{"This is a default WINDOWS program, but it is not on your machine"});
        QCOMPARE(env.boxes().shown[0].title, QStringLiteral("PhoneDialer Not Found!"));
        QCOMPARE(env.boxes().shown[0].icon, MsgIcon::Exclamation);

        env.programs().answers.append(true);
        action(d, "mnuPhoneDialer")->trigger();
        QCOMPARE(env.programs().started.size(), 2);
        QCOMPARE(env.boxes().shown.size(), 1);
    }
};

QTEST_MAIN(TestDial)
#include "tst_dial.moc"
