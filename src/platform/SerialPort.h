#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QSerialPort;

namespace pb {

// A serial line to a modem. Set the port, then the line settings, then open
// it and write to it; every step reports whether it could be done, and
// errorString() says why not.
class SerialPort
{
public:
    virtual ~SerialPort() = default;
    // The device to use, e.g. "COM3" or "/dev/ttyS2". Fails while open.
    virtual bool setCommPort(const QString& device) = 0;
    // Line settings as "bits per second,parity,data bits,stop bits", e.g.
    // "9600,N,8,1" (parity N, E, O, M or S; 5 to 8 data bits; 1, 1.5 or 2
    // stop bits). Fails for settings the line cannot take.
    virtual bool setSettings(const QString& settings) = 0;
    // Fails when the port is already open, missing or held by another program.
    virtual bool open() = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    // Writes the bytes; fails when the port is not open.
    virtual bool output(const QByteArray& bytes) = 0;
    virtual QString errorString() const = 0;

    // The device of numbered serial port n: COMn on Windows, the n-th
    // /dev/ttyS device (counting from /dev/ttyS0) elsewhere.
    static QString deviceName(int port);

    // A new, closed port: a real one, or what the test factory makes.
    static std::unique_ptr<SerialPort> create();
    // An empty function puts the real ports back.
    static void setFactoryForTesting(std::function<std::unique_ptr<SerialPort>()> factory);
};

// A port of the system, through QSerialPort. Whatever the other end sends is
// read and dropped; a line that breaks down while open is closed.
class DeviceSerialPort final : public SerialPort
{
public:
    DeviceSerialPort();
    ~DeviceSerialPort() override;

    bool setCommPort(const QString& device) override;
    bool setSettings(const QString& settings) override;
    bool open() override;
    bool isOpen() const override;
    void close() override;
    bool output(const QByteArray& bytes) override;
    QString errorString() const override { return error_; }

#ifdef Q_OS_UNIX
    // The live process that holds a lock file of the usual kind
    // ("LCK..<name>" in the system's lock folders) on the device, if any.
    static std::optional<qint64> lockHolder(const QString& device);
    static void setLockFoldersForTesting(const QStringList& folders);
#endif

private:
    bool fail(const QString& why);
    bool applySettings();

    std::unique_ptr<QSerialPort> port_;
    QString device_;
    QString settings_ = QStringLiteral("9600,N,8,1");
    QString error_;
};

// For the tests: records every step as text ("port /dev/x", "settings
// 9600,N,8,1", "open", "output <bytes>", "close") and fails the first step
// whose name ("port", "settings", "open" or "output") is in failSteps.
class ScriptedSerialPort final : public SerialPort
{
public:
    bool setCommPort(const QString& device) override { return step(QStringLiteral("port"), device); }
    bool setSettings(const QString& settings) override { return step(QStringLiteral("settings"), settings); }
    bool open() override
    {
        if (open_ || !step(QStringLiteral("open"), QString()))
            return false;
        open_ = true;
        return true;
    }
    bool isOpen() const override { return open_; }
    void close() override
    {
        calls.append(QStringLiteral("close"));
        open_ = false;
    }
    bool output(const QByteArray& bytes) override
    {
        if (!open_ || !step(QStringLiteral("output"), QString::fromLatin1(bytes)))
            return false;
        written += bytes;
        return true;
    }
    QString errorString() const override { return QStringLiteral("scripted failure"); }

    QStringList calls;
    QStringList failSteps;
    QByteArray written;

private:
    bool step(const QString& name, const QString& value)
    {
        calls.append(value.isEmpty() ? name : name + QLatin1Char(' ') + value);
        return !failSteps.removeOne(name);
    }
    bool open_ = false;
};

} // namespace pb
