// The book kept in step with an address book in memory: each case of a
// contact changed, added or deleted on either side, conflicts, the first
// sync, the guards, and a sync that died after sending.
#include "sync/SyncJob.h"

#include "records/Phonebook.h"
#include "sync/CardPatch.h"
#include "support/FakeCardDav.h"
#include "support/Records.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace pb;
using namespace pb::sync;
using pb::test::FakeCardDav;

namespace {

const QString kBook = QStringLiteral("http://127.0.0.1/user/contacts/");

QByteArray card(const QString& first, const QString& last, const QString& tel, const QByteArray& more = {})
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + last.toUtf8() + ';' + first.toUtf8() + ";;;\r\nFN:" + first.toUtf8() + ' ' +
           last.toUtf8() + "\r\nTEL;TYPE=CELL:" + tel.toUtf8() + "\r\n" + more + "END:VCARD\r\n";
}

// A book in a folder of its own, the server, and a sync of the two.
struct World {
    QTemporaryDir dir;
    QString old = QDir::currentPath();
    FakeCardDav server;
    Phonebook book;
    World()
    {
        QDir::setCurrent(dir.path());
        book.openPhonebookFile();
    }
    ~World() { QDir::setCurrent(old); }

    SyncReport sync(SyncOptions options = {})
    {
        CardDav dav(server, QUrl(kBook));
        dav.wait = [](int) {};
        options.rev = "20261209T120000Z";
        return SyncJob(book, dav, kBook, options).run();
    }
    QStringList names()
    {
        QStringList out;
        for (const ContactRecord& r : records())
            out << FieldText(r, Field::FirstName).trimmed();
        return out;
    }
    QList<ContactRecord> records()
    {
        const QByteArray bytes = pb::test::readAll(dir.filePath(QStringLiteral("DravikBase.z8B")));
        QList<ContactRecord> out;
        for (qsizetype at = 0; at + 440 <= bytes.size(); at += 440) {
            ContactRecord r;
            std::copy_n(bytes.constData() + at, 440, r.bytes.begin());
            out << r;
        }
        return out;
    }
    void edit(int n, Field f, const QString& text)
    {
        QVERIFY(book.ReadRecord(n));
        book.RecordBuffer.store(f, text);
        Phonebook::Change change(book, n, n);
        QVERIFY(change.ok() && book.WriteRecord(n) && change.commit());
    }
    int writes() const
    {
        return int(server.log.filter(QRegularExpression(QStringLiteral("^(PUT|DELETE) "))).size());
    }
};

} // namespace

class TestSyncJob : public QObject
{
    Q_OBJECT

private slots:
    void eachSideTakesTheOthersChanges()
    {
        World w;
        w.server.putCard(QStringLiteral("/user/contacts/ann.vcf"),
                         card(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("555 0101"),
                              "item1.EMAIL;TYPE=INTERNET:ann@example.org\r\nCATEGORIES:Choir\r\nX-PHONE-ONLY:kept\r\n"));
        w.server.putCard(QStringLiteral("/user/contacts/bob.vcf"), card(QStringLiteral("Bob"), QStringLiteral("Day"), QStringLiteral("555 0102")));

        // The first sync into an empty book brings everything in.
        SyncReport r = w.sync();
        QCOMPARE(r.outcome, SyncReport::Outcome::Done);
        QCOMPARE(r.in, 2);
        QCOMPARE(w.names(), (QStringList{"Ann", "Bob"}));

        // Nothing changed: one question, nothing written.
        w.server.log.clear();
        r = w.sync();
        QCOMPARE(r.summary(), QStringLiteral("0 in, 0 out"));
        QCOMPARE(w.server.log, QStringList{"REPORT /user/contacts/"});

        // A number changed here goes there, the rest of the card as it was.
        w.edit(1, Field::Phone, QStringLiteral("555 0199"));
        w.server.log.clear();
        r = w.sync();
        QCOMPARE(r.out, 1);
        QCOMPARE(w.writes(), 1);
        const QByteArray ann = w.server.cards[QStringLiteral("/user/contacts/ann.vcf")].data;
        QVERIFY(ann.contains("TEL;TYPE=CELL:555 0199\r\n"));
        QVERIFY(ann.contains("item1.EMAIL;TYPE=INTERNET:ann@example.org\r\nCATEGORIES:Choir\r\nX-PHONE-ONLY:kept\r\n"));

        // Changed there comes here; new there is added; new here goes there.
        w.server.putCard(QStringLiteral("/user/contacts/bob.vcf"), card(QStringLiteral("Bob"), QStringLiteral("Day"), QStringLiteral("555 0202")));
        w.server.putCard(QStringLiteral("/user/contacts/cy.vcf"), card(QStringLiteral("Cy"), QStringLiteral("Fox"), QStringLiteral("555 0103")));
        {
            ContactRecord dee = pb::test::makeRecord({QStringLiteral("Dee"), QStringLiteral("Ray")});
            w.book.RecordBuffer = dee;
            Phonebook::Change change(w.book, 3, 3);
            QVERIFY(change.ok() && w.book.WriteRecord(3) && change.commit());
        }
        r = w.sync();
        QCOMPARE(r.in, 2);
        QCOMPARE(r.out, 1);
        QCOMPARE(w.names(), (QStringList{"Ann", "Bob", "Dee", "Cy"}));
        QCOMPARE(FieldText(w.records()[1], Field::Phone).trimmed(), QStringLiteral("555 0202"));
        QCOMPARE(w.server.cards.size(), 4);

        // Deleted here goes there; deleted there goes here.
        w.server.deleteCard(QStringLiteral("/user/contacts/cy.vcf"));
        {
            Phonebook::Change change(w.book, 1, 4);
            QVERIFY(change.ok() && w.book.shiftDown(1, 4) && change.commit());
        }
        QCOMPARE(w.names().first(), QStringLiteral("Bob"));
        r = w.sync();

        QCOMPARE(r.deletedThere, 1);
        QVERIFY(!w.server.cards.contains(QStringLiteral("/user/contacts/ann.vcf")));
        QVERIFY(!w.names().contains(QStringLiteral("Cy")));
        QCOMPARE(w.server.cards.size(), 2);   // Bob and Dee
        QCOMPARE(w.names(), (QStringList{"Bob", "Dee"}));
    }

