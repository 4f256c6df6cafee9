#include "platform/MailService.h"

#include "platform/ProgramStarter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <memory>
#include <utility>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <mapi.h>
#endif

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

// A bare address: something@somewhere, no spaces or controls, and nothing
// the hand-off could take for an option or a URL of its own.
bool plausibleAddress(const QString& a)
{
    if (a.startsWith(u'-') || a.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        return false;
    const qsizetype at = a.indexOf(u'@');
    if (at <= 0 || at == a.size() - 1)
        return false;
    for (QChar c : a)
        if (c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7F || c == u'<' || c == u'>' || c == u'"')
            return false;
    return true;
}

QString exitReason(int status)
{
    switch (status) {
    case 1: return QStringLiteral("The mail program could not read the message it was given.");
    case 2: return QStringLiteral("The file to attach could not be found.");
    case 3: return QStringLiteral("No mail program could be found.");
    case 4: return QStringLiteral("The mail program could not take the message.");
    default: return QStringLiteral("The mail hand-off failed (status %1).").arg(status);
    }
}

// Attachments older than a week are no longer waited for by any mail client.
void removeOldAttachments(const QDir& dir)
{
    const QDateTime weekAgo = QDateTime::currentDateTime().addDays(-7);
    for (const QFileInfo& f : dir.entryInfoList({QStringLiteral("message-*.txt")}, QDir::Files))
        if (f.lastModified() < weekAgo)
            QFile::remove(f.absoluteFilePath());
}

// Writes the body as a UTF-8 text file only the user can read; its path, or
// nothing (with the reason).
std::optional<QString> writeAttachment(const QString& folder, const QString& text, QString* error)
{
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        *error = QStringLiteral("The folder %1 could not be created.").arg(QDir::toNativeSeparators(folder));
        return std::nullopt;
    }
    removeOldAttachments(dir);
    QTemporaryFile file(dir.filePath(QStringLiteral("message-XXXXXX.txt")));
    file.setAutoRemove(false);
    if (!file.open()) {
        *error = file.errorString();
        return std::nullopt;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        *error = file.errorString();
        file.remove();
        return std::nullopt;
    }
    file.close();
    return QFileInfo(file.fileName()).absoluteFilePath();
}

#ifdef Q_OS_WIN
// Simple MAPI: the mail client's send window opens with the message.
bool sendThroughMapi(const MailMessage& m, const std::optional<QString>& attachment, QString* error)
{
    using SendMailW = ULONG(WINAPI*)(LHANDLE, ULONG_PTR, lpMapiMessageW, FLAGS, ULONG);
    HMODULE mapi = ::LoadLibraryW(L"MAPI32.DLL");
    const auto sendMail = mapi ? reinterpret_cast<SendMailW>(::GetProcAddress(mapi, "MAPISendMailW")) : nullptr;
    if (!sendMail) {
        if (mapi)
            ::FreeLibrary(mapi);
        *error = QStringLiteral("No mail program could be found.");
        return false;
    }
    std::wstring address = (QStringLiteral("SMTP:") + m.address.trimmed()).toStdWString();
    std::wstring name = oneLine(m.displayName).trimmed().toStdWString();
    std::wstring subject = oneLine(m.subject).toStdWString();
    std::wstring body = crlfLines(m.body).toStdWString();
    std::wstring path = attachment ? QDir::toNativeSeparators(*attachment).toStdWString() : std::wstring();

    MapiRecipDescW recip{};
    recip.ulRecipClass = MAPI_TO;
    recip.lpszName = name.empty() ? address.data() + 5 : name.data();
    recip.lpszAddress = address.data();
    MapiFileDescW file{};
    file.nPosition = static_cast<ULONG>(-1);
    file.lpszPathName = path.data();
    MapiMessageW msg{};
    msg.lpszSubject = subject.data();
    msg.lpszNoteText = body.data();
    msg.nRecipCount = m.address.trimmed().isEmpty() ? 0 : 1;
    msg.lpRecips = msg.nRecipCount ? &recip : nullptr;
    msg.nFileCount = attachment ? 1 : 0;
    msg.lpFiles = attachment ? &file : nullptr;
    const ULONG rc = sendMail(0, 0, &msg, MAPI_DIALOG | MAPI_LOGON_UI, 0);
    ::FreeLibrary(mapi);
    if (rc == SUCCESS_SUCCESS)
        return true;
    *error = rc == MAPI_USER_ABORT ? QStringLiteral("User cancelled process")
                                   : QStringLiteral("The mail program refused the message (MAPI error %1).").arg(rc);
    return false;
}
#endif

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

std::optional<MailHandOff> planHandOff(const MailMessage& m, QString* error)
{
    const QString address = m.address.trimmed();
    const QString name = oneLine(m.displayName).trimmed();
    if (address.isEmpty() && !name.isEmpty()) {
        *error = QStringLiteral("The recipient \"%1\" has no e-mail address.").arg(name);
        return std::nullopt;
    }
    if (!address.isEmpty() && !plausibleAddress(address)) {
        *error = QStringLiteral("\"%1\" is not an e-mail address.").arg(oneLine(address));
        return std::nullopt;
    }
    MailHandOff h;
    h.arguments << QStringLiteral("--utf8");
    const QString subject = oneLine(m.subject);
    if (!subject.isEmpty())
        h.arguments << QStringLiteral("--subject") << subject;
    QString body = crlfLines(m.body);
    if (body.toUtf8().size() > kMaxInlineBodyBytes) {
        h.attached = body;
        body = QStringLiteral("The message is in the attached text file.");
    }
    if (!body.isEmpty())
        h.arguments << QStringLiteral("--body") << body;
    if (!address.isEmpty())
        h.arguments << address;
    return h;
}

DesktopMailService::DesktopMailService(QString attachmentFolder) : attachmentFolder_(std::move(attachmentFolder)) {}

void DesktopMailService::removeOldAttachments() const
{
    const QString folder = attachmentFolder_.isEmpty()
                               ? QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/mail")
                               : attachmentFolder_;
    if (QFileInfo(folder).isDir())
        pb::removeOldAttachments(QDir(folder));
}

void DesktopMailService::send(const MailMessage& message, Done done)
{
    QString error;
    const std::optional<MailHandOff> plan = planHandOff(message, &error);
    if (!plan)
        return done(false, error);
    std::optional<QString> attachment;
    if (plan->attached) {
        QString folder = attachmentFolder_;
        if (folder.isEmpty())
            folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/mail");
        attachment = writeAttachment(folder, *plan->attached, &error);
        if (!attachment)
            return done(false, QStringLiteral("The message could not be attached: ") + error);
    }

#ifdef Q_OS_WIN
    MailMessage m = message;
    if (attachment)
        m.body = QStringLiteral("The message is in the attached text file.");
    const bool ok = sendThroughMapi(m, attachment, &error);
    done(ok, error);
#else
    QStringList args = plan->arguments;
    if (attachment) {
        args.insert(1, QStringLiteral("--attach"));
        args.insert(2, *attachment);
    }
    // The mail client's chatter (which may repeat the message) goes nowhere.
    runHandOff(QStringLiteral("xdg-email"), args,
               [done = std::move(done)](std::optional<int> status, const QString& error) {
                   if (!status)
                       done(false, QStringLiteral("The mail hand-off (xdg-email) could not be started: ") + error);
                   else
                       done(*status == 0, *status == 0 ? QString() : exitReason(*status));
               });
#endif
}

} // namespace pb
