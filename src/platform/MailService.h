#pragma once

#include <QList>
#include <QString>
#include <QUrl>

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
    virtual ~MailService() = default;
    // False, with the reason, when no mail client took the message.
    virtual bool send(const MailMessage& message, QString* error) = 0;

    // The service the program uses: the desktop's own, unless a test has put
    // another in its place.
    static MailService& current();
    // nullptr puts the desktop's service back.
    static void setForTesting(MailService* service);
};

// The mailto: URL of a message. Every part is percent-encoded on its own, so
// nothing typed into a box can end a part early or add a header of its own;
// line breaks stay in the body only. The recipient is written as
// "name" <address> when both are given; without an address there is none.
QUrl mailtoUrl(const MailMessage& message);

// Opens the mailto: URL with the desktop's handler for mail.
class DesktopMailService final : public MailService
{
public:
    bool send(const MailMessage& message, QString* error) override;
};

// For the tests: records every message and answers from a queue. An empty
// queue (or an empty answer) takes the message; an answer with a text
// refuses it with that reason.
class ScriptedMailService final : public MailService
{
public:
    bool send(const MailMessage& message, QString* error) override
    {
        sent.append(message);
        const std::optional<QString> refusal = answers.isEmpty() ? std::nullopt : answers.takeFirst();
        if (!refusal)
            return true;
        if (error)
            *error = *refusal;
        return false;
    }

    QList<MailMessage> sent;
    QList<std::optional<QString>> answers;
};

} // namespace pb
