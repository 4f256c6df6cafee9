#include "platform/MailService.h"

#include <QDesktopServices>

namespace pb {

namespace {

MailService* testService = nullptr;

// Header parts are one line: line breaks and other control characters
// become spaces.
QString oneLine(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    return out;
}

// Every line break of the body as CR LF, as mail wants it.
QString crlfLines(const QString& text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t;
}

QString quotedName(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    q.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

MailService& MailService::current()
{
    static DesktopMailService desktop;
    return testService ? *testService : desktop;
}

void MailService::setForTesting(MailService* service)
{
    testService = service;
}

QUrl mailtoUrl(const MailMessage& m)
{
    const QString address = oneLine(m.address).trimmed();
    const QString name = oneLine(m.displayName).trimmed();
    QString recipient;
    if (!address.isEmpty())
        recipient = name.isEmpty() ? address : quotedName(name) + QStringLiteral(" <") + address + QLatin1Char('>');

    QByteArray encoded = "mailto:";
    encoded += QUrl::toPercentEncoding(recipient, "@");
    encoded += "?subject=";
    encoded += QUrl::toPercentEncoding(oneLine(m.subject));
    encoded += "&body=";
    encoded += QUrl::toPercentEncoding(crlfLines(m.body));
    return QUrl::fromEncoded(encoded, QUrl::StrictMode);
}

bool DesktopMailService::send(const MailMessage& message, QString* error)
{
    const QUrl url = mailtoUrl(message);
    if (url.isValid() && QDesktopServices::openUrl(url))
        return true;
    if (error)
        *error = QStringLiteral("No mail program could be started for the message.");
    return false;
}

} // namespace pb
