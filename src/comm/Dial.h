#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QWidget;

namespace pb {

class MessageBoxes;
class ProgramStarter;
class SerialPort;

inline constexpr int kModemPortNumber = 3;
inline constexpr const char* kModemSettings = "9600,N,8,1";
// Settings key of the modem's device; absent, port 3 of the system is used.
inline constexpr const char* kModemPortKey = "ModemPort";

// "ATDT", the number exactly as given (nothing trimmed or cleaned) and one
// carriage return, in the records' single-byte code page.
QByteArray DialString(const QString& number);

// Dials `number` through the modem on `device`: port, line settings, open,
// dial text, in that order, stopping at the first step that fails. A port
// still open from an earlier dial is closed first, which hangs that call up.
// After a dial the port stays open, so that the call goes on.
void DialContact(QWidget* parent, MessageBoxes& boxes, SerialPort& port, const QString& device,
                 const QString& number);

// The phone dialer program of the system: "Dialer" on Windows, GNOME's
// "gnome-calls" elsewhere.
QString phoneDialerProgram();

// Starts the phone dialer without waiting for it.
void StartPhoneDialer(QWidget* parent, MessageBoxes& boxes, ProgramStarter& programs);

// The serial port a window dials with; made on first use and closed when the
// window (its parent) goes.
class ModemLine final : public QObject
{
    Q_OBJECT
public:
    explicit ModemLine(QObject* parent);
    ~ModemLine() override;
    SerialPort& port();

private:
    std::unique_ptr<SerialPort> port_;
};

} // namespace pb
