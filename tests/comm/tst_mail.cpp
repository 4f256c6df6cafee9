#include "platform/FieldBox.h"
#include "platform/MailService.h"
#include "platform/Twips.h"
#include "support/TestEnv.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QUrlQuery>

using namespace pb;
using namespace pb::test;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The pieces of a mailto: URL as a mail client reads them.
struct Decoded {
    QString recipient;
    QStringList keys;
    QString subject;
    QString body;
};

Decoded decode(const QUrl& url)
{
    Decoded d;
    d.recipient = url.path(QUrl::FullyDecoded);
    const QUrlQuery q(url);
    for (const auto& item : q.queryItems(QUrl::FullyDecoded))
        d.keys.append(item.first);
    d.subject = q.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded);
    d.body = q.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded);
    return d;
}

MultiLineBox* messageBox(Data* d)
{
    return d->findChild<MultiLineBox*>(QStringLiteral("txtMessage"));
}

void hover(QWidget* w)
{
    const QPointF at(3, 3);
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
}

} // namespace

// Stands in for the desktop's mail client.
class MailClient : public QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls.append(url); }

public:
    QList<QUrl> urls;
};

class TestMail : public QObject
{
    Q_OBJECT
    MailClient client_;

private slots:
    void init() { QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &client_, "open"); }
    void cleanup()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        MailService::setForTesting(nullptr);
        client_.urls.clear();
    }

    void thePanelLiesRightOfTheContactArea()
    {
        TestEnv env;
        Data* d = env.openData();
        const QList<std::pair<const char*, QRect>> sized = {
            {"cmdSendMail", {3615, 3960, 1560, 375}}, {"txtMFirst", {6480, 1680, 2655, 285}},
            {"txtMEmail", {6480, 1920, 2655, 300}},   {"txtSubject", {6480, 2205, 2655, 285}},
            {"txtMessage", {5520, 2730, 4455, 3855}}, {"cmdSend", {9200, 1760, 735, 735}},
        };
        for (const auto& [name, t] : sized) {
            auto* w = d->findChild<QWidget*>(QString::fromLatin1(name));
            QCOMPARE(w->parentWidget(), d->centralWidget());
            QCOMPARE(w->geometry(), QRect(twips::toPixels(t.x()), twips::toPixels(t.y()), twips::toPixels(t.width()),
                                          twips::toPixels(t.height())));
        }
        QCOMPARE(d->findChild<QLabel*>("Label10")->pos(), QPoint(twips::toPixels(6120), twips::toPixels(1800)));
        QCOMPARE(d->findChild<QLabel*>("Label11")->pos(), QPoint(twips::toPixels(5640), twips::toPixels(2280)));
        QCOMPARE(d->findChild<QLabel*>("Label10")->text(), QStringLiteral("TO:"));
        QCOMPARE(d->findChild<QLabel*>("Label11")->text(), QStringLiteral("SUBJECT:"));
        QCOMPARE(button(d, "cmdSendMail")->text(), QStringLiteral("E-Mail >>>"));
        QCOMPARE(button(d, "cmdSendMail")->toolTip(), QStringLiteral("Write an e-mail"));
        QCOMPARE(button(d, "cmdSend")->text(), QStringLiteral("Send"));
        QCOMPARE(button(d, "cmdSend")->toolTip(), QStringLiteral("Send now"));
        // At the start-up width the panel is out of sight.
        QVERIFY(d->centralWidget()->width() <= twips::toPixels(5520));
    }

    void mailToContactFillsTheRecipientAndKeepsTheRest()
    {
        TestEnv env;
        env.writeBook({makeRecord({"John", "Smith", "555 1234", "john@example.com"}),
                       makeRecord({"Ann", "Lee", "", "ann@example.org"})});
        Data* d = env.openData();
        typeInto(d, "txtSubject", "Lunch");
        typeInto(d, "txtMessage", "See you");

        action(d, "mnuMailTo")->trigger();
        QCOMPARE(twips::outerGeometry(d).width(), 10620);
        QCOMPARE(lineEdit(d, "txtMFirst")->text(), QStringLiteral("John Smith "));
        QCOMPARE(lineEdit(d, "txtMEmail")->text(), QStringLiteral("john@example.com "));
        QCOMPARE(lineEdit(d, "txtSubject")->text(), QStringLiteral("Lunch"));
        QCOMPARE(messageBox(d)->text(), QStringLiteral("See you"));

        // "E-Mail >>>" answers any mouse button, but not the keyboard.
        click(d, "cmdNext");
        QPushButton* sendMail = button(d, "cmdSendMail");
        QTest::mouseClick(sendMail, Qt::RightButton);
        QCOMPARE(lineEdit(d, "txtMFirst")->text(), QStringLiteral("Ann Lee "));
        QCOMPARE(lineEdit(d, "txtMEmail")->text(), QStringLiteral("ann@example.org "));
        click(d, "cmdBegining");
        sendMail->setFocus();
        QTest::keyClick(sendMail, Qt::Key_Space);
        QCOMPARE(lineEdit(d, "txtMFirst")->text(), QStringLiteral("Ann Lee "));

        // Moving over it browns the big buttons, and opens nothing.
        hover(button(d, "cmdAdd"));
        hover(button(d, "cmdDelete"));
        hover(sendMail);
        QCOMPARE(backColor(button(d, "cmdAdd")), 16512);
        QCOMPARE(backColor(button(d, "cmdDelete")), 16512);
        QCOMPARE(lineEdit(d, "txtMFirst")->text(), QStringLiteral("Ann Lee "));

        click(d, "cmdRestore");
        QCOMPARE(twips::outerGeometry(d).size(), QSize(5700, 8340));
        QCOMPARE(lineEdit(d, "txtMFirst")->text(), QStringLiteral("Ann Lee "));
        QVERIFY(env.boxes().shown.isEmpty());
    }

    void infoAndAllRecordsFillTheMessage()
    {
        TestEnv env;
        env.writeBook({makeRecord({"Ann", "Lee", "123"}), makeRecord({"Bob", "Day", "4\"5"})});
        Data* d = env.openData();
        typeInto(d, "txtMFirst", "Someone");
        typeInto(d, "txtSubject", "Contacts");
        typeInto(d, "txtLast", "Leigh");   // not applied: the text shows what the boxes hold

        action(d, "mnuInfoAbout")->trigger();
        QCOMPARE(twips::outerGeometry(d).width(), 10620);
        QCOMPARE(messageBox(d)->text(), QStringLiteral("  (1)") + kCrLf + "Name: Ann Leigh" + kCrLf + "Phone: 123 " +
                                            kCrLf + "E-mail:  " + kCrLf + "Company:  " + kCrLf + "Address:  " +
                                            kCrLf + "Comments:  ");

        action(d, "mnuSendAllRecords")->trigger();
        const QByteArray file = env.fileBytes("PhonePrint.z8P");
        QVERIFY(file.startsWith("\"1\r\nName: Ann   Lee \r\n"));
        QVERIFY(file.contains("\"2\r\nName: Bob   Day \r\nPhone: 4\"5 \r\n"));
        QCOMPARE(messageBox(d)->text(), QString::fromLatin1(file));
        // Recipient and subject stay; the boxes keep showing their record.
        QCOMPARE(lineEdit(d, "txtMFirst")->text(), QStringLiteral("Someone"));
        QCOMPARE(lineEdit(d, "txtSubject")->text(), QStringLiteral("Contacts"));
        QCOMPARE(d->boxText(Field::LastName), QStringLiteral("Leigh"));
        QVERIFY(env.boxes().shown.isEmpty());

        // A print file that cannot be written leaves the message as it was,
        // not holding an older file's text.
        QVERIFY(QFile::remove(env.path("PhonePrint.z8P")) && QDir(env.path({})).mkdir("PhonePrint.z8P"));
        typeInto(d, "txtMessage", "Draft");
        action(d, "mnuSendAllRecords")->trigger();
        QCOMPARE(messageBox(d)->text(), QStringLiteral("Draft"));
        QCOMPARE(env.boxes().shown.size(), 1);
        QVERIFY(env.boxes().shown[0].text.startsWith("Unable to write the print file PhonePrint.z8P\r\nCause: "));
        QCOMPARE(env.boxes().shown[0].title, QStringLiteral("ERROR"));
        QCOMPARE(env.boxes().shown[0].icon, MsgIcon::Critical);
    }

    void sendHandsTheBoxesToTheMailClient()
    {
        TestEnv env;
        env.writeBook({makeRecord({"José", "Müller", "", "jose@example.com"})});
        Data* d = env.openData();
        action(d, "mnuMailTo")->trigger();
        typeInto(d, "txtMEmail", "j.mueller+work@example.com");   // an edit before Send counts
        lineEdit(d, "txtSubject")->setText(QStringLiteral("Price: 5 € & more?"));
        messageBox(d)->setText(QStringLiteral("Line 1\r\nLine 2 100% = a+b\r\n"));
        click(d, "cmdSend");

        QCOMPARE(client_.urls.size(), 1);
        const Decoded m = decode(client_.urls[0]);
        QCOMPARE(m.recipient, QStringLiteral("\"José Müller\" <j.mueller+work@example.com>"));
        QCOMPARE(m.keys, (QStringList{"subject", "body"}));
        QCOMPARE(m.subject, QStringLiteral("Price: 5 € & more?"));
        QCOMPARE(m.body, QStringLiteral("Line 1\r\nLine 2 100% = a+b\r\n"));
        // Nothing the mail client's command line could split on.
        const QByteArray wire = client_.urls[0].toEncoded();
        QVERIFY(!wire.contains(' ') && !wire.contains('"') && !wire.contains('\n'));
        QVERIFY(env.boxes().shown.isEmpty());

        // Empty boxes go as empty texts, without a recipient.
        for (const char* box : {"txtMFirst", "txtMEmail", "txtSubject", "txtMessage"})
            typeInto(d, box, "");
        click(d, "cmdSend");
        QCOMPARE(client_.urls.size(), 2);
        const Decoded empty = decode(client_.urls[1]);
        QCOMPARE(empty.recipient, QString());
        QCOMPARE(empty.subject, QString());
        QCOMPARE(empty.body, QString());
    }

    void typedTextCannotAddHeaders()
    {
        MailMessage m;
        m.address = QStringLiteral("a@b.c?bcc=spy@evil.test&cc=x@y.z");
        m.displayName = QStringLiteral("Smith, \"J\"\r\nBcc: spy@evil.test");
        m.subject = QStringLiteral("Hi&bcc=spy@evil.test\r\nCc: x@y.z");
        m.body = QStringLiteral("text&to=spy@evil.test#frag\nnext");
        const Decoded d = decode(mailtoUrl(m));
        QCOMPARE(d.keys, (QStringList{"subject", "body"}));
        QCOMPARE(d.recipient,
                 QStringLiteral("\"Smith, \\\"J\\\"  Bcc: spy@evil.test\" <a@b.c?bcc=spy@evil.test&cc=x@y.z>"));
        QCOMPARE(d.subject, QStringLiteral("Hi&bcc=spy@evil.test  Cc: x@y.z"));
        QCOMPARE(d.body, QStringLiteral("text&to=spy@evil.test#frag\r\nnext"));
        QVERIFY(!mailtoUrl(m).hasFragment());

        // A name alone names nobody; an address alone is the recipient.
        QCOMPARE(decode(mailtoUrl({QString(), QStringLiteral("Ann"), {}, {}})).recipient, QString());
        QCOMPARE(decode(mailtoUrl({QStringLiteral(" ann@x.org "), QStringLiteral(" "), {}, {}})).recipient,
                 QStringLiteral("ann@x.org"));
    }

    void aRefusedMessageIsReportedAndKept()
    {
        TestEnv env;
        Data* d = env.openData();
        typeInto(d, "txtMEmail", "ann@example.org");
        typeInto(d, "txtSubject", "Hello");

        ScriptedMailService service;
        service.answers.append(QStringLiteral("User cancelled process"));
        MailService::setForTesting(&service);
        click(d, "cmdSend");
        QCOMPARE(service.sent.size(), 1);
        QCOMPARE(service.sent[0].address, QStringLiteral("ann@example.org"));
        QCOMPARE(env.boxes().shown.size(), 1);
        QCOMPARE(env.boxes().shown[0].text, QStringLiteral("Unable to send mail\r\nCause: User cancelled process"));
        QCOMPARE(env.boxes().shown[0].title, QStringLiteral("ERROR"));
        QCOMPARE(env.boxes().shown[0].icon, MsgIcon::Critical);
        QCOMPARE(lineEdit(d, "txtSubject")->text(), QStringLiteral("Hello"));

        // With no mail client at all the desktop's own service says so too.
        MailService::setForTesting(nullptr);
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            QSKIP("only the offscreen platform is sure to have no mail client");
        click(d, "cmdSend");
        QCOMPARE(env.boxes().shown.size(), 2);
        QVERIFY(env.boxes().shown[1].text.startsWith("Unable to send mail\r\nCause: No mail program"));
        QCOMPARE(lineEdit(d, "txtMEmail")->text(), QStringLiteral("ann@example.org"));
    }
};

QTEST_MAIN(TestMail)
#include "tst_mail.moc"
