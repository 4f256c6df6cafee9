#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace pb {

// One message for the mail client: the first recipient and the text.
struct MailMessage {
    QString address;       // the recipient's address
    QString displayName;   // the recipient's shown name
    QString subject;
    QString body;          // CR LF line breaks
};

// Hands a message to the system's mail client, which opens its own send
// window: the user reviews, edits, sends or cancels there.
class MailService
{
public:
    // Called once the mail client took the message (true) or did not
    // (false, with the reason in words a user can read).
    using Done = std::function<void(bool ok, const QString& error)>;

    virtual ~MailService() = default;
    // Returns at once; `done` runs when the hand-off has ended, possibly
    // later from the event loop.
    virtual void send(const MailMessage& message, Done done) = 0;

    // The service the program uses: the desktop's own, unless a test has put
    // another in its place.
    static MailService& current();
    // nullptr puts the desktop's service back.
    static void setForTesting(MailService* service);
};

// What the hand-off passes on for a message: the command's arguments and,
// for a body too long to pass as an argument, the text of the file that is
// attached instead. Nothing when the message cannot go (with the reason).
struct MailHandOff {
    QStringList arguments;           // without the attachment's path
    std::optional<QString> attached; // the body, when it goes as a file
};
inline constexpr qsizetype kMaxInlineBodyBytes = 16 * 1024;
std::optional<MailHandOff> planHandOff(const MailMessage& message, QString* error);

// The desktop's mail client through xdg-email (Linux and other free
// desktops) or Simple MAPI (Windows). Nothing of the message reaches a log
// or a standard stream.
class DesktopMailService final : public MailService
{
public:
    // Attachments go into `attachmentFolder` (the user's cache by default).
    explicit DesktopMailService(QString attachmentFolder = QString());
    void send(const MailMessage& message, Done done) override;
    // Removes the attachments a week old or older, also when no mail is
    // written in this run (the program calls it at start).
    void removeOldAttachments() const;

private:
    QString attachmentFolder_;
};

// For the tests: records every message and answers at once from a queue. An
// empty queue (or an empty answer) takes the message; an answer with a text
// refuses it with that reason.
class ScriptedMailService final : public MailService
{
public:
    void send(const MailMessage& message, Done done) override
    {
        sent.append(message);
        const std::optional<QString> refusal = answers.isEmpty() ? std::nullopt : answers.takeFirst();
        done(!refusal, refusal.value_or(QString()));
    }

    QList<MailMessage> sent;
    QList<std::optional<QString>> answers;
};

} // namespace pb
