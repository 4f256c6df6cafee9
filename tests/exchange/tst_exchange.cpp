// Contacts in and out as vCard and CSV: the book survives a round trip byte
// for byte, and the dialects real address books write are read as meant.
#include "exchange/Exchange.h"
#include "exchange/Import.h"
#include "records/AppendRecords.h"
#include "records/BookCheck.h"
#include "records/BookRepair.h"
#include "platform/Codepage.h"
#include "records/Phonebook.h"
#include "support/Records.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

using namespace pb;
using namespace pb::exchange;

namespace {

// Records of pseudo-random bytes, the same for the same seed: lower-case
// letters, high bytes, spaces and the special bytes, in the shares given.
class RandomRecords
{
public:
    explicit RandomRecords(quint32 seed) : seed_(seed) {}
    quint32 next() { return (seed_ = seed_ * 1103515245u + 12345u) >> 16; }
    QByteArray record(quint32 letters, quint32 high, quint32 spaces, quint32 specials, std::string_view special)
    {
        QByteArray r(static_cast<qsizetype>(kRecordSize), ' ');
        for (char& b : r) {
            const quint32 k = next() % (letters + high + spaces + specials);
            b = k < letters                  ? char('a' + next() % 26)
                : k < letters + high         ? char(0x80 + next() % 128)
                : k < letters + high + spaces ? ' '
                                             : special[next() % special.size()];
        }
        return r;
    }

private:
    quint32 seed_;
};

// Records that use every field to its width, the whole Western code page,
// and the characters the formats must escape.
// Values a spreadsheet would run as formulas, and ones it would not.
ContactRecord formulas()
{
    ContactRecord r;
    for (Field f : kAllFields)
        r.store(f, QString());
    r.store(Field::FirstName, QStringLiteral("=HYPERLINK(1)"));
    r.store(Field::LastName, QStringLiteral("@SUM(A1)"));
    r.store(Field::Phone, QStringLiteral("+1 555 0100"));
    r.store(Field::Email, QStringLiteral("-x@example.org"));
    r.store(Field::Company, QStringLiteral("'=already quoted"));
    r.store(Field::Comments, QStringLiteral("-12.5"));
    return r;
}

QList<ContactRecord> awkwardBook()
{
    QList<ContactRecord> book;
    QString all;
    for (int b = 0x20; b <= 0xFF; ++b)
        if (b != 0x7F)
            all += codepage::decode(std::string(1, static_cast<char>(b)));
    for (int start = 0; start < all.size(); start += 20) {
        ContactRecord r;
        for (Field f : kAllFields) {
            const int width = static_cast<int>(layoutOf(f).width);
            r.store(f, all.mid((start + static_cast<int>(f) * 7) % all.size(), width));
        }
        book << r;
    }
    ContactRecord full;
    for (Field f : kAllFields)
        full.store(f, QString(static_cast<int>(layoutOf(f).width), u'x'));
    book << full;
    ContactRecord escapes;
    for (Field f : kAllFields)
        escapes.store(f, QString());
    escapes.store(Field::FirstName, QStringLiteral(" lead"));
    escapes.store(Field::LastName, QStringLiteral("a,b;c\\d\"e"));
    escapes.store(Field::Address, QStringLiteral("1 Main St\r\nSpringfield, IL"));
    escapes.store(Field::Comments, QStringLiteral("line one\r\n\r\nline three; with, marks"));
    book << escapes;
    book << formulas();
    ContactRecord blank;   // every field empty but still a record
    for (Field f : kAllFields)
        blank.store(f, QString());
    book << blank;
    return book;
}

QList<Contact> contactsOf(const QList<ContactRecord>& book)
{
    QList<Contact> out;
    for (const ContactRecord& r : book)
        out << fromRecord(r);
    return out;
}

} // namespace

