// A user whose language needs another code page stores and reads back names
// in it; the setting pins one for a book shared across languages.
#include "support/TestEnv.h"

#include "platform/Codepage.h"

#include <QKeyEvent>
#include <QLocale>
#include <QTest>

using namespace pb;
using namespace pb::test;

class TestLanguage : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        codepage::setCurrent(1252);
        qunsetenv("LC_ALL");
    }

    void namesInTheUsersOwnLanguage_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("Russian") << "ru_RU" << QStringLiteral("\u0416\u0430\u043D\u043D\u0430")
                                 << QByteArray("\xC6\xE0\xED\xED\xE0");
        QTest::newRow("Polish") << "pl_PL" << QStringLiteral("\u0141\u00F3d\u017A") << QByteArray("\xA3\xF3\x64\x9F");
        QTest::newRow("Greek") << "el_GR" << QStringLiteral("\u03A9\u03BC\u03AD\u03B3\u03B1")
                               << QByteArray("\xD9\xEC\xDD\xE3\xE1");
    }

    void namesInTheUsersOwnLanguage()
    {
        QFETCH(QString, locale);
        QFETCH(QString, name);
        QFETCH(QByteArray, stored);
        TestEnv env;
        qputenv("LC_ALL", (locale + QStringLiteral(".UTF-8")).toLatin1());
        codepage::setCurrent(chooseCodePage(env.ctx().settings));
        Data* d = env.openData();
        QLineEdit* first = lineEdit(d, "txtFirst");
        first->setFocus();
        for (QChar c : name) {   // typed on a keyboard of that language
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(first, &press);
        }
        click(d, "cmdAdd");
        QCOMPARE(env.fileBytes(QStringLiteral("DravikBase.z8B")).left(stored.size()), stored);
        env.restart();
        d = env.openData();
        QCOMPARE(d->boxText(Field::FirstName), name + u' ');
    }

    void theSettingPinsTheCodePage()
    {
        TestEnv env;
        env.setSetting(QStringLiteral("CodePage"), QStringLiteral("1250"));
        qputenv("LC_ALL", "ru_RU.UTF-8");
        QCOMPARE(chooseCodePage(env.ctx().settings), 1250);
        env.setSetting(QStringLiteral("CodePage"), QStringLiteral("nonsense"));
        QCOMPARE(chooseCodePage(env.ctx().settings), 1251);
    }
};

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
