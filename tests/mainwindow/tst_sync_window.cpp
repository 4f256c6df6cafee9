// The Sync menu of the main window against an address book in memory: the
// account found and chosen, a sync with its report and the status bar, a
// conflict settled by the user's choice.
#include "comm/frmSyncAccount.h"
#include "comm/frmSyncConflicts.h"
#include "mainwindow/Data.h"
#include "support/FakeCardDav.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QFile>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using namespace pb;
using namespace pb::test;

namespace {

// The network of a test: every request to the one server.
class ToServer : public Http
{
public:
    explicit ToServer(Http& server) : server_(server) {}
    HttpReply send(const HttpRequest& r) override { return server_.send(r); }

private:
    Http& server_;
};

// A server with its own certificate: refused until its fingerprint is
// the one trusted.
class PinnedServer : public Http
{
public:
    static inline const QString kPrint = QStringLiteral("AB:CD:EF");
    explicit PinnedServer(Http& server) : server_(server) {}
    HttpReply send(const HttpRequest& r) override
    {
        refused_ = trusted_ == kPrint ? QString() : kPrint;
        if (!refused_.isEmpty())
            return {0, {}, {}, QStringLiteral("the server's certificate is not vouched for")};
        return server_.send(r);
    }
    void trust(const QString& fingerprint) override { trusted_ = fingerprint; }
    QString refusedFingerprint() const override { return refused_; }

private:
    Http& server_;
    QString trusted_, refused_;
};

// The settings file as the program wrote it.
QByteArray settingsFile()
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("RiveVozuDezi"));
    s.sync();
    QFile f(s.fileName());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray card(const QString& first, const QString& tel)
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Test;" + first.toUtf8() + ";;;\r\nFN:" + first.toUtf8() + " Test\r\nTEL:" +
           tel.toUtf8() + "\r\nPHOTO;VALUE=uri:https://example.org/p.jpg\r\nEND:VCARD\r\n";
}

// Fills in the account window when it opens, tests the connection and
// takes the address book found.
void answerAccountWindow(const QString& server, const QString& user, const QString& password, bool remember = false)
{
    QTimer::singleShot(0, [=] {
        auto* w = qobject_cast<frmSyncAccount*>(QApplication::activeModalWidget());
        QVERIFY(w);
        w->findChild<QCheckBox*>(QStringLiteral("chkRemember"))->setChecked(remember);
        w->findChild<QLineEdit*>(QStringLiteral("txtServer"))->setText(server);
        w->findChild<QLineEdit*>(QStringLiteral("txtUser"))->setText(user);
        w->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(password);
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("cmdTest")), Qt::LeftButton);
        QVERIFY(w->findChild<QPushButton*>(QStringLiteral("cmdOK"))->isEnabled());
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
    });
}

// Answers the conflicts window when it opens: every row the same pick;
// the rows seen as "contact|field|here|there".
void answerConflicts(frmSyncConflicts::Pick pick, QStringList* rows)
{
    QTimer::singleShot(0, [=] {
        auto* w = qobject_cast<frmSyncConflicts*>(QApplication::activeModalWidget());
        QVERIFY(w);
        auto* table = w->findChild<QTableWidget*>(QStringLiteral("tblFields"));
        rows->clear();
        for (int r = 0; r < table->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < 4; ++c)
                cells << table->item(r, c)->text();
            *rows << cells.join(u'|');
            w->choose(r, pick);
        }
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("cmdApply")), Qt::LeftButton);
    });
}

} // namespace

class TestSyncWindow : public QObject
{
    Q_OBJECT
private slots:
    void anAccountASyncAndAConflictFromTheMenu()
    {
        FakeCardDav server;
        server.putCard(QStringLiteral("/user/contacts/ann.vcf"), card(QStringLiteral("Ann"), QStringLiteral("555 0101")));
        server.putCard(QStringLiteral("/user/contacts/bob.vcf"), card(QStringLiteral("Bob"), QStringLiteral("555 0102")));
        QStringList signedInAs;
        TestEnv env;
        env.ctx().http = [&](const QString& user, const QString& password) -> std::unique_ptr<Http> {
            signedInAs << user + u':' + password;
            return std::make_unique<ToServer>(server);
        };
        Data* d = env.openData();

        answerAccountWindow(QStringLiteral("http://127.0.0.1/user/contacts/"), QStringLiteral("anna"), QStringLiteral("secret"));
        action(d, "mnuSyncAccount")->trigger();
        QVERIFY(settingsFile().contains("[Sync]") && !settingsFile().contains("secret"));

        action(d, "mnuSyncNow")->trigger();
        QCOMPARE(lastBox(env).text, QStringLiteral("Synced: 2 in, 0 out."));
        QCOMPARE(env.firstNamesOnDisk(), (QStringList{"Ann ", "Bob "}));   // (the shown text, up to two spaces)
        QVERIFY(d->findChild<QLabel*>(QStringLiteral("StatusBar1Sync"))->text().endsWith(QStringLiteral(": 2 in, 0 out")));
        QCOMPARE(signedInAs.last(), QStringLiteral("anna:secret"));
        QCOMPARE(recordBox(d), QStringLiteral("1"));
        QCOMPARE(shownBoxes(d).value(2).trimmed(), QStringLiteral("555 0101"));

        // The same number changed on both sides: the user keeps this book's.
        goTo(d, 1);
        typeInto(d, "txtPhone", QStringLiteral("555 0199"));
        click(d, "cmdAdd");   // Apply
        server.putCard(QStringLiteral("/user/contacts/ann.vcf"), card(QStringLiteral("Ann"), QStringLiteral("555 0111")));
        QStringList rows;
        answerConflicts(frmSyncConflicts::KeepHere, &rows);
        action(d, "mnuSyncNow")->trigger();
        QCOMPARE(rows, QStringList{QStringLiteral("Ann Test|Phone|555 0199|555 0111")});
        QCOMPARE(lastBox(env).text, QStringLiteral("Synced: 0 in, 1 out."));
        QVERIFY(lastBox(env).details.contains(QStringLiteral("not-kept.vcf")));
        const QByteArray ann = server.cards[QStringLiteral("/user/contacts/ann.vcf")].data;
        QVERIFY(ann.contains("TEL:555 0199\r\n"));
        QVERIFY(ann.contains("PHOTO;VALUE=uri:https://example.org/p.jpg\r\n"));

        // Again, and both versions kept: two contacts on each side.
        typeInto(d, "txtPhone", QStringLiteral("555 0177"));
        click(d, "cmdAdd");   // Apply
        server.putCard(QStringLiteral("/user/contacts/ann.vcf"), card(QStringLiteral("Ann"), QStringLiteral("555 0166")));
        answerConflicts(frmSyncConflicts::KeepBoth, &rows);
        action(d, "mnuSyncNow")->trigger();
        QCOMPARE(env.firstNamesOnDisk(), (QStringList{"Ann ", "Bob ", "Ann "}));
        QCOMPARE(shownBoxes(d).value(2).trimmed(), QStringLiteral("555 0166"));
        QCOMPARE(server.cards.size(), 3);

        action(d, "mnuSyncStatus")->trigger();
        QVERIFY(lastBox(env).text.contains(QStringLiteral("3 contacts linked")));
    }