// A random book's export followed by every kind of card that needs the
// usual way of reading: cut short, holding another, folded, in other
// character sets, with a prefix, a second phone, a long note, ...
QByteArray mixedCards(int page, QByteArray* bookOut)
{
    RandomRecords random(static_cast<quint32>(page));
    const char special[] = {'\\', ',', ';', '"', '\r', '\n', ' ', ' ', '\t', char(0xA0), char(0xCC), char(0xDE)};
    QByteArray book;
    for (int n = 0; n < 300; ++n) {
        QByteArray r = random.record(6, 2, 3, 1, std::string_view(special, sizeof special));
        if (n % 2 == 0)
            for (char& b : r)
                if (b == '\r' || b == '\n' || b == '\t')
                    b = ',';   // half of them as a record usually is: no line breaks
        if (n % 2 == 0)
            for (qsizetype at : {0, 20})
                r[at] = 'A';   // names that begin with a letter
        if (n % 3 == 0)
            r.replace(67, 373, QByteArray(373, ' '));   // names only
        book += r;
    }
    QByteArray data = exportVCard(book, 300);
    data += QByteArray(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann B. Lee\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;John;Paul;;\r\nFN:John Paul Doe\r\nORG:Acme, \r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nN:Poe;Edgar;Allan\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nN:Lee;Ann;Marie;Dr.;\r\nTEL:tel:+1-418-656-9254;ext=102\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nN:Roe;Jo\r\nTEL;TYPE=cell;PREF:  +1 555 0100 \r\nTEL;TYPE=work:+1 555 0199\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8:M\xc3\xbcller;J\xc3\xbcrgen\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a=3Db=\r\nc\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nFN:Solo Name\r\nORG:Acme\\, Inc.;Sales;\r\nADR;TYPE=home:PO 1;Flat 2;1 Main St;Town;Reg;12345;Land\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nN:\xe7\x8e\x8b;\xe5\xb0\x8f\xe6\x98\x8e\r\nEMAIL:wang@example.cn\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nN:Long;Note\r\nNOTE:" + QByteArray(300, 'x') + "\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nN:Bday;Has\r\nBDAY:1980-04-22\r\nX-CUSTOM:1\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nN:Broken;\xff\xfe\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nN:Bom;\xef\xbb\xbf\xc3\xa9\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nitem1.EMAIL;type=INTERNET:a@b.c\r\nN:Grp;Up\r\nTEL;QUOTED-PRINTABLE:555\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nN:Ctl;A\x01" "B\r\nTEL:\xc2\xa0" "555\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nN:No;End\r\n"
        "BEGIN:VCARD\r\nN:After;Missing\r\nno colon here\r\nAGENT:BEGIN:VCARD\r\nN:Agent;Inner\r\nEND:VCARD\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nN:Folded;Note\r\nNOTE:first part of a note that is\r\n  folded onto the next line\r\n\r\nPHOTO;ENCODING=b:AAAA\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nN:Last;Open\r\nTEL:1\r\n");
    *bookOut = book;
    return data;
}

// The same book as CSV, and rows that need the usual way: a cell past the
// header's columns, a note too long, characters the page lacks, a control
// character, line breaks in a cell (LF or CR alone, CR LF), doubled quotes,
// an empty row, a duplicate.
QByteArray mixedRows(const QByteArray& book)
{
    return exportCsv(book, 300) +
           "\"Lone\nBreak\",Name,,,,,\r\n"
           "\"Cr\rOnly\",Name,,,,,\r\n"
           "\"Say \"\"hi\"\"\",Q,,,,,\r\n"
           "Ann,Lee,555,a@b.c,Acme,Street,Note,extra cell\r\n"
           "Long,Note,,,,,\"" + QByteArray(300, 'x') + "\"\r\n"
           "\xe7\x8e\x8b,\xe5\xb0\x8f\xe6\x98\x8e,,wang@example.cn,,,\r\n"
           "Ctl,A\x01" "B,,,,,\r\n"
           "\"Multi\r\nLine\",Name,,,,\"1 Main St\r\nTown\",\r\n"
           ",,,,,,\r\n"
           "Again,Lee,,a@b.c,,,\r\n";
}

// The plan from the file at `path` is the plan from its bytes.
void samePlanFromTheFile(const QString& path, const QByteArray& bytes, const QByteArray& book)
{
    QFile in(path);
    QVERIFY(in.open(QIODevice::ReadOnly));
    ReadReport fileRead, bytesRead;
    ImportPlan fromFile;
    QByteArray fileLeftOut, bytesLeftOut;
    QString error;
    QVERIFY(planFileImport(in, &fileRead, book, &fromFile, &fileLeftOut, &error));
    const ImportPlan fromBytes = planFileImport(bytes, path, &bytesRead, book, &bytesLeftOut);
    QVERIFY(fromFile.count() > 0);
    QVERIFY(fromFile.records == fromBytes.records);
    QCOMPARE(fromFile.contacts, fromBytes.contacts);
    QCOMPARE(details(fromFile), details(fromBytes));
    QCOMPARE(fileLeftOut, bytesLeftOut);
}

class TestExchange : public QObject
{
    Q_OBJECT
private slots:
    void init() { codepage::setCurrent(1252); }

