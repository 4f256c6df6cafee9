#include "platform/Codepage.h"

#include <QTest>

using namespace pb;

class TestCodepage : public QObject
{
    Q_OBJECT
private slots:
    void referenceBytes()
    {
        QCOMPARE(codepage::encode(u"\u20AC\u00E9\u017E"), std::string("\x80\xE9\x9E"));
        QCOMPARE(codepage::decode("\x80\xE9\x9E"), QStringLiteral("\u20AC\u00E9\u017E"));
    }

    void everyByteSurvivesARoundTrip()
    {
        std::string all;
        for (int b = 1; b < 256; ++b)
            all.push_back(static_cast<char>(b));
        QCOMPARE(codepage::encode(codepage::decode(all)), all);
    }

    void charactersOutsideTheCodePageBecomeQuestionMarks()
    {
        // One '?' per character, also for one outside the 16-bit range.
        QCOMPARE(codepage::encode(u"a\u4E2Db\U0001F600c"), std::string("a?b?c"));
        QCOMPARE(codepage::encode(u"\u0100"), std::string("?"));
    }
};

QTEST_APPLESS_MAIN(TestCodepage)
#include "tst_codepage.moc"