    // A server with its own certificate: nothing is listed until the user
    // confirms its fingerprint, which the account then keeps and every sync
    // trusts alone.
    void aServersOwnCertificateIsTrustedOnlyOnceConfirmed()
    {
        FakeCardDav server;
        server.putCard(QStringLiteral("/user/contacts/ann.vcf"), card(QStringLiteral("Ann"), QStringLiteral("555 0101")));
        TestEnv env;
        env.ctx().http = [&](const QString&, const QString&) -> std::unique_ptr<Http> {
            return std::make_unique<PinnedServer>(server);
        };
        Data* d = env.openData();
        QString refusedStatus;
        QTimer::singleShot(0, [&] {
            auto* w = qobject_cast<frmSyncAccount*>(QApplication::activeModalWidget());
            QVERIFY(w);
            w->findChild<QLineEdit*>(QStringLiteral("txtServer"))->setText(QStringLiteral("https://127.0.0.1/user/contacts/"));
            env.boxes().answerNext(MsgAnswer::No);
            QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("cmdTest")), Qt::LeftButton);
            refusedStatus = w->findChild<QLabel*>(QStringLiteral("lblStatus"))->text();
            QVERIFY(!w->findChild<QPushButton*>(QStringLiteral("cmdOK"))->isEnabled());
            env.boxes().answerNext(MsgAnswer::Yes);
            QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("cmdTest")), Qt::LeftButton);
            QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
        });
        action(d, "mnuSyncAccount")->trigger();
        QVERIFY2(refusedStatus.contains(QStringLiteral("not vouched for")), qPrintable(refusedStatus));
        QVERIFY(env.boxes().shown.value(0).text.contains(PinnedServer::kPrint));
        QVERIFY(settingsFile().contains("Fingerprint=" + PinnedServer::kPrint.toLatin1()));
        action(d, "mnuSyncNow")->trigger();
        QCOMPARE(lastBox(env).text, QStringLiteral("Synced: 1 in, 0 out."));
    }

    // The password remembered in the keyring, never in the settings: the
    // next run syncs without asking; a refused one is asked for again.
    void aRememberedPasswordIsTheKeyrings()
    {
        FakeCardDav server;
        server.putCard(QStringLiteral("/user/contacts/ann.vcf"), card(QStringLiteral("Ann"), QStringLiteral("555 0101")));
        QStringList signedInAs;
        TestEnv env;
        const auto network = [&](const QString& user, const QString& password) -> std::unique_ptr<Http> {
            signedInAs << user + u':' + password;
            return std::make_unique<ToServer>(server);
        };
        env.ctx().http = network;
        Data* d = env.openData();
        answerAccountWindow(QStringLiteral("http://127.0.0.1/user/contacts/"), QStringLiteral("anna"), QStringLiteral("secret"),
                            true);
        action(d, "mnuSyncAccount")->trigger();
        QCOMPARE(env.keyring().secrets.value(QStringLiteral("anna@http://127.0.0.1/user/contacts/")), QStringLiteral("secret"));
        QVERIFY(settingsFile().contains("[Sync]") && !settingsFile().contains("secret"));

        env.restart();
        env.ctx().http = network;
        d = env.openData();
        action(d, "mnuSyncNow")->trigger();   // no window asks: the keyring answers
        QCOMPARE(lastBox(env).text, QStringLiteral("Synced: 1 in, 0 out."));
        QCOMPARE(signedInAs.last(), QStringLiteral("anna:secret"));

        // Without a keyring the account window says why it asks.
        env.restart();
        env.ctx().http = network;
        env.keyring().available = false;
        d = env.openData();
        QString note;
        QTimer::singleShot(0, [&] {
            auto* w = qobject_cast<frmSyncAccount*>(QApplication::activeModalWidget());
            QVERIFY(w);
            note = w->findChild<QLabel*>(QStringLiteral("lblStatus"))->text();
            w->reject();
        });
        action(d, "mnuSyncNow")->trigger();
        QVERIFY2(note.contains(QStringLiteral("there is no keyring on this desktop")), qPrintable(note));
    }
};

QTEST_MAIN(TestSyncWindow)
#include "tst_sync_window.moc"