    void theBookSurvivesARoundTrip_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("vCard 3.0") << "vcf3";
        QTest::newRow("vCard 4.0") << "vcf4";
        QTest::newRow("CSV") << "csv";
    }

    void theBookSurvivesARoundTrip()
    {
        QFETCH(QString, format);
        const QList<ContactRecord> book = awkwardBook();
        const QList<Contact> contacts = contactsOf(book);
        ReadReport report;
        const QList<Contact> back = format == QLatin1String("csv") ? readCsv(writeCsv(contacts), &report)
                                    : format == QLatin1String("vcf4")
                                        ? readVCard(writeVCard(contacts, VCardVersion::V40), &report)
                                        : readVCard(writeVCard(contacts), &report);
        QCOMPARE(back.size(), book.size() - (format == QLatin1String("csv") ? 1 : 0));   // CSV drops the empty row
        for (qsizetype i = 0; i < back.size(); ++i)
            for (Field f : kAllFields)
                QVERIFY2(toRecord(back[i]).raw(f) == book[i].raw(f),
                         qPrintable(QStringLiteral("record %1 field %2: %3 / %4")
                                        .arg(i + 1)
                                        .arg(static_cast<int>(f))
                                        .arg(back[i][f], contacts[i][f])));
        QVERIFY(report.skipped.size() <= 1);
    }

    // An exported CSV opened in a spreadsheet runs no formula: a cell that
    // would be one gets a quote in front (numbers and phone numbers stay as
    // they are), which the import takes off again.
    void spreadsheetsRunNoFormulaFromAnExport()
    {
        ContactRecord r = formulas();
        r.store(Field::Address, QStringLiteral("a lone\rCR"));   // a CR alone comes back alone
        const QByteArray book(r.bytes.data(), kRecordSize);
        const QByteArray csv = exportCsv(book, 1);
        QVERIFY2(csv.contains("\r\n'=HYPERLINK(1),'@SUM(A1),+1 555 0100,'-x@example.org,''=already quoted,"
                              "\"a lone\rCR\",-12.5\r\n"),
                 csv.constData());
        ReadReport read;
        QByteArray leftOut;
        const ImportPlan plan = planFileImport(csv, QStringLiteral("out.csv"), &read, QByteArray(), &leftOut);
        QCOMPARE(plan.count(), 1);
        QCOMPARE(plan.record(0), r);
    }

    // The whole-book export goes from the stored bytes straight to UTF-8: it
    // writes what the contact-by-contact writer writes, byte for byte, in
    // every code page, for any stored bytes (escapes, line breaks, white
    // space around the name, a NUL inside a field, 1258's tone marks, a
    // last record cut short).
    void theBooksExportIsTheContactWritersOutput_data()
    {
        QTest::addColumn<int>("page");
        for (int page : codepage::supported())
            QTest::newRow(qPrintable(QString::number(page))) << page;
    }

    void theBooksExportIsTheContactWritersOutput()
    {
        QFETCH(int, page);
        QVERIFY(codepage::setCurrent(page));
        RandomRecords random(static_cast<quint32>(page));
        const char special[] = {'\\', ',', ';', '"', '\r', '\n', ' ', ' ', '\t', '\0', char(0xA0), char(0xCC), char(0xDE), char(0xF2)};
        QByteArray book;
        for (int n = 0; n < 400; ++n) {
            QByteArray r = random.record(4, 3, 0, 3, std::string_view(special, sizeof special));
            if (n % 7 == 0)
                r.replace(0, 20, QByteArray(20, ' '));   // no first name
            if (n % 5 == 0)
                r.replace(47, 20, QByteArray(20, ' '));  // no phone
            r[0] = r[0] == '\0' ? 'x' : r[0];           // a record, not a free slot
            book += r;
        }
        book.chop(100);   // the last record cut short
        for (int count : {400, 250}) {
            const QList<Contact> contacts = shownContacts(book, count);
            QCOMPARE(exportVCard(book, count), writeVCard(contacts));
            QCOMPARE(exportVCard(book, count, VCardVersion::V40), writeVCard(contacts, VCardVersion::V40));
            QCOMPARE(exportCsv(book, count), writeCsv(contacts));
        }
    }

    // Cards read straight into their records give the plan the usual way
    // gives, item for item: the same records, the same report. Plain cards
    // (the program's own export) and every kind of card that needs the
    // usual way, mixed, into an empty book and into one that already holds
    // some of them, in several code pages.
    void theQuickWayPlansWhatTheUsualWayPlans_data()
    {
        QTest::addColumn<int>("page");
        for (int page : {1252, 1251, 1250, 1258})
            QTest::newRow(qPrintable(QString::number(page))) << page;
    }

    void theQuickWayPlansWhatTheUsualWayPlans()
    {
        QFETCH(int, page);
        QVERIFY(codepage::setCurrent(page));
        QByteArray book;
        const QByteArray cards = mixedCards(page, &book);
        const QByteArray rows = mixedRows(book);
        for (const auto& [name, data] : {std::pair{QStringLiteral("cards.vcf"), cards}, std::pair{QStringLiteral("cards.csv"), rows}}) {
            {
                ReadReport read;
                QuickRecords quick;
                if (name.endsWith(QLatin1String(".csv")))
                    readCsv(data, &read, &quick);
                else
                    readVCard(data, &read, &quick);
                const auto straight = std::count_if(quick.record.begin(), quick.record.end(), [](int r) { return r >= 0; });
                QVERIFY2(straight >= 50, qPrintable(QString::number(straight)));   // many of the plain ones
            }
            for (const QByteArray& existing : {QByteArray(), book.left(40 * static_cast<qsizetype>(kRecordSize))}) {
                ReadReport usualRead;
                const QList<Contact> usual = readContacts(data, name, &usualRead);
                const ImportPlan want = planImport(usual, usualRead, existing);
                ReadReport quickRead;
                QByteArray leftOut;
                const ImportPlan got = planFileImport(data, name, &quickRead, existing, &leftOut);
                QCOMPARE(got.bookCount, want.bookCount);
                QCOMPARE(got.contacts, want.contacts);
                for (qsizetype i = 0; i < want.count(); ++i)
                    QVERIFY2(got.record(int(i)) == want.record(int(i)),
                             qPrintable(QStringLiteral("contact %1: %2").arg(i + 1).arg(QString::fromLatin1(want.record(int(i)).bytes.data(), 40))));
                QVERIFY(got.records == want.records);
                QCOMPARE(got.names, want.names);
                QVERIFY(got.cuts == want.cuts);
                QVERIFY(got.leftOut == want.leftOut);
                QVERIFY(got.notKept == want.notKept);
                QVERIFY(got.unmapped == want.unmapped);
                QVERIFY(got.duplicates == want.duplicates);
                QCOMPARE(got.skipped, want.skipped);
                QCOMPARE(got.photosSkipped, want.photosSkipped);
                QVERIFY(!want.duplicates.isEmpty() || existing.isEmpty());
                // What the book cannot hold whole is kept the same way.
                QCOMPARE(leftOut, leftOutCards(usual, want));
                QVERIFY(!leftOut.isEmpty());
            }
        }
    }

    // A file is read a piece at a time, each piece ending before a line
    // that begins a card: whatever the pieces, the contacts, their cards,
    // the records read straight and the report are those of the file read
    // whole, also for cards that never end, hold another card or run longer
    // than a piece, after a byte-order mark and in UTF-16.
    void aFileReadInPiecesReadsAsAWhole()
    {
        QByteArray book;
        const QByteArray cards = mixedCards(1252, &book);
        const auto utf16Of = [](const QByteArray& utf8) {
            const QString text = QChar(0xFEFF) + QString::fromUtf8(utf8);
            return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        };
        const QByteArray rows = mixedRows(book);
        const struct {
            const char* what;
            QByteArray bytes;
            bool csv;
        } files[] = {
            {"cards", cards, false},
            {"cards with a mark", "\xEF\xBB\xBF" + cards, false},
            {"a card cut short last", cards + "BEGIN:VCARD\r\nN:Cut;Short\r\nNOTE:" + QByteArray(5000, 'n'), false},
            {"cards in UTF-16", utf16Of(cards.right(2000)), false},
            {"rows", rows, true},
            {"rows with a mark", "\xEF\xBB\xBF" + rows, true},
            // Quotes that never close, one in the header row: each is a plain
            // character, and the report names its line.
            {"rows with open quotes", "First Name,\"Last Name,E-mail\r\n" + rows.mid(rows.indexOf('\n') + 1, 3000) +
                                          "Open,\"Quote,x@y.z\r\nNext,Row,n@r.s\r\n" + rows.right(500) + "End,\"Open\r\n",
             true},
            {"rows in the code page", "First Name,Last Name,Company\r\nJ\xfcrgen,M\xfcller,\"Caf\xe9\r\nBar\"\r\n", true},
            {"rows in UTF-16", utf16Of(rows.left(3000)), true},
        };
        QTemporaryDir dir;
        for (const auto& [what, bytes, csv] : files) {
            ReadReport wholeRead;
            QuickRecords wholeQuick;
            const QList<Contact> whole = csv ? readCsv(bytes, &wholeRead, &wholeQuick) : readVCard(bytes, &wholeRead, &wholeQuick);
            QVERIFY(!whole.isEmpty() || wholeQuick.records.size() > 0);
            if (QByteArray(what).contains("open quotes"))
                QVERIFY(wholeRead.skipped.value(0).startsWith(QStringLiteral("Line ")));
            const QString path = dir.filePath(csv ? QStringLiteral("contacts.csv") : QStringLiteral("cards.vcf"));
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(bytes) == bytes.size());
            out.close();
            for (qsizetype piece : {1, 16, 100, 333, 4096, 1 << 20}) {
                const QString where = QStringLiteral("%1, pieces of %2").arg(QLatin1String(what)).arg(piece);
                QFile in(path);
                QVERIFY(in.open(QIODevice::ReadOnly));
                ReadReport read;
                QuickRecords quick;
                QString error;
                const QList<Contact> got = csv ? readCsv(in, &read, &quick, &error, piece) : readVCard(in, &read, &quick, &error, piece);
                QVERIFY2(error.isEmpty(), qPrintable(where));
                QVERIFY2(got.size() == whole.size(), qPrintable(where));
                for (qsizetype i = 0; i < got.size(); ++i) {
                    QVERIFY2(got[i] == whole[i], qPrintable(where + QStringLiteral(", contact %1").arg(i)));
                    QVERIFY2(got[i].source == whole[i].source, qPrintable(where + QStringLiteral(", card %1").arg(i)));
                }
                QVERIFY2(quick.record == wholeQuick.record && quick.records == wholeQuick.records, qPrintable(where));
                QVERIFY2(read.skipped == wholeRead.skipped && read.photosSkipped == wholeRead.photosSkipped, qPrintable(where));
            }
            samePlanFromTheFile(path, bytes, book.left(10 * kRecordSize));
        }
    }

    // A likely duplicate names the last record of the book with the same
    // e-mail (or name), and the first contact of the file; case and the
    // spaces around do not count.
    void aLikelyDuplicateNamesTheLastRecordAndTheFirstContact()
    {
        QByteArray book;
        for (const auto& [first, email] : {std::pair{"Ann", "ann@x.org"}, std::pair{"Bob", "bob@x.org"}, std::pair{"Ann2", "ANN@x.org "}}) {
            Contact c;
            c[Field::FirstName] = QString::fromLatin1(first);
            c[Field::Email] = QString::fromLatin1(email);
            book.append(toRecord(c).bytes.data(), static_cast<qsizetype>(kRecordSize));
        }
        const QByteArray cards = "BEGIN:VCARD\r\nN:;Cy\r\nEMAIL: Ann@X.org\r\nEND:VCARD\r\n"
                                 "BEGIN:VCARD\r\nN:Lee;Di\r\nEND:VCARD\r\n"
                                 "BEGIN:VCARD\r\nN:lee;di\r\nEND:VCARD\r\n"
                                 "BEGIN:VCARD\r\nN:LEE;DI\r\nEND:VCARD\r\n";
        ReadReport read;
        QByteArray leftOut;
        const ImportPlan plan = planFileImport(cards, QStringLiteral("d.vcf"), &read, book, &leftOut);
        QCOMPARE(plan.duplicates.size(), 3);
        QVERIFY((plan.duplicates[0] == ImportPlan::Duplicate{1, 3, 0, true}));
        QVERIFY((plan.duplicates[1] == ImportPlan::Duplicate{3, 0, 2, false}));
        QVERIFY((plan.duplicates[2] == ImportPlan::Duplicate{4, 0, 2, false}));
    }

    // Reading tells how far it has come and stops when told to.
    void readingTellsItsProgressAndStopsWhenAsked_data()
    {
        QTest::addColumn<bool>("csv");
        QTest::newRow("vCard") << false;
        QTest::newRow("CSV") << true;
    }

    void readingTellsItsProgressAndStopsWhenAsked()
    {
        QFETCH(bool, csv);
        QList<Contact> many;
        for (int i = 0; i < 2000; ++i) {
            Contact c;
            c[Field::FirstName] = QStringLiteral("N%1").arg(i);
            many << c;
        }
        const QByteArray data = csv ? writeCsv(many) : writeVCard(many);
        const auto read = [&](ReadReport& report) { return csv ? readCsv(data, &report) : readVCard(data, &report); };

        ReadReport told;
        QList<qint64> steps;
        told.progress = [&](qint64 done, qint64 total) {
            steps << done;
            return done <= total;
        };
        QCOMPARE(read(told).size(), 2000);
        QVERIFY(!told.cancelled);
        QVERIFY(steps.size() >= 5);
        QVERIFY(std::is_sorted(steps.begin(), steps.end()));

        ReadReport stopped;
        int calls = 0;
        stopped.progress = [&](qint64, qint64) { return ++calls < 2; };
        const QList<Contact> part = read(stopped);
        QVERIFY(stopped.cancelled);
        QVERIFY2(part.size() < 2000 && part.size() >= 256, qPrintable(QString::number(part.size())));
        QCOMPARE(part.last()[Field::FirstName], QStringLiteral("N%1").arg(part.size() - 1));   // whole contacts only
    }

    void vCardLinesAreFoldedAt75Octets()
    {
        Contact c;
        c[Field::FirstName] = QStringLiteral("Zoë");
        c[Field::Comments] = QString(100, u'é');
        for (const QByteArray& line : writeVCard({c}).split('\n'))
            QVERIFY2(line.size() <= 76, line.constData());   // 75 and the CR
        QCOMPARE(readVCard(writeVCard({c}), nullptr).value(0), c);
    }





    void anImportNeverHidesOrOverwritesRecords()
    {
        ContactRecord ann;
        ann.store(Field::FirstName, QStringLiteral("Ann"));
        QByteArray book;
        for (int i = 0; i < 32765; ++i)
            book.append(ann.bytes.data(), kRecordSize);
        Contact odd;
        odd[Field::FirstName] = QStringLiteral("\0Ann");   // a NUL would make it a free slot
        odd[Field::Comments] = QStringLiteral("tab\there\x01\r\nnext");
        const QList<Contact> contacts = {odd, odd, odd, odd, odd};

        // The book's last numbers: two fit, the rest is named as left out.
        ImportPlan plan = planImport(contacts, {}, book);
        QCOMPARE(plan.count(), 2);
        QVERIFY2(plan.skipped.join(u'|').contains(QStringLiteral("Contacts 3 to 5")), qPrintable(plan.skipped.join(u'|')));
        const ContactRecord r = plan.record(0);
        QVERIFY(!r.isFree());
        QCOMPARE(FieldText(r, Field::FirstName), QStringLiteral("?Ann "));
        QCOMPARE(FieldText(r, Field::Comments), QStringLiteral("tab\there?\r\nnext "));
        QVERIFY2(details(plan).contains(QStringLiteral("FirstName holds U+0000")), qPrintable(details(plan)));

        // Records after a free slot would be overwritten: nothing may go in.
        book = QByteArray(2 * kRecordSize, '\0');
        book.replace(0, kRecordSize, QByteArray(ann.bytes.data(), kRecordSize));
        book.append(ann.bytes.data(), kRecordSize);
        plan = planImport(contacts, {}, book);
        QCOMPARE(plan.bookCount, 1);
        QVERIFY(!plan.blocked.isEmpty());
        QVERIFY(summary(plan, QStringLiteral("x.vcf")).startsWith(QStringLiteral("Nothing can be imported")));
    }

    // Records are kept without their padding until they are written: every
    // byte comes back, spaces inside or ending a value, NULs, full fields and
    // 8-bit bytes included, and an append of more records than one block
    // writes each where it belongs, or none of them when the disk fills up
    // part way.
    void recordsKeptPackedComeBackByteForByte()
    {
        QList<ContactRecord> all = awkwardBook();
        ContactRecord odd;
        odd.bytes.fill(' ');
        std::memcpy(odd.bytes.data() + layoutOf(Field::LastName).offset, "a  b \0 ", 8);
        odd.bytes[layoutOf(Field::Phone).offset + 3] = '\0';
        std::fill_n(odd.bytes.data() + layoutOf(Field::Comments).offset, layoutOf(Field::Comments).width, '\xE9');
        odd.bytes[0] = 'x';
        all << odd;
        for (int i = 0; all.size() < 1300; ++i)
            all << test::makeRecord({QStringLiteral("First%1").arg(i), QStringLiteral("Last %1 ").arg(i), QStringLiteral("+1 555 %1").arg(i)});
        PackedRecords packed;
        packed.reserve(10, 100);   // grows past what was reserved
        QByteArray whole;
        for (const ContactRecord& r : all) {
            packed.append(r.bytes.data());
            whole.append(r.bytes.data(), kRecordSize);
        }
        QCOMPARE(packed.size(), all.size());
        QVERIFY(packed.packedSize() < whole.size() / 4);
        for (qsizetype i = 0; i < all.size(); ++i)
            QVERIFY2(packed.at(i) == all[i], qPrintable(QString::number(i)));
        PackedRecords some = packed;
        some.truncate(3);
        QCOMPARE(some.size(), 3);
        QVERIFY(some.at(2) == all[2]);
        QVERIFY(!(some == packed));

        QTemporaryDir dir;
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        const QByteArray first = test::bytesOf(test::named(QStringLiteral("First")));
        {
            QFile f(QString::fromLatin1(kPhonebookFileName));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(first) == first.size());
        }
        {
            Phonebook book;
            QVERIFY(book.openPhonebookFile());
            QString why;
            {
                // The disk fills up after the first block: none of it stays.
                const test::FileSizeLimit disk(700 * qint64(kRecordSize));
                QVERIFY(!appendRecords(book, 1, packed, &why));
            }
            QCOMPARE(test::readAll(QString::fromLatin1(kPhonebookFileName)), first);
            QVERIFY2(appendRecords(book, 1, packed, &why), qPrintable(why));
        }
        QCOMPARE(test::readAll(QString::fromLatin1(kPhonebookFileName)), first + whole);
        QDir::setCurrent(old);
    }

    void anAppendNeverOverwritesWhatAnotherProgramAddedAfterTheReport()
    {
        QTemporaryDir dir;
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        ContactRecord ann;
        ann.store(Field::FirstName, QStringLiteral("Ann"));
        Contact bob;
        bob[Field::FirstName] = QStringLiteral("Bob");
        const ImportPlan plan = planImport({bob}, {}, QByteArray());   // the report saw an empty book
        {
            QFile f(QString::fromLatin1(kPhonebookFileName));   // then Ann arrived
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(ann.bytes.data(), kRecordSize) == kRecordSize);
        }
        Phonebook book;
        QVERIFY(book.openPhonebookFile());
        QString why;
        QVERIFY(!appendRecords(book, plan.bookCount, plan.recordsToAdd(false), &why));
        QVERIFY2(why.contains(QStringLiteral("record 1 is no longer free")), qPrintable(why));
        book.closePhonebookFile();
        QFile f(QString::fromLatin1(kPhonebookFileName));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray(ann.bytes.data(), kRecordSize));
        QVERIFY(!QFile::exists(QString::fromLatin1(kPhonebookFileName) + QStringLiteral("-journal")));
        QDir::setCurrent(old);
    }
};

