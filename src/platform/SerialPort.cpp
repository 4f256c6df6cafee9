#include "platform/SerialPort.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <QSerialPort>

namespace pb {

namespace {

std::function<std::unique_ptr<SerialPort>()>& testFactory()
{
    static std::function<std::unique_ptr<SerialPort>()> f;
    return f;
}

struct LineSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

bool parseSettings(const QString& text, LineSettings* out)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    bool ok = false;
    const int baud = parts[0].trimmed().toInt(&ok);
    if (!ok || baud <= 0)
        return false;
    LineSettings s;
    s.baud = baud;

    const QString parity = parts[1].trimmed().toUpper();
    if (parity == QLatin1String("N"))
        s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("E"))
        s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("O"))
        s.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("M"))
        s.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("S"))
        s.parity = QSerialPort::SpaceParity;
    else
        return false;

    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        return false;
    s.dataBits = static_cast<QSerialPort::DataBits>(bits);

    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        s.stopBits = QSerialPort::TwoStop;
    else
        return false;
    *out = s;
    return true;
}

} // namespace

QString SerialPort::deviceName(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM") + QString::number(port);
#else
    return QStringLiteral("/dev/ttyS") + QString::number(port - 1);
#endif
}

std::unique_ptr<SerialPort> SerialPort::create()
{
    if (testFactory())
        return testFactory()();
    return std::make_unique<DeviceSerialPort>();
}

void SerialPort::setFactoryForTesting(std::function<std::unique_ptr<SerialPort>()> factory)
{
    testFactory() = std::move(factory);
}

DeviceSerialPort::DeviceSerialPort() : port_(std::make_unique<QSerialPort>())
{
    // Modem replies are not used; drop them so that nothing piles up.
    QObject::connect(port_.get(), &QSerialPort::readyRead, port_.get(), [p = port_.get()] { p->readAll(); });
    // A line whose other end went away keeps reporting read errors: close it.
    QObject::connect(port_.get(), &QSerialPort::errorOccurred, port_.get(),
                     [p = port_.get()](QSerialPort::SerialPortError e) {
                         if ((e == QSerialPort::ReadError || e == QSerialPort::ResourceError) && p->isOpen())
                             p->close();
                     });
}

#ifdef Q_OS_UNIX
namespace {
QStringList& lockFolders()
{
    static QStringList folders = {QStringLiteral("/var/lock"), QStringLiteral("/run/lock"),
                                  QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp")};
    return folders;
}

// The process named in a lock file of the usual kind: its number as text
// (possibly space-padded, possibly followed by more lines) or, from older
// programs, as a 4-byte binary number.
std::optional<qint64> pidInLockFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = f.read(128);
    bool ok = false;
    const qint64 pid = bytes.split('\n').value(0).trimmed().toLongLong(&ok);
    if (ok)
        return pid;
    if (bytes.size() == 4) {
        qint32 binary = 0;
        std::memcpy(&binary, bytes.constData(), 4);
        return binary;
    }
    return std::nullopt;
}
} // namespace

std::optional<qint64> DeviceSerialPort::lockHolder(const QString& device)
{
    QStringList names = {QFileInfo(device).fileName()};
    const QString target = QFileInfo(device).canonicalFilePath();
    if (!target.isEmpty() && !names.contains(QFileInfo(target).fileName()))
        names.append(QFileInfo(target).fileName());
    for (const QString& folder : lockFolders()) {
        for (const QString& name : names) {
            const std::optional<qint64> pid = pidInLockFile(folder + QStringLiteral("/LCK..") + name);
            if (!pid || *pid <= 0 || *pid == ::getpid())
                continue;   // unreadable, or ours
            if (::kill(static_cast<pid_t>(*pid), 0) == 0 || errno == EPERM)
                return pid;   // a live process holds the line; a dead one's lock is stale
        }
    }
    return std::nullopt;
}

void DeviceSerialPort::setLockFoldersForTesting(const QStringList& folders)
{
    lockFolders() = folders;
}
#endif

DeviceSerialPort::~DeviceSerialPort()
{
    close();
}

bool DeviceSerialPort::fail(const QString& why)
{
    error_ = why;
    return false;
}

bool DeviceSerialPort::setCommPort(const QString& device)
{
    if (port_->isOpen())
        return fail(QStringLiteral("Port already open"));
    if (device.trimmed().isEmpty())
        return fail(QStringLiteral("No port given"));
    device_ = device;
    return true;
}

bool DeviceSerialPort::applySettings()
{
    LineSettings s;
    parseSettings(settings_, &s);
    return port_->setBaudRate(s.baud) && port_->setParity(s.parity) && port_->setDataBits(s.dataBits) &&
           port_->setStopBits(s.stopBits) && port_->setFlowControl(QSerialPort::NoFlowControl);
}

bool DeviceSerialPort::setSettings(const QString& settings)
{
    LineSettings s;
    if (!parseSettings(settings, &s))
        return fail(QStringLiteral("Invalid port settings"));
    settings_ = settings;
    if (port_->isOpen() && !applySettings())
        return fail(port_->errorString());
    return true;
}

bool DeviceSerialPort::open()
{
    if (port_->isOpen())
        return fail(QStringLiteral("Port already open"));
    if (device_.isEmpty())
        return fail(QStringLiteral("No port given"));
    port_->setPortName(device_);
    applySettings();
#ifdef Q_OS_UNIX
    if (const std::optional<qint64> holder = lockHolder(device_))
        return fail(QStringLiteral("The port is locked by process %1").arg(*holder));
#endif
    if (!port_->open(QIODevice::ReadWrite))
        return fail(port_->errorString());
#ifdef Q_OS_UNIX
    // Programs that take the line with an exclusive lock on the device.
    int rc;
    do
        rc = ::flock(static_cast<int>(port_->handle()), LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0 && errno == EWOULDBLOCK) {
        port_->close();
        return fail(QStringLiteral("The port is in use by another program"));
    }
#endif
    if (!applySettings()) {
        const QString why = port_->errorString();
        port_->close();
        return fail(why);
    }
    return true;
}

bool DeviceSerialPort::isOpen() const
{
    return port_->isOpen();
}

void DeviceSerialPort::close()
{
    if (port_->isOpen())
        port_->close();
}

bool DeviceSerialPort::output(const QByteArray& bytes)
{
    if (!port_->isOpen())
        return fail(QStringLiteral("Port is not open"));
    port_->clearError();
    if (port_->write(bytes) != bytes.size())
        return fail(port_->errorString());
    // Sends what the line takes now; the rest follows from the event loop.
    port_->flush();
    if (port_->error() == QSerialPort::WriteError)
        return fail(port_->errorString());
    return true;
}

} // namespace pb
