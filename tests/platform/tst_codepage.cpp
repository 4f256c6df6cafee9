#include "platform/Codepage.h"

#include <QLocale>
#include <QTest>

using namespace pb;

class TestCodepage : public QObject
{
    Q_OBJECT
private slots:
    void init() { codepage::setCurrent(1252); }
    void cleanupTestCase() { codepage::setCurrent(1252); }

    void referenceBytes()
    {
        QCOMPARE(codepage::encode(u"\u20AC\u00E9\u017E"), std::string("\x80\xE9\x9E"));
        QCOMPARE(codepage::decode("\x80\xE9\x9E"), QStringLiteral("\u20AC\u00E9\u017E"));
    }

    void otherCodePagesHoldTheirLanguages()
    {
        QVERIFY(codepage::setCurrent(1250));
        QCOMPARE(codepage::encode(u"\u0141\u00F3d\u017A"), std::string("\xA3\xF3\x64\x9F"));   // Łódź
        QCOMPARE(codepage::decode("\xA3\xF3\x64\x9F"), QStringLiteral("\u0141\u00F3d\u017A"));
        QVERIFY(codepage::setCurrent(1251));
        QCOMPARE(codepage::encode(u"\u0416"), std::string("\xC6"));   // Ж
        QVERIFY(codepage::setCurrent(1253));
        QCOMPARE(codepage::encode(u"\u03A9"), std::string("\xD9"));   // Ω
        QVERIFY(codepage::setCurrent(1254));
        QCOMPARE(codepage::encode(u"\u015F"), std::string("\xFE"));   // ş
        // A Cyrillic name is not storable under the Western page.
        QVERIFY(codepage::setCurrent(1252));
        QCOMPARE(codepage::encode(u"\u0416a"), std::string("?a"));
        QVERIFY(!codepage::setCurrent(65001));
        QCOMPARE(codepage::current(), 1252);
    }

    void everyByteSurvivesARoundTripInEveryCodePage()
    {
        std::string all;
        for (int b = 1; b < 256; ++b)
            all.push_back(static_cast<char>(b));
        for (int cp : codepage::supported()) {
            QVERIFY(codepage::setCurrent(cp));
            const QString text = codepage::decode(all);
            QCOMPARE(text.size(), qsizetype(255));
            QVERIFY2(codepage::encode(text) == all, qPrintable(QString::number(cp)));
        }
    }

    void undefinedBytesAreKnown()
    {
        QVERIFY(!codepage::defines(0x81));
        QVERIFY(codepage::defines(0x80));
        codepage::setCurrent(1253);
        QVERIFY(!codepage::defines(0xAA));
        QVERIFY(codepage::defines(0xD9));
    }

    void charactersOutsideTheCodePageBecomeQuestionMarks()
    {
        // One '?' per character, also for one outside the 16-bit range.
        QCOMPARE(codepage::encode(u"a\u4E2Db\U0001F600c"), std::string("a?b?c"));
        QCOMPARE(codepage::encode(u"\u0100"), std::string("?"));
    }

    void theLanguageChoosesTheCodePage()
    {
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("pl_PL"))), 1250);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("cs_CZ"))), 1250);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("ru_RU"))), 1251);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("uk_UA"))), 1251);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("el_GR"))), 1253);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("tr_TR"))), 1254);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("he_IL"))), 1255);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("ar_EG"))), 1256);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("lt_LT"))), 1257);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("vi_VN"))), 1258);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("th_TH"))), 874);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("sr_Latn_RS"))), 1250);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("sr_Cyrl_RS"))), 1251);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("de_DE"))), 1252);
        QCOMPARE(codepage::forLocale(QLocale::c()), 1252);
        QCOMPARE(codepage::forLocale(QLocale(QStringLiteral("ja_JP"))), 1252);
    }

    void settingValues()
    {
        QCOMPARE(codepage::parse(QStringLiteral("1251")), std::optional<int>(1251));
        QCOMPARE(codepage::parse(QStringLiteral(" windows-1250 ")), std::optional<int>(1250));
        QCOMPARE(codepage::parse(QStringLiteral("CP1257")), std::optional<int>(1257));
        QCOMPARE(codepage::parse(QStringLiteral("65001")), std::nullopt);
        QCOMPARE(codepage::parse(QStringLiteral("")), std::nullopt);
        QCOMPARE(codepage::parse(QStringLiteral("utf-8")), std::nullopt);
    }
};

QTEST_APPLESS_MAIN(TestCodepage)
#include "tst_codepage.moc"