// Cards as other address books write them, with what the record has no
// field for: each value is stored or named, never dropped without a word.
class TestNothingLost : public QObject
{
    Q_OBJECT
private slots:
    void init() { codepage::setCurrent(1252); }

    // Values without a field go ahead of a long note, shortest form first;
    // what still finds no room is named by kind and value.
    void extrasComeBeforeTheNoteAndWhatHasNoRoomIsNamed()
    {
        const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;Dr.;\r\nFN:Dr. Ann Lee\r\n"
                                "TEL;TYPE=work:+1 555 0100\r\nTEL;TYPE=cell:+1 555 0199\r\n"
                                "EMAIL:ann@x.org\r\nEMAIL;TYPE=home:ann@home.example\r\n"
                                "BDAY:1980-04-22\r\nTITLE:Head of Sales\r\nURL:https://ann.example\r\n"
                                "X-JABBER:ann@chat.example\r\nGEO:geo:51.5,-0.1\r\nKEY:MIIBIjANBgkq\r\nX-FOO-BAR:baz\r\n"
                                "NOTE:" + QByteArray(150, 'n') + "\r\nEND:VCARD\r\n";
        ReadReport read;
        const QList<Contact> contacts = readVCard(card, &read);
        QCOMPARE(contacts.size(), 1);
        const Contact& c = contacts[0];
        QCOMPARE(c.extras.mid(0, 4), (QStringList{"birthday 1980-04-22", "title Head of Sales", "cell +1 555 0199",
                                                  "e-mail home ann@home.example"}));
        QVERIFY(c.extras.contains(QStringLiteral("name Dr.")));
        QVERIFY(c.extras.contains(QStringLiteral("web https://ann.example")));
        QVERIFY(c.extras.contains(QStringLiteral("jabber ann@chat.example")));
        QCOMPARE(c.notKept, (QStringList{"KEY", "X-FOO-BAR"}));
        QVERIFY(c[Field::Comments].startsWith(QStringLiteral("birthday 1980-04-22\r\ntitle Head of Sales\r\ncell +1 555 0199")));

        const ImportPlan plan = planImport(contacts, read, QByteArray());
        const QString d = details(plan);
        QVERIFY2(d.contains(QStringLiteral("contact 1 (Ann Lee): ") + QString(150, u'n') + QStringLiteral(" (only its beginning is stored)")) ||
                     d.contains(QStringLiteral("contact 1 (Ann Lee): ") + QString(150, u'n')),
                 qPrintable(d));
        QVERIFY2(d.contains(QStringLiteral("Not kept (a record has no place for them):\ncontact 1 (Ann Lee): KEY, X-FOO-BAR")), qPrintable(d));
        QVERIFY(!d.contains(QStringLiteral("loses its last")));
        // The card as the file held it, for the file beside the book.
        QCOMPARE(plan.incompleteContacts(), QList<int>{1});
        QCOMPARE(leftOutCards(contacts, plan), card);
        QCOMPARE(leftOutFileName(QStringLiteral("/tmp/My Contacts.vcf")), QStringLiteral("My Contacts-left-out.vcf"));
    }


