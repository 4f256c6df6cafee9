// The CardDAV client against answers as servers write them and against an
// address book in memory: listing, changes since a token, fetching in
// batches, conditional writes and deletes, discovery, and reads asked again
// when a server is busy.
#include "sync/CardDav.h"
#include "sync/Multistatus.h"

#include "support/FakeCardDav.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace pb;
using namespace pb::sync;
using pb::test::FakeCardDav;

namespace {

QByteArray card(const QString& name)
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + name.toUtf8() + "\r\nN:" + name.toUtf8() + ";;;;\r\nEND:VCARD\r\n";
}

// What a multistatus says, a line a response.
QString told(const Multistatus& m)
{
    if (!m.error.isEmpty())
        return QStringLiteral("error\n");
    QString out = QStringLiteral("token %1\n").arg(m.syncToken);
    for (const DavResponse& r : m.responses) {
        QStringList types = r.types;
        types.sort();
        out += QStringLiteral("%1 %2 etag=%3 types=%4 sync-token=%5\n")
                   .arg(r.href)
                   .arg(r.status)
                   .arg(r.props.value(propName(kDav, "getetag")), types.join(u','), r.props.value(propName(kDav, "sync-token")));
    }
    return out;
}

} // namespace

class TestCardDav : public QObject
{
    Q_OBJECT

private slots:
    // Answers as servers wrote them, one a file in dav/, with what the
    // parser makes of them in the .ref beside it (PB_WRITE_REFS=1 writes
    // them anew).
    void answersAsServersWriteThem_data()
    {
        QTest::addColumn<QString>("path");
        const QDir dir(QFINDTESTDATA("dav"));
        for (const QFileInfo& f : dir.entryInfoList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(f.fileName())) << f.filePath();
    }

    void answersAsServersWriteThem()
    {
        QFETCH(QString, path);
        QFile in(path);
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QString got = told(parseMultistatus(in.readAll()));
        QFile ref(path + QStringLiteral(".ref"));
        if (qEnvironmentVariableIsSet("PB_WRITE_REFS")) {
            QVERIFY(ref.open(QIODevice::WriteOnly) && ref.write(got.toUtf8()) >= 0);
            return;
        }
        QVERIFY2(ref.open(QIODevice::ReadOnly), qPrintable(ref.fileName()));
        QCOMPARE(got, QString::fromUtf8(ref.readAll()));
    }

    void anAddressBookListedChangedFetchedAndWritten()
    {
        FakeCardDav server;
        server.absoluteHrefs = true;
        for (const char* name : {"Ann", "Bob", "Cy"})
            server.putCard(QStringLiteral("/user/contacts/%1.vcf").arg(QLatin1String(name)), card(QLatin1String(name)));
        CardDav dav(server, QUrl(QStringLiteral("http://127.0.0.1/user/contacts")));
        dav.wait = [](int) {};
        dav.batch = 2;

        // Busy twice, then listed.
        server.failReads = 2;
        QList<CardRef> refs;
        QString token;
        QVERIFY2(dav.list(&refs, &token), qPrintable(dav.error()));
        QCOMPARE(refs.size(), 3);
        QVERIFY(!token.isEmpty());
        QCOMPARE(server.log.count(QStringLiteral("PROPFIND /user/contacts/")), 3);

        // Fetched two at a time, then without bodies (one GET each).
        QStringList hrefs;
        for (const CardRef& r : refs)
            hrefs << r.href;
        QList<RemoteCard> cards;
        QVERIFY(dav.fetch(hrefs, &cards));
        QCOMPARE(cards.size(), 3);
        QCOMPARE(cards[1].data, card(QStringLiteral("Bob")));
        QCOMPARE(cards[1].etag, refs[1].etag);
        server.bodiesInMultiget = false;
        server.log.clear();
        QVERIFY(dav.fetch(hrefs, &cards));
        QCOMPARE(cards.size(), 3);
        QCOMPARE(server.log.count(QStringLiteral("GET /user/contacts/Cy.vcf")), 1);

        // A new card only where there is none; a change only over the
        // version seen; a delete likewise.
        QByteArray etag;
        QString location;
        QCOMPARE(dav.put(QStringLiteral("Dee.vcf"), card(QStringLiteral("Dee")), {}, &etag, &location), CardDav::Written::Done);
        QVERIFY(!etag.isEmpty());
        QCOMPARE(dav.put(QStringLiteral("Dee.vcf"), card(QStringLiteral("Dee 2")), {}, &etag, &location), CardDav::Written::Changed);
        QCOMPARE(dav.put(refs[0].href, card(QStringLiteral("Ann 2")), "\"stale\"", &etag, &location), CardDav::Written::Changed);
        QCOMPARE(dav.put(refs[0].href, card(QStringLiteral("Ann 2")), refs[0].etag, &etag, &location), CardDav::Written::Done);
        QCOMPARE(dav.remove(refs[1].href, "\"stale\""), CardDav::Written::Changed);
        QCOMPARE(dav.remove(refs[1].href, refs[1].etag), CardDav::Written::Done);
        QCOMPARE(dav.remove(refs[1].href, refs[1].etag), CardDav::Written::Done);   // already gone

        // What changed since the listing.
        QList<CardRef> changed;
        QStringList deleted;
        QString next;
        QVERIFY(dav.changesSince(token, &changed, &deleted, &next));
        QStringList changedHrefs;
        for (const CardRef& r : changed)
            changedHrefs << QUrl(r.href).path();
        changedHrefs.sort();
        QCOMPARE(changedHrefs, (QStringList{"/user/contacts/Ann.vcf", "/user/contacts/Dee.vcf"}));
        QCOMPARE(deleted.size(), 1);
        QVERIFY(QUrl(deleted[0]).path().endsWith(QLatin1String("Bob.vcf")));
        QVERIFY(next != token);
        // A token the server no longer knows: list everything instead.
        QVERIFY(!dav.changesSince(QStringLiteral("tok-999"), &changed, &deleted, &next));
        // Writes are never sent twice, even to a busy server.
        server.before = [](const HttpRequest& r) { return r.method == "PUT" ? HttpReply{503, {}, {}, {}} : HttpReply{}; };
        server.log.clear();
        QCOMPARE(dav.put(QStringLiteral("Eve.vcf"), card(QStringLiteral("Eve")), {}, &etag, &location), CardDav::Written::Failed);
        QCOMPARE(server.log.size(), 1);
    }

