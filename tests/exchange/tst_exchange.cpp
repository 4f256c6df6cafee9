// Contacts in and out as vCard and CSV: the book survives a round trip byte
// for byte, and the dialects real address books write are read as meant.
#include "exchange/Exchange.h"
#include "exchange/Import.h"
#include "platform/Codepage.h"
#include "records/Phonebook.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pb;
using namespace pb::exchange;

namespace {

// Records that use every field to its width, the whole Western code page,
// and the characters the formats must escape.
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

    void vCardLinesAreFoldedAt75Octets()
    {
        Contact c;
        c[Field::FirstName] = QStringLiteral("Zoë");
        c[Field::Comments] = QString(100, u'é');
        for (const QByteArray& line : writeVCard({c}).split('\n'))
            QVERIFY2(line.size() <= 76, line.constData());   // 75 and the CR
        QCOMPARE(readVCard(writeVCard({c}), nullptr).value(0), c);
    }

    void aPhonesVCard21()
    {
        const QByteArray card = "BEGIN:VCARD\r\n"
                                "VERSION:2.1\r\n"
                                "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C5=81ukasz;W=C3=B3jcik;;;\r\n"
                                "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:W=C3=B3jcik =C5=81ukasz\r\n"
                                "TEL;HOME:+48 22 111 22 33\r\n"
                                "TEL;CELL;PREF:+48 600 700 800\r\n"
                                "EMAIL;INTERNET:lukasz@example.pl\r\n"
                                "NOTE;ENCODING=QUOTED-PRINTABLE:Met in Krak=C3=B3w,=0D=0Asecond line =\r\n"
                                "continues\r\n"
                                "PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQSkZJRgABAQ\r\n"
                                " AAAQABAAD\r\n"
                                "END:VCARD\r\n";
        ReadReport report;
        const QList<Contact> read = readVCard(card, &report);
        QCOMPARE(read.size(), 1);
        const Contact& c = read[0];
        QCOMPARE(c[Field::FirstName], QStringLiteral("W\u00F3jcik"));
        QCOMPARE(c[Field::LastName], QStringLiteral("\u0141ukasz"));
        QCOMPARE(c[Field::Phone], QStringLiteral("+48 600 700 800"));   // the preferred one
        QCOMPARE(c[Field::Email], QStringLiteral("lukasz@example.pl"));
        QVERIFY(c[Field::Comments].startsWith(QStringLiteral("Met in Krak\u00F3w,\r\nsecond line continues")));
        QVERIFY(c[Field::Comments].contains(QStringLiteral("Phone (home): +48 22 111 22 33")));   // nothing dropped
        QCOMPARE(report.photosSkipped, 1);
    }

    void aFoldedVCard30WithGroupsAndSeveralNumbers()
    {
        // Saved by an editor that puts a UTF-8 mark first.
        const QByteArray card = "\xEF\xBB\xBF" "BEGIN:VCARD\nVERSION:3.0\nN:Doe;Jane;Q.;;\nFN:Jane Q. Doe\n"
                                "ORG:Acme\\, Inc.;Sales\n"
                                "item1.EMAIL;TYPE=INTERNET,pref:jane@acme.example\n"
                                "EMAIL;TYPE=INTERNET,HOME:jane@home.example\n"
                                "TEL;TYPE=WORK,VOICE:555-0100\nTEL;TYPE=CELL:555-0199\n"
                                "ADR;TYPE=WORK:;Suite 5;1 Long\n  Road;Springfield;IL;62701;USA\n"
                                "NOTE:Prefers e-mail\\; never call\\nafter six.\nEND:VCARD\n";
        const QList<Contact> read = readVCard(card, nullptr);
        QCOMPARE(read.size(), 1);
        const Contact& c = read[0];
        QCOMPARE(c[Field::FirstName], QStringLiteral("Jane Q."));
        QCOMPARE(c[Field::LastName], QStringLiteral("Doe"));
        QCOMPARE(c[Field::Company], QStringLiteral("Acme, Inc., Sales"));
        QCOMPARE(c[Field::Email], QStringLiteral("jane@acme.example"));
        QCOMPARE(c[Field::Phone], QStringLiteral("555-0100"));
        QCOMPARE(c[Field::Address], QStringLiteral("Suite 5\r\n1 Long Road\r\nSpringfield IL 62701\r\nUSA"));
        QVERIFY(c[Field::Comments].startsWith(QStringLiteral("Prefers e-mail; never call\r\nafter six.")));
        QVERIFY(c[Field::Comments].contains(QStringLiteral("E-mail (home): jane@home.example")));
        QVERIFY(c[Field::Comments].contains(QStringLiteral("Phone (cell): 555-0199")));
    }

    void aSpreadsheetsSemicolonCsvInWindows1252()
    {
        const QByteArray csv = "First Name;Last Name;E-mail Address;Mobile Phone;Home Phone;Notes\r\n"
                               "J\xFCrgen;M\xFCller;j@example.de;0171 1;030 2;\"says \"\"hi\"\"; twice\"\r\n"
                               ";;;;;\r\n";
        ReadReport report;
        const QList<Contact> read = readCsv(csv, &report);
        QCOMPARE(read.size(), 1);
        QCOMPARE(read[0][Field::FirstName], QStringLiteral("J\u00FCrgen"));
        QCOMPARE(read[0][Field::LastName], QStringLiteral("M\u00FCller"));
        QCOMPARE(read[0][Field::Phone], QStringLiteral("0171 1"));
        QCOMPARE(read[0][Field::Comments], QStringLiteral("says \"hi\"; twice\r\nHome Phone: 030 2"));
        QCOMPARE(report.skipped.size(), 1);   // the empty row
    }

    void aMailProgramsCsvWithItsOwnHeaders()
    {
        const QByteArray csv = "\xEF\xBB\xBF" "First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,"
                               "Work Phone,Home Phone,Mobile Number,Home Address,Organization,Notes\n"
                               "Ann,Lee,Ann Lee,annie,ann@x.org,ann@y.org,555-1,,,\"1 Main St\nTown\",Acme,\n";
        ReadReport report;
        const QList<Contact> read = readCsv(csv, &report);
        QCOMPARE(read.size(), 1);
        const Contact& c = read[0];
        QCOMPARE(c[Field::FirstName], QStringLiteral("Ann"));
        QCOMPARE(c[Field::Email], QStringLiteral("ann@x.org"));
        QCOMPARE(c[Field::Phone], QStringLiteral("555-1"));
        QCOMPARE(c[Field::Address], QStringLiteral("1 Main St\r\nTown"));
        QCOMPARE(c[Field::Company], QStringLiteral("Acme"));
        QCOMPARE(c[Field::Comments], QStringLiteral("Secondary Email: ann@y.org"));
        QVERIFY(report.skipped.value(0).contains(QStringLiteral("Display Name")));
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

QTEST_APPLESS_MAIN(TestExchange)
#include "tst_exchange.moc"