    void aCodePagesCsvIntoABookOfThatPage()
    {
        // A Russian spreadsheet's CSV (Windows-1251) into a 1251 book.
        ReadReport read;
        read.codePage = 1251;
        const QList<Contact> rows = readCsv("First Name;Last Name\r\n\xc8\xe2\xe0\xed;\xcf\xe5\xf2\xf0\xee\xe2\r\n", &read);
        QCOMPARE(rows.value(0)[Field::FirstName], QStringLiteral("\u0418\u0432\u0430\u043d"));
    }


    // A megabyte of quoted-printable text is read in one pass.
    void longQuotedPrintableValues()
    {
        QByteArray note;
        for (int i = 0; i < 20000; ++i)
            note += "=C3=A9t=C3=A9 d=C3=A9j=C3=A0 vu =\r\n";
        const QList<Contact> c = readVCard("BEGIN:VCARD\r\nVERSION:2.1\r\nN:X;Y\r\nNOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" +
                                               note + "fin\r\nEND:VCARD\r\n",
                                           nullptr);
        QCOMPARE(c.size(), 1);
        QVERIFY(c[0].note.endsWith(QStringLiteral("\u00e9t\u00e9 d\u00e9j\u00e0 vu fin")));
        QCOMPARE(c[0].note.size(), 20000 * 12 + 3);
    }


