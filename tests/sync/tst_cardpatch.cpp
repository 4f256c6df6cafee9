// A server's card brought up to date with a record: only the properties
// behind the changed fields are rewritten, everything else goes back as
// it came.
#include "sync/CardPatch.h"

#include "exchange/vcard/VCardLine.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace pb;
using namespace pb::sync;

namespace {

const QByteArray kRev = "20261209T120000Z";

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The record the import makes of the card, with the edits of an .edit
// file ("Phone: +1 555 0100", "\n" a line break) made to it.
ContactRecord edited(const QByteArray& card, const QString& edits)
{
    ContactRecord r = recordOfCard(card);
    for (const QString& line : edits.split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype colon = line.indexOf(QLatin1String(": "));
        const QString name = line.left(colon < 0 ? line.size() - 1 : colon);
        const QString value = colon < 0 ? QString() : line.mid(colon + 2).replace(QLatin1String("\\n"), QLatin1String("\r\n"));
        for (Field f : kAllFields)
            if (fieldName(f) == name)
                r.store(f, value);
    }
    return r;
}

// The card's logical lines, unfolded.
QList<QByteArray> linesOf(const QByteArray& card)
{
    QList<QByteArray> out;
    exchange::detail::forEachLogicalLine(QByteArrayView(card), [&](QByteArrayView line, const char*, const char*) {
        out << line.toByteArray();
        return true;
    });
    return out;
}

} // namespace

class TestCardPatch : public QObject
{
    Q_OBJECT

private slots:
    // A card and the edits of its record, one a case in data/: the card
    // patched is compared with the .ref beside it (PB_WRITE_REFS=1 writes
    // the .ref files anew, to be read before they are committed); read
    // again, it gives the edited record.
    void cardsPatchedFromTheirRecords_data()
    {
        QTest::addColumn<QString>("path");
        const QDir dir(QFINDTESTDATA("data"));
        for (const QFileInfo& f : dir.entryInfoList({QStringLiteral("*.vcf")}, QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(f.fileName())) << f.filePath();
    }

    void cardsPatchedFromTheirRecords()
    {
        QFETCH(QString, path);
        const QByteArray card = readFile(path);
        const ContactRecord now = edited(card, QString::fromUtf8(readFile(path.chopped(4) + QStringLiteral(".edit"))));
        bool changed = false;
        const QByteArray patched = patchCard(card, now, kRev, &changed);
        QVERIFY(changed);
        QFile ref(path + QStringLiteral(".ref"));
        if (qEnvironmentVariableIsSet("PB_WRITE_REFS")) {
            QVERIFY(ref.open(QIODevice::WriteOnly) && ref.write(patched) >= 0);
            return;
        }
        QVERIFY2(ref.open(QIODevice::ReadOnly), qPrintable(ref.fileName()));
        QCOMPARE(QString::fromUtf8(patched), QString::fromUtf8(ref.readAll()));
        for (Field f : kAllFields)
            QCOMPARE(FieldText(recordOfCard(patched), f), FieldText(now, f));
        // In step now: nothing more to send.
        QVERIFY(changedFields(patched, now).isEmpty());
    }

    // Ten syncs that each change the number here: every other line of the
    // card (the photo, the groups, the labels, the X- properties) comes
    // back byte for byte, and a record that changed nothing leaves the card
    // as it is.
    void aRichCardSurvivesTenRoundTrips()
    {
        const QByteArray original = readFile(QFINDTESTDATA("data/photo-groups-three-numbers.vcf"));
        QByteArray card = original;
        for (int round = 0; round < 10; ++round) {
            ContactRecord r = recordOfCard(card);
            r.store(Field::Phone, QStringLiteral("+49 30 %1").arg(round));
            bool changed = false;
            card = patchCard(card, r, kRev, &changed);
            QVERIFY(changed);
            QCOMPARE(FieldText(recordOfCard(card), Field::Phone), FieldText(r, Field::Phone));
        }
        const auto keep = [](const QList<QByteArray>& lines) {
            QList<QByteArray> out;
            for (const QByteArray& l : lines)
                if (!l.startsWith("TEL;TYPE=WORK,PREF:") && !l.startsWith("REV:"))
                    out << l;
            return out;
        };
        QCOMPARE(keep(linesOf(card)), keep(linesOf(original)));
        bool changed = true;
        QCOMPARE(patchCard(card, recordOfCard(card), kRev, &changed), card);
        QVERIFY(!changed);
    }
};

QTEST_GUILESS_MAIN(TestCardPatch)
#include "tst_cardpatch.moc"
