// The book now against the book when it was last in step: records found
// again wherever they moved, changes paired by e-mail or name, the rest
// added or deleted.
#include "sync/BookDiff.h"

#include <QtTest>

using namespace pb;
using namespace pb::sync;

namespace {

ContactRecord contact(const QString& first, const QString& email, const QString& phone = QString())
{
    ContactRecord r;
    r.store(Field::FirstName, first);
    r.store(Field::LastName, QStringLiteral("Test"));
    r.store(Field::Email, email);
    r.store(Field::Phone, phone);
    return r;
}

QByteArray bookOf(const QList<ContactRecord>& records)
{
    QByteArray out;
    for (const ContactRecord& r : records)
        out.append(r.bytes.data(), static_cast<qsizetype>(kRecordSize));
    return out;
}

} // namespace

class TestBookDiff : public QObject
{
    Q_OBJECT

private slots:
    void recordsAreFoundAgainWhereverTheyMoved()
    {
        QList<ContactRecord> base;
        for (int i = 0; i < 8; ++i)
            base << contact(QStringLiteral("N%1").arg(i), QStringLiteral("n%1@example.org").arg(i));
        base << base[7];   // the same record twice

        // Nothing changed.
        BookDiff d = diffBook(base, bookOf(base), int(base.size()));
        QVERIFY(d.changed.empty() && d.deleted.empty() && d.added.empty());
        QCOMPARE(d.baseOf, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));

        // One inserted at the beginning, one deleted, one moved to the end,
        // one of the twins deleted.
        QList<ContactRecord> now = {contact(QStringLiteral("New"), QStringLiteral("new@example.org")), base[0], base[2],
                                    base[3], base[5], base[6], base[7], base[4]};
        d = diffBook(base, bookOf(now), int(now.size()));
        QCOMPARE(d.baseOf, (std::vector<int>{-1, 0, 2, 3, 5, 6, 7, 4}));
        QCOMPARE(d.added, (std::vector<int>{0}));
        QCOMPARE(d.deleted, (std::vector<int>{1, 8}));
        QVERIFY(d.changed.empty());

        // Changed: a number (name and e-mail the same), a name (the
        // e-mail the same), an e-mail (the name the same); both name and
        // e-mail changed is another contact.
        now = base;
        now[1] = contact(QStringLiteral("N1"), QStringLiteral("n1@example.org"), QStringLiteral("555 0101"));
        now[2] = contact(QStringLiteral("Renamed"), QStringLiteral("n2@example.org"));
        now[3] = contact(QStringLiteral("N3"), QStringLiteral("other@example.org"));
        now[4] = contact(QStringLiteral("Else"), QStringLiteral("else@example.org"));
        d = diffBook(base, bookOf(now), int(now.size()));
        QCOMPARE(d.changed, (std::vector<int>{1, 2, 3}));
        QCOMPARE(d.deleted, (std::vector<int>{4}));
        QCOMPARE(d.added, (std::vector<int>{4}));
        QCOMPARE(d.baseOf[1], 1);
        QCOMPARE(d.baseOf[2], 2);
        QCOMPARE(d.baseOf[3], 3);

        // Only the counted records are the book; an empty book deleted all.
        d = diffBook(base, bookOf(base), 0);
        QCOMPARE(int(d.deleted.size()), int(base.size()));
    }
};

QTEST_GUILESS_MAIN(TestBookDiff)
#include "tst_bookdiff.moc"