    void changesOnBothSidesMergeOrConflict()
    {
        World w;
        w.server.putCard(QStringLiteral("/user/contacts/ann.vcf"), card(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("555 0101")));
        QCOMPARE(w.sync().in, 1);

        // Different fields: both changes kept, on both sides.
        w.edit(1, Field::Company, QStringLiteral("Acme"));
        w.server.putCard(QStringLiteral("/user/contacts/ann.vcf"), card(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("555 0111")));
        SyncReport r = w.sync();
        QCOMPARE(r.conflicts(), 0);
        QCOMPARE(FieldText(w.records()[0], Field::Phone).trimmed(), QStringLiteral("555 0111"));
        QCOMPARE(FieldText(w.records()[0], Field::Company).trimmed(), QStringLiteral("Acme"));
        QVERIFY(w.server.cards[QStringLiteral("/user/contacts/ann.vcf")].data.contains("ORG:Acme\r\n"));

        // The same field two ways: a conflict, both sides kept as they are.
        w.edit(1, Field::Phone, QStringLiteral("555 0122"));
        w.server.putCard(QStringLiteral("/user/contacts/ann.vcf"),
                         card(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("555 0133"), "ORG:Acme\r\n"));
        r = w.sync();
        QCOMPARE(r.outcome, SyncReport::Outcome::Conflicts);
        QCOMPARE(r.conflicts(), 1);
        QVERIFY(r.details.join(u'\n').contains(QStringLiteral("Ann Lee: Phone changed here and on the server")));
        QCOMPARE(FieldText(w.records()[0], Field::Phone).trimmed(), QStringLiteral("555 0122"));
        QVERIFY(w.server.cards[QStringLiteral("/user/contacts/ann.vcf")].data.contains("555 0133"));

        // Preferring this book's version settles it.
        SyncOptions here;
        here.prefer = SyncOptions::Prefer::Here;
        r = w.sync(here);
        QCOMPARE(r.outcome, SyncReport::Outcome::Done);
        QVERIFY(w.server.cards[QStringLiteral("/user/contacts/ann.vcf")].data.contains("TEL;TYPE=CELL:555 0122\r\n"));
        // The server's version that lost is kept beside the book, and named.
        const QStringList kept = QDir(w.dir.path()).entryList({QStringLiteral("*.not-kept.vcf")});
        QCOMPARE(kept.size(), 1);
        QVERIFY(r.details.join(u'\n').contains(kept[0]));
        QVERIFY(pb::test::readAll(w.dir.filePath(kept[0])).contains("TEL;TYPE=CELL:555 0133\r\n"));
        QCOMPARE(QFile::permissions(w.dir.filePath(kept[0])) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    }

    // A card changed on the server between the sync's reading and its
    // writing (412): fetched and merged again, once, in the same sync.
    void aCardChangedMeanwhileIsMergedAgain()
    {
        World w;
        w.server.putCard(QStringLiteral("/user/contacts/ann.vcf"), card(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("555 0101")));
        QCOMPARE(w.sync().in, 1);
        w.edit(1, Field::Company, QStringLiteral("Acme"));
        bool raced = false;
        w.server.before = [&](const HttpRequest& r) {
            if (r.method == "PUT" && !raced) {
                raced = true;   // the phone changes the number just before our write
                w.server.putCard(QStringLiteral("/user/contacts/ann.vcf"),
                                 card(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("555 0177")));
            }
            return HttpReply{};
        };
        const SyncReport r = w.sync();
        QCOMPARE(r.outcome, SyncReport::Outcome::Done);
        const QByteArray ann = w.server.cards[QStringLiteral("/user/contacts/ann.vcf")].data;
        QVERIFY(ann.contains("TEL;TYPE=CELL:555 0177\r\n") && ann.contains("ORG:Acme\r\n"));
        QCOMPARE(FieldText(w.records()[0], Field::Phone).trimmed(), QStringLiteral("555 0177"));
        QCOMPARE(FieldText(w.records()[0], Field::Company).trimmed(), QStringLiteral("Acme"));
        w.server.before = nullptr;
        QCOMPARE(w.sync().summary(), QStringLiteral("0 in, 0 out"));
    }

    void theFirstSyncOfTwoFullSidesAsksAndMerges()
    {
        World w;
        w.server.putCard(QStringLiteral("/user/contacts/ann.vcf"),
                         card(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("555 0101"), "EMAIL:ann@example.org\r\n"));
        w.server.putCard(QStringLiteral("/user/contacts/bob.vcf"), card(QStringLiteral("Bob"), QStringLiteral("Day"), QStringLiteral("555 0102")));
        w.book.RecordBuffer = pb::test::makeRecord({QStringLiteral("Ann"), QStringLiteral("Lee"), QString(), QStringLiteral("ann@example.org")});
        {
            Phonebook::Change change(w.book, 1, 2);
            QVERIFY(change.ok() && w.book.WriteRecord(1));
            w.book.RecordBuffer = pb::test::makeRecord({QStringLiteral("Cy"), QStringLiteral("Fox")});
            QVERIFY(w.book.WriteRecord(2) && change.commit());
        }
        SyncReport r = w.sync();
        QCOMPARE(r.outcome, SyncReport::Outcome::Refused);
        QCOMPARE(w.writes(), 0);

        SyncOptions merge;
        merge.first = SyncOptions::First::Merge;
        r = w.sync(merge);
        QCOMPARE(r.outcome, SyncReport::Outcome::Done);
        // Ann is one contact (the number she had only there now here too),
        // Bob came in, Cy went out.
        QCOMPARE(w.names(), (QStringList{"Ann", "Cy", "Bob"}));
        QCOMPARE(FieldText(w.records()[0], Field::Phone).trimmed(), QStringLiteral("555 0101"));
        QCOMPARE(w.server.cards.size(), 3);
        w.server.log.clear();
        QCOMPARE(w.sync().summary(), QStringLiteral("0 in, 0 out"));
        QCOMPARE(w.writes(), 0);
    }

    // A sync that died after sending a new card, before its state was
    // written: the next one finds the card there, never sends a second.
    void aSyncThatDiedAfterSendingSendsNothingTwice()
    {
        World w;
        w.server.putCard(QStringLiteral("/user/contacts/ann.vcf"), card(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("555 0101")));
        QCOMPARE(w.sync().in, 1);
        const QString state = w.dir.filePath(QStringLiteral("DravikBase.z8B-sync"));
        w.book.RecordBuffer = pb::test::makeRecord({QStringLiteral("Dee"), QStringLiteral("Ray")});
        {
            Phonebook::Change change(w.book, 2, 2);
            QVERIFY(change.ok() && w.book.WriteRecord(2) && change.commit());
        }
        const QByteArray before = pb::test::readAll(state);
        QCOMPARE(w.sync().out, 1);
        QFile f(state);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(before) == before.size());
        f.close();
        w.sync();
        QCOMPARE(w.server.cards.size(), 2);
        QCOMPARE(w.names(), (QStringList{"Ann", "Dee"}));
        QCOMPARE(w.sync().summary(), QStringLiteral("0 in, 0 out"));
    }

