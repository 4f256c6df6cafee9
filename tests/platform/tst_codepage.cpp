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
            QVERIFY(text.size() <= 255);   // 1258 joins a letter and its tone mark
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
        // Also for one that shows nothing, such as U+FEFF, and the report
        // names each.
        QString lost;
        QCOMPARE(codepage::encodeReporting(u"\uFEFFa\uFEFF\u200B", &lost), std::string("?a??"));
        QCOMPARE(lost, QStringLiteral("\uFEFF\u200B"));
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

    // The characters' category decides, as the C library's own: LC_ALL,
    // then LC_CTYPE, then LANG; never the language of messages.
    void theCharacterCategoryChoosesTheCodePage_data()
    {
        QTest::addColumn<QByteArray>("lcAll");
        QTest::addColumn<QByteArray>("lcCtype");
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<QByteArray>("lcMessages");
        QTest::addColumn<int>("page");
        QTest::newRow("LANG") << QByteArray() << QByteArray() << QByteArray("ru_RU.UTF-8") << QByteArray("en_US.UTF-8") << 1251;
        QTest::newRow("LC_CTYPE over LANG") << QByteArray() << QByteArray("pl_PL.UTF-8") << QByteArray("en_US.UTF-8")
                                            << QByteArray() << 1250;
        QTest::newRow("LC_ALL over both") << QByteArray("el_GR.UTF-8") << QByteArray("pl_PL.UTF-8")
                                          << QByteArray("ru_RU.UTF-8") << QByteArray() << 1253;
        QTest::newRow("Serbian Latin") << QByteArray() << QByteArray() << QByteArray("sr_RS.UTF-8@latin") << QByteArray() << 1250;
        QTest::newRow("Serbian") << QByteArray() << QByteArray() << QByteArray("sr_RS.UTF-8") << QByteArray() << 1251;
        QTest::newRow("Uzbek Cyrillic") << QByteArray() << QByteArray() << QByteArray("uz_UZ@cyrillic") << QByteArray() << 1251;
        QTest::newRow("Uzbek") << QByteArray() << QByteArray() << QByteArray("uz_UZ.UTF-8") << QByteArray() << 1254;
        QTest::newRow("C") << QByteArray() << QByteArray() << QByteArray("C.UTF-8") << QByteArray("ru_RU.UTF-8") << 1252;
        QTest::newRow("nothing") << QByteArray() << QByteArray() << QByteArray() << QByteArray("ru_RU.UTF-8") << 1252;
    }

    void theCharacterCategoryChoosesTheCodePage()
    {
        QFETCH(QByteArray, lcAll);
        QFETCH(QByteArray, lcCtype);
        QFETCH(QByteArray, lang);
        QFETCH(QByteArray, lcMessages);
        QFETCH(int, page);
        const auto set = [](const char* name, const QByteArray& v) { v.isEmpty() ? qunsetenv(name) : qputenv(name, v); };
        set("LC_ALL", lcAll);
        set("LC_CTYPE", lcCtype);
        set("LANG", lang);
        set("LC_MESSAGES", lcMessages);
        QCOMPARE(codepage::forSystem(), page);
        for (const char* v : {"LC_ALL", "LC_CTYPE", "LANG", "LC_MESSAGES"})
            qunsetenv(v);
    }

    // Windows-1258 keeps Vietnamese as a letter and a tone mark where it has
    // no letter of its own, and reads it back as the one letter.
    void vietnameseIsStoredAsWindowsStoresIt()
    {
        QVERIFY(codepage::setCurrent(1258));
        const QString name = QStringLiteral("Nguy\u1EC5n \u0110\u1EB7ng Th\u1ECB \u00C1nh");   // Nguyễn Đặng Thị Ánh
        const std::string bytes = codepage::encode(name);
        QCOMPARE(bytes, std::string("Nguy\xEA\xDEn \xD0\xE3\xF2ng Th\x69\xF2 \xC1nh"));
        QCOMPARE(codepage::decode(bytes), name);
        // Typed or pasted decomposed: nothing lost (a letter and a mark the
        // page holds as they stand stay so: "A" and the acute).
        const std::string fromDecomposed = codepage::encode(name.normalized(QString::NormalizationForm_D));
        QVERIFY(fromDecomposed.find('?') == std::string::npos);
        QCOMPARE(codepage::decode(fromDecomposed).normalized(QString::NormalizationForm_C), name);
        // A letter and a mark another program stored apart stay apart.
        QCOMPARE(codepage::encode(codepage::decode("e\xEC")), std::string("e\xEC"));
        QString lost;
        QCOMPARE(codepage::encodeReporting(u"\u4E2D\u1EC5", &lost), std::string("?\xEA\xDE"));
        QCOMPARE(lost, QStringLiteral("\u4E2D"));
    }

    void decomposedTextIsStoredComposed()
    {
        QCOMPARE(codepage::encode(u"cafe\u0301"), std::string("caf\xE9"));
        QVERIFY(codepage::setCurrent(1250));
        QCOMPARE(codepage::encode(QStringLiteral("\u0141o\u0301dz\u0301")), std::string("\xA3\xF3\x64\x9F"));
        QCOMPARE(codepage::encode(u"a\u0302"), std::string("\xE2"));   // â is in 1250
        QCOMPARE(codepage::encode(u"q\u0302"), std::string("q?"));      // no such letter, no such mark
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
