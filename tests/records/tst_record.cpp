#include "records/ContactRecord.h"
#include "records/RecordNumber.h"

#include <QTest>

using namespace pb;

class TestRecord : public QObject
{
    Q_OBJECT
private slots:
    void fieldsLieBackToBack()
    {
        ContactRecord r;
        r.store(Field::FirstName, u"F");
        r.store(Field::LastName, u"L");
        r.store(Field::Phone, u"P");
        r.store(Field::Email, u"E");
        r.store(Field::Company, u"C");
        r.store(Field::Address, u"A");
        r.store(Field::Comments, u"M");
        const std::string bytes(r.bytes.begin(), r.bytes.end());
        QCOMPARE(bytes.size(), std::size_t(440));
        const std::pair<std::size_t, char> starts[] = {{0, 'F'},   {20, 'L'},  {40, 'P'}, {67, 'E'},
                                                       {100, 'C'}, {160, 'A'}, {280, 'M'}};
        for (auto [offset, letter] : starts)
            QCOMPARE(bytes[offset], letter);
        // Everything else is padding: no terminators, no separators.
        QCOMPARE(std::count(bytes.begin(), bytes.end(), ' '), std::ptrdiff_t(433));
    }

    void storingCutsOrPads()
    {
        ContactRecord r;
        r.store(Field::FirstName, u"John");
        QCOMPARE(std::string(r.raw(Field::FirstName)), std::string("John                "));
        r.store(Field::FirstName, u"ABCDEFGHIJKLMNOPQRSTUVWXYZ");
        QCOMPARE(std::string(r.raw(Field::FirstName)), std::string("ABCDEFGHIJKLMNOPQRST"));
        // The neighbour is untouched by a long text.
        QCOMPARE(r.raw(Field::LastName)[0], '\0');
        r.store(Field::LastName, u"");
        QCOMPARE(std::string(r.raw(Field::LastName)), std::string(20, ' '));
        r.store(Field::Phone, u"\u20AC5 \u4E2D");
        QCOMPARE(std::string(r.raw(Field::Phone)).substr(0, 5), std::string("\x80" "5 ? "));
    }

    void shownText_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("name with padding") << QByteArray("John                ") << "John ";
        QTest::newRow("18 characters") << QByteArray("ABCDEFGHIJKLMNOPQR  ") << "ABCDEFGHIJKLMNOPQR ";
        QTest::newRow("double space inside") << QByteArray("Main  Street        ") << "Main ";
        QTest::newRow("single spaces kept") << QByteArray("Main St No 5        ") << "Main St No 5 ";
        QTest::newRow("all spaces") << QByteArray(20, ' ') << " ";
        QTest::newRow("one space then NUL") << QByteArray(" ").append(QByteArray(19, '\0')) << " ";
        QTest::newRow("free slot") << QByteArray(20, '\0') << "";
        QTest::newRow("NUL cuts first") << QByteArray("Ab\0  cd             ", 20) << "Ab";
        QTest::newRow("full field from elsewhere") << QByteArray("ABCDEFGHIJKLMNOPQRST") << "ABCDEFGHIJKLMNOPQRST";
        QTest::newRow("code page") << QByteArray("Ren\xE9\x80  ") << "Ren\u00E9\u20AC ";
    }

    void shownText()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, shown);
        QCOMPARE(FieldText(std::string_view(stored.constData(), static_cast<std::size_t>(stored.size()))), shown);
    }

    void freeSlots()
    {
        ContactRecord r;
        QVERIFY(r.isFree());
        r.store(Field::FirstName, u" ");
        QVERIFY(!r.isFree());   // a first name of one space is a record
        QCOMPARE(FieldText(r, Field::FirstName), QStringLiteral(" "));
        ContactRecord onlyLater;
        onlyLater.store(Field::LastName, u"Smith");
        QVERIFY(onlyLater.isFree());
    }

    void recordNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");   // -99999 for "does not convert"
        QTest::newRow("plain") << "7" << 7;
        QTest::newRow("leading zero") << "07" << 7;
        QTest::newRow("spaces") << " 7 " << 7;
        QTest::newRow("plus") << "+7" << 7;
        QTest::newRow("negative") << "-3" << -3;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("top") << "32767" << 32767;
        QTest::newRow("bottom") << "-32768" << -32768;
        QTest::newRow("over") << "32768" << -99999;
        QTest::newRow("far over") << "99999999999999999999" << -99999;
        QTest::newRow("under") << "-32769" << -99999;
        QTest::newRow("empty") << "" << -99999;
        QTest::newRow("blank") << "  " << -99999;
        QTest::newRow("sign only") << "-" << -99999;
        QTest::newRow("letters") << "12a" << -99999;
        QTest::newRow("decimal") << "1.5" << -99999;
    }

    void recordNumbers()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        const auto n = toRecordNumber(text);
        if (value == -99999)
            QVERIFY(!n.has_value());
        else
            QCOMPARE(int(n.value()), value);
    }
};

QTEST_APPLESS_MAIN(TestRecord)
#include "tst_record.moc"