    // A state file cut short, with a count past what it holds, or not a
    // state at all: the sync refuses with the reason and changes nothing;
    // nothing it says is trusted for memory.
    void aDamagedStateIsRefused_data()
    {
        QTest::addColumn<int>("cut");        // bytes kept (-1: all)
        QTest::addColumn<int>("countAt");    // where to write a huge link count (-1: nowhere)
        QTest::newRow("cut short") << 100 << -1;
        QTest::newRow("count past the end") << -1 << 0;
        QTest::newRow("no state") << 0 << -1;
    }
    void aDamagedStateIsRefused()
    {
        QFETCH(int, cut);
        QFETCH(int, countAt);
        World w;
        w.server.putCard(QStringLiteral("/user/contacts/ann.vcf"), card(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("555 0101")));
        QCOMPARE(w.sync().in, 1);
        const QString path = w.dir.filePath(QStringLiteral("DravikBase.z8B-sync"));
        QByteArray state = pb::test::readAll(path);
        if (cut >= 0)
            state = cut == 0 ? QByteArray("garbage\n") : state.left(cut);
        if (countAt >= 0) {
            // The count follows the file's name line, its format, the
            // address book, token, stamp and last sync.
            SyncState s;
            QString why;
            QVERIFY(loadState(w.dir.filePath(QStringLiteral("DravikBase.z8B")), pb::test::readAll(w.dir.filePath(QStringLiteral("DravikBase.z8B"))), &s, &why));
            // (each a 32-bit length and its bytes).
            qsizetype at = state.indexOf('\n') + 1 + 4;
            for (const QByteArray& piece : {s.addressBook.toUtf8(), s.token.toUtf8(), s.bookStamp, s.lastSync.toUtf8()})
                at += 4 + piece.size();
            QCOMPARE(state.mid(at, 4), QByteArray("\0\0\0\1", 4));
            state.replace(at, 4, QByteArray("\x7f\xff\xff\xff", 4));
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(state) == state.size());
        f.close();
        const QByteArray book = pb::test::readAll(w.dir.filePath(QStringLiteral("DravikBase.z8B")));
        const SyncReport r = w.sync();
        QCOMPARE(r.outcome, SyncReport::Outcome::Failed);
        QVERIFY2(r.error.contains(QStringLiteral("cannot be read")), qPrintable(r.error));
        QCOMPARE(pb::test::readAll(w.dir.filePath(QStringLiteral("DravikBase.z8B"))), book);
    }

