#include "comm/Dial.h"

#include "platform/Codepage.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgramStarter.h"
#include "platform/SerialPort.h"

namespace pb {

QByteArray DialString(const QString& number)
{
    const std::string digits = codepage::encode(number);
    QByteArray out("ATDT");
    out.append(digits.data(), static_cast<qsizetype>(digits.size()));
    out.append('\r');
    return out;
}

void DialContact(QWidget* parent, MessageBoxes& boxes, SerialPort& port, const QString& device,
                 const QString& number)
{
    if (number.isEmpty()) {
        boxes.show(parent, QStringLiteral("You need to enter a phone number"), QStringLiteral("No number"),
                   MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    if (port.isOpen())
        port.close();
    const bool dialled = port.setCommPort(device) && port.setSettings(QString::fromLatin1(kModemSettings)) &&
                         port.open() && port.output(DialString(number));
    if (!dialled)
        boxes.show(parent, QStringLiteral("Modem already in use or not ready."), QStringLiteral("!"),
                   MsgButtons::Ok, MsgIcon::Information);
}

QString phoneDialerProgram()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Dialer");
#else
    return QStringLiteral("gnome-calls");
#endif
}

void StartPhoneDialer(QWidget* parent, MessageBoxes& boxes, ProgramStarter& programs)
{
    if (!programs.start(phoneDialerProgram(), {}))
        boxes.show(parent, QStringLiteral("This is a default WINDOWS program, but it is not on your machine"),
                   QStringLiteral("PhoneDialer Not Found!"), MsgButtons::Ok, MsgIcon::Exclamation);
}

ModemLine::ModemLine(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("ModemLine"));
}

ModemLine::~ModemLine() = default;

SerialPort& ModemLine::port()
{
    if (!port_)
        port_ = SerialPort::create();
    return *port_;
}

} // namespace pb
