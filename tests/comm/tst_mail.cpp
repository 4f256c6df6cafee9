#include "platform/FieldBox.h"
#include "platform/MailService.h"
#include "platform/Twips.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace pb;
using namespace pb::test;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

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

// Stands in for xdg-email: a script first on the search path that writes
// its arguments (each ended by a NUL) to a file and exits with the status
// the test asks for.
class FakeMailClient
{
public:
    FakeMailClient() : oldPath_(qgetenv("PATH"))
    {
        QFile script(dir_.filePath(QStringLiteral("xdg-email")));
        script.open(QIODevice::WriteOnly);
        // The arguments appear at once, when everything else is done.
        script.write("#!/bin/sh\n"
                     "for a in \"$@\"; do case \"$a\" in /*) cp \"$a\" \"$FAKE_MAIL_ARGS.attached\" 2>/dev/null;; esac; done\n"
                     "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$FAKE_MAIL_ARGS.part\"\n"
                     "mv \"$FAKE_MAIL_ARGS.part\" \"$FAKE_MAIL_ARGS\"\n"
                     "echo \"$@\" >&2\n"
                     "exit ${FAKE_MAIL_STATUS:-0}\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("PATH", QFile::encodeName(dir_.path()) + ':' + oldPath_);
        qputenv("FAKE_MAIL_ARGS", QFile::encodeName(argsFile()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("cache"))));
        setStatus(0);
    }
    ~FakeMailClient()
    {
        qputenv("PATH", oldPath_);
        qunsetenv("FAKE_MAIL_ARGS");
        qunsetenv("FAKE_MAIL_STATUS");
        qunsetenv("XDG_CACHE_HOME");
    }
    void setStatus(int status) { qputenv("FAKE_MAIL_STATUS", QByteArray::number(status)); }
    QString argsFile() const { return dir_.filePath(QStringLiteral("args")); }
    // The arguments of the last hand-off, once it has run.
    QStringList takeArguments()
    {
        QFile f(argsFile());
        if (!QTest::qWaitFor([&] { return f.exists(); }, 5000) || !f.open(QIODevice::ReadOnly))
            return {QStringLiteral("<no hand-off>")};
        QByteArray bytes = f.readAll();
        f.remove();
        bytes.chop(1);
        QStringList out;
        for (const QByteArray& a : bytes.split('\0'))
            out.append(QString::fromUtf8(a));
        return out;
    }
    QByteArray attached() const
    {
        QFile f(argsFile() + QStringLiteral(".attached"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir_;
    QByteArray oldPath_;
};

class TestMail : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { MailService::setForTesting(nullptr); }

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
        FakeMailClient client;
        env.writeBook({makeRecord({"José", "Müller", "", "jose@example.com"})});
        Data* d = env.openData();
        action(d, "mnuMailTo")->trigger();
        typeInto(d, "txtMEmail", "j.mueller+work@example.com");   // an edit before Send counts
        lineEdit(d, "txtSubject")->setText(QStringLiteral("Price: 5 € & more?"));
        messageBox(d)->setText(QStringLiteral("Line 1\r\nLine 2 100% = a+b\r\n"));
        click(d, "cmdSend");
        QVERIFY(!button(d, "cmdSend")->isEnabled());   // one hand-off at a time
        QCOMPARE(client.takeArguments(),
                 (QStringList{"--utf8", "--subject", "Price: 5 € & more?", "--body", "Line 1\r\nLine 2 100% = a+b\r\n",
                              "j.mueller+work@example.com"}));
        QTRY_VERIFY(button(d, "cmdSend")->isEnabled());
        QVERIFY(env.boxes().shown.isEmpty());

        // Empty boxes are left out; the mail client asks for what it needs.
        for (const char* box : {"txtMFirst", "txtMEmail", "txtSubject", "txtMessage"})
            typeInto(d, box, "");
        click(d, "cmdSend");
        QCOMPARE(client.takeArguments(), QStringList{"--utf8"});
        QTRY_VERIFY(button(d, "cmdSend")->isEnabled());
        QVERIFY(env.boxes().shown.isEmpty());
    }

    // Typed text is passed as data, never as options or headers of its own.
    void typedTextCannotAddOptionsOrHeaders()
    {
        QString error;
        const auto plan = planHandOff({QStringLiteral("a@b.c?bcc=spy@evil.test"),
                                       QStringLiteral("Smith\r\nBcc: spy@evil.test"),
                                       QStringLiteral("Hi\r\nCc: x@y.z"), QStringLiteral("text\nnext")},
                                      &error);
        QVERIFY(plan);
        QCOMPARE(plan->arguments, (QStringList{"--utf8", "--subject", "Hi  Cc: x@y.z", "--body", "text\r\nnext",
                                               "a@b.c?bcc=spy@evil.test"}));
        for (const char* bad : {"--attach=/etc/shadow", "mailto:a@b.c?bcc=spy@evil.test", "Ann Lee <ann@x.org>", "ann"}) {
            QVERIFY2(!planHandOff({QString::fromLatin1(bad), {}, {}, {}}, &error), bad);
            QVERIFY(error.contains(QStringLiteral("not an e-mail address")));
        }
        // A name alone names nobody: that is said, not dropped.
        QVERIFY(!planHandOff({QStringLiteral(" "), QStringLiteral("Ann Lee "), {}, {}}, &error));
        QCOMPARE(error, QStringLiteral("The recipient \"Ann Lee\" has no e-mail address."));
    }

    void failuresOfTheHandOffAreReportedAndTheBoxesKept()
    {
        TestEnv env;
        FakeMailClient client;
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
        MailService::setForTesting(nullptr);

        // xdg-email found no mail program: its status is the cause.
        client.setStatus(3);
        click(d, "cmdSend");
        QTRY_COMPARE(env.boxes().shown.size(), 2);
        QCOMPARE(env.boxes().shown[1].text, QStringLiteral("Unable to send mail\r\nCause: No mail program could be found."));
        QCOMPARE(lineEdit(d, "txtSubject")->text(), QStringLiteral("Hello"));
        QCOMPARE(lineEdit(d, "txtMEmail")->text(), QStringLiteral("ann@example.org"));

        // No hand-off program at all.
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", "/nonexistent");
        click(d, "cmdSend");
        QTRY_COMPARE(env.boxes().shown.size(), 3);
        qputenv("PATH", path);
        QVERIFY(env.boxes().shown[2].text.startsWith(QStringLiteral("Unable to send mail\r\nCause: The mail hand-off")));

        // A name without an address is reported before anything starts.
        typeInto(d, "txtMEmail", "");
        typeInto(d, "txtMFirst", "Ann");
        click(d, "cmdSend");
        QCOMPARE(env.boxes().shown.size(), 4);
        QVERIFY(env.boxes().shown[3].text.endsWith(QStringLiteral("has no e-mail address.")));
        QTRY_VERIFY(button(d, "cmdSend")->isEnabled());
    }

    // The whole book goes as an attached file, not as one huge argument.
    void aLongMessageGoesAsAnAttachment()
    {
        TestEnv env;
        FakeMailClient client;
        QList<ContactRecord> book;
        for (int i = 0; i < 200; ++i)
            book.append(makeRecord({QStringLiteral("Name%1").arg(i), "Last", "555", "x@y.z", "Company", "Street", "Notes"}));
        env.writeBook(book);
        Data* d = env.openData();
        // The panel takes the whole book in under a busy cursor, gone by the end.
        std::optional<Qt::CursorShape> during;
        auto* message = d->findChild<QPlainTextEdit*>(QStringLiteral("txtMessage"));
        const auto watch = connect(message->document(), &QTextDocument::contentsChanged, this, [&] {
            if (!during)
                during = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
        });
        action(d, "mnuSendAllRecords")->trigger();
        disconnect(watch);
        QCOMPARE(during, std::optional<Qt::CursorShape>(Qt::WaitCursor));
        QVERIFY(!QApplication::overrideCursor());
        const QString body = messageBox(d)->text();
        QVERIFY(body.toUtf8().size() > kMaxInlineBodyBytes);
        click(d, "cmdSend");
        const QStringList args = client.takeArguments();
        QCOMPARE(args.size(), 5);
        QCOMPARE(args[1], QStringLiteral("--attach"));
        QVERIFY(args[2].startsWith(QFile::decodeName(qgetenv("XDG_CACHE_HOME"))));
        QCOMPARE(args.mid(3), (QStringList{"--body", "The message is in the attached text file."}));
        QCOMPARE(client.attached(), body.toUtf8());
        QTRY_VERIFY(button(d, "cmdSend")->isEnabled());
        QVERIFY(env.boxes().shown.isEmpty());
        QFile::remove(args[2]);
    }

    // Attachments a week old go at the program's start, even when no mail is
    // written in that run; younger ones stay for the mail program.
    void attachmentsAWeekOldAreRemoved()
    {
        QTemporaryDir folder;
        const auto make = [&](const char* name, int daysOld) {
            QFile f(folder.filePath(QString::fromLatin1(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.setFileTime(QDateTime::currentDateTime().addDays(-daysOld), QFileDevice::FileModificationTime);
        };
        make("message-old.txt", 8);
        make("message-new.txt", 1);
        DesktopMailService(folder.path()).removeOldAttachments();
        QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("message-old.txt"))));
        QVERIFY(QFile::exists(folder.filePath(QStringLiteral("message-new.txt"))));
    }
};

QTEST_MAIN(TestMail)
#include "tst_mail.moc"