    // From the server's address to its address books: the well-known
    // address redirects, the principal names its home, the home lists them.
    void addressBooksAreFoundFromTheServersAddress()
    {
        FakeCardDav server;
        const auto ms = [](const QByteArray& inner) {
            return HttpReply{207, {}, "<d:multistatus xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\">" + inner + "</d:multistatus>", {}};
        };
        server.before = [&](const HttpRequest& r) {
            const QString path = r.url.path();
            if (path == QLatin1String("/.well-known/carddav"))
                return HttpReply{301, {{"Location", "/dav/"}}, {}, {}};
            if (path == QLatin1String("/dav/"))
                return ms("<d:response><d:href>/dav/</d:href><d:propstat><d:prop><d:current-user-principal><d:href>/dav/principals/ann/</d:href>"
                          "</d:current-user-principal></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>");
            if (path == QLatin1String("/dav/principals/ann/"))
                return ms("<d:response><d:href>/dav/principals/ann/</d:href><d:propstat><d:prop><c:addressbook-home-set><d:href>/dav/ann/"
                          "</d:href></c:addressbook-home-set></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>");
            if (path == QLatin1String("/dav/ann/"))
                return ms("<d:response><d:href>/dav/ann/</d:href><d:propstat><d:prop><d:resourcetype><d:collection/></d:resourcetype>"
                          "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>"
                          "<d:response><d:href>/dav/ann/family/</d:href><d:propstat><d:prop><d:resourcetype><d:collection/><c:addressbook/>"
                          "</d:resourcetype><d:displayname>Family</d:displayname></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>"
                          "<d:response><d:href>/dav/ann/work/</d:href><d:propstat><d:prop><d:resourcetype><d:collection/><c:addressbook/>"
                          "</d:resourcetype></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>");
            return HttpReply{404, {}, {}, {}};
        };
        QString error;
        const QList<AddressBookInfo> books = CardDav::discover(server, QUrl(QStringLiteral("https://dav.example.org")), &error);
        QCOMPARE(books.size(), 2);
        QCOMPARE(books[0].name, QStringLiteral("Family"));
        QCOMPARE(books[0].url, QUrl(QStringLiteral("https://dav.example.org/dav/ann/family/")));
        QCOMPARE(books[1].name, QStringLiteral("work"));

        server.before = [](const HttpRequest&) { return HttpReply{401, {}, {}, {}}; };
        QVERIFY(CardDav::discover(server, QUrl(QStringLiteral("https://dav.example.org")), &error).isEmpty());
        QVERIFY(error.contains(QStringLiteral("wrong user name or password")));
    }
};

QTEST_GUILESS_MAIN(TestCardDav)
#include "tst_carddav.moc"