    // The state a sync writes waits beside the book until its change is
    // in the book: taken up when the book's bytes are the ones it was
    // written for (the change committed, the process died before it could
    // say so), dropped when they are not (the journal undid the change).
    void aStateIsTakenOnlyForTheBookItBelongsTo()
    {
        QTemporaryDir dir;
        const QString book = dir.filePath(QStringLiteral("DravikBase.z8B"));
        const QByteArray committed = pb::test::bytesOfNames({QStringLiteral("Ann"), QStringLiteral("Bob")});
        const QByteArray undone = pb::test::bytesOfNames({QStringLiteral("Ann")});
        SyncState old, next;
        old.addressBook = next.addressBook = kBook;
        old.token = QStringLiteral("old");
        next.token = QStringLiteral("new");
        next.bookStamp = bookStamp(committed);
        QString why;
        for (const bool reached : {false, true}) {
            QVERIFY(writeState(statePath(book), old, &why));
            QVERIFY(writeState(pendingStatePath(book), next, &why));
            SyncState loaded;
            QVERIFY(loadState(book, reached ? committed : undone, &loaded, &why));
            QCOMPARE(loaded.token, reached ? QStringLiteral("new") : QStringLiteral("old"));
            QVERIFY(!QFile::exists(pendingStatePath(book)));
            QCOMPARE(QFile::permissions(statePath(book)) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        }
    }

    void massDeletesAndHolesStopTheSync()
    {
        World w;
        for (int i = 0; i < 12; ++i)
            w.server.putCard(QStringLiteral("/user/contacts/%1.vcf").arg(i),
                             card(QStringLiteral("N%1").arg(i), QStringLiteral("Test"), QStringLiteral("555 %1").arg(i)));
        QCOMPARE(w.sync().in, 12);
        const QByteArray book = pb::test::readAll(w.dir.filePath(QStringLiteral("DravikBase.z8B")));
        for (int i = 0; i < 12; ++i)
            w.server.deleteCard(QStringLiteral("/user/contacts/%1.vcf").arg(i));
        SyncReport r = w.sync();
        QCOMPARE(r.outcome, SyncReport::Outcome::Refused);
        QVERIFY(r.error.contains(QStringLiteral("delete 12 of the 12 linked contacts in this book")));
        QCOMPARE(pb::test::readAll(w.dir.filePath(QStringLiteral("DravikBase.z8B"))), book);
        SyncOptions allow;
        allow.allowMassDelete = true;
        r = w.sync(allow);
        QCOMPARE(r.deletedHere, 12);
        QVERIFY(!r.backup.isEmpty() && pb::test::readAll(r.backup) == book);

        // A book with a hole would look as if its records were deleted.
        w.server.putCard(QStringLiteral("/user/contacts/x.vcf"), card(QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("1")));
        QFile f(w.dir.filePath(QStringLiteral("DravikBase.z8B")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(440, '\0') + pb::test::bytesOf(pb::test::named(QStringLiteral("Late"))));
        f.close();
        r = w.sync();
        QCOMPARE(r.outcome, SyncReport::Outcome::Refused);
        QVERIFY(r.error.contains(QStringLiteral("Repair it first")));
    }
};

QTEST_GUILESS_MAIN(TestSyncJob)
#include "tst_syncjob.moc"