    // One line longer than any value a record can hold is cut as it is read
    // (never held whole), and the report names the line and what went.
    void aHugeLineIsCutAsItIsRead_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("line");
        QTest::newRow("vCard") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nNOTE:")
                               << QByteArray("\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:Day;Bob;;;\r\nEND:VCARD\r\n")
                               << QStringLiteral("big.vcf") << 4;
        QTest::newRow("CSV") << QByteArray("First Name,Last Name,Notes\r\nAnn,Lee,") << QByteArray("\r\nBob,Day,x\r\n")
                             << QStringLiteral("big.csv") << 2;
    }

    void aHugeLineIsCutAsItIsRead()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QString, name);
        QFETCH(int, line);
        QTemporaryDir dir;
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        const qint64 longLine = 3 << 20;
        file.write(before);
        file.write(QByteArray(longLine, 'x'));
        file.write(after);
        file.close();
        QVERIFY(file.open(QIODevice::ReadOnly));
        ReadReport read;
        ImportPlan plan;
        QByteArray leftOut;
        QString error;
        QVERIFY2(planFileImport(file, &read, QByteArray(), &plan, &leftOut, &error), qPrintable(error));
        QCOMPARE(plan.count(), 2);
        QCOMPARE(FieldText(plan.record(1), Field::FirstName).trimmed(), QStringLiteral("Bob"));
        const QString told = read.skipped.join(u'\n');
        QVERIFY2(told.contains(QStringLiteral("Line %1 is longer than any value a record can hold: its first 1 MiB was read, "
                                              "the %2 bytes after them were left out.")
                                   .arg(line)
                                   .arg(longLine + 1 - ((1 << 20) - (before.size() - before.lastIndexOf('\n') - 1)))),   // and the CR
                 qPrintable(told));
    }

    // A card imported and exported again, one a case in roundtrip/: what
    // went into Comments comes back as its property (the export is
    // compared with the .ref beside the card), and importing the export
    // gives the same records byte for byte.
    void cardsComeBackWithTheirProperties_data()
    {
        QTest::addColumn<QString>("path");
        const QDir dir(QFINDTESTDATA("roundtrip"));
        for (const QFileInfo& f : dir.entryInfoList({QStringLiteral("*.vcf")}, QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(f.fileName())) << f.filePath();
    }

    void cardsComeBackWithTheirProperties()
    {
        QFETCH(QString, path);
        const auto bookOf = [](const QByteArray& cards) {
            ReadReport read;
            QByteArray leftOut;
            const ImportPlan plan = planFileImport(cards, QStringLiteral("cards.vcf"), &read, QByteArray(), &leftOut);
            QByteArray book;
            for (int i = 0; i < plan.count(); ++i)
                book += test::bytesOf(plan.record(i));
            return book;
        };
        const QByteArray book = bookOf(test::readAll(path));
        QVERIFY(!book.isEmpty());
        const QByteArray exported = exportVCard(book, static_cast<int>(book.size() / 440));
        QCOMPARE(exported, writeVCard(shownContacts(book, static_cast<int>(book.size() / 440))));
        QFile ref(path + QStringLiteral(".ref"));
        if (qEnvironmentVariableIsSet("PB_WRITE_REFS")) {
            QVERIFY(ref.open(QIODevice::WriteOnly) && ref.write(exported) >= 0);
            return;
        }
        QVERIFY2(ref.open(QIODevice::ReadOnly), qPrintable(ref.fileName()));
        QCOMPARE(QString::fromUtf8(exported), QString::fromUtf8(ref.readAll()));
        QCOMPARE(bookOf(exported), book);
    }

    // Files other programs wrote, one a case, in data/: each is imported
    // into an empty book and what the user is told and what the book gets
    // is compared with the file's .ref beside it (PB_WRITE_REFS=1 writes
    // the .ref files anew, to be read before they are committed).
    void filesOtherProgramsWrote_data()
    {
        QTest::addColumn<QString>("path");
        const QDir dir(QFINDTESTDATA("data"));
        for (const QFileInfo& f : dir.entryInfoList(QDir::Files, QDir::Name))
            if (f.suffix() != QLatin1String("ref"))
                QTest::newRow(qPrintable(f.fileName())) << f.filePath();
    }

    void filesOtherProgramsWrote()
    {
        QFETCH(QString, path);
        QFile in(path);
        QVERIFY(in.open(QIODevice::ReadOnly));
        ReadReport read;
        ImportPlan plan;
        QByteArray leftOut;
        QString error;
        QVERIFY2(planFileImport(in, &read, QByteArray(), &plan, &leftOut, &error), qPrintable(error));
        // The usual way, every contact a Contact first, plans the same.
        in.seek(0);
        ReadReport usualRead;
        const QList<Contact> usual = readContacts(in.readAll(), path, &usualRead);
        const ImportPlan want = planImport(usual, usualRead, QByteArray());
        if (plan.blocked.isEmpty()) {
            QVERIFY(plan.records == want.records);
            QCOMPARE(details(plan), details(want));
            QCOMPARE(leftOut, leftOutCards(usual, want));
        }
        QString told = summary(plan, path) + QStringLiteral("\n--- details\n") + details(plan) +
                       QStringLiteral("\n--- records\n");
        for (int i = 0; i < plan.count(); ++i) {
            QStringList fields;
            for (Field f : kAllFields)
                fields << FieldText(plan.record(i), f).trimmed();
            told += fields.join(u'|') + u'\n';
        }
        QFile ref(path + QStringLiteral(".ref"));
        if (qEnvironmentVariableIsSet("PB_WRITE_REFS")) {
            QVERIFY(ref.open(QIODevice::WriteOnly) && ref.write(told.toUtf8()) >= 0);
            return;
        }
        QVERIFY2(ref.open(QIODevice::ReadOnly), qPrintable(ref.fileName()));
        QCOMPARE(told, QString::fromUtf8(ref.readAll()));
    }
};

int main(int argc, char** argv)
{
    int status = 0;
    {
        TestExchange t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        TestNothingLost t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}

#include "tst_exchange.moc"
