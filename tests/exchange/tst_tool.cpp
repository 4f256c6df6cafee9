// The command-line tool on a book in a temporary folder.
#include "exchange/Exchange.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using namespace pb;
using namespace pb::test;

namespace {

struct Result {
    int status;
    QString out;
};

Result runTool(const QString& folder, const QStringList& args)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../z8p-phonebook-tool"), args);
    p.waitForFinished(30000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
}

} // namespace

class TestTool : public QObject
{
    Q_OBJECT
private slots:
    void checkFindsAHoleMadeByHand()
    {
        TestEnv env;
        QList<ContactRecord> book = {named("Ann"), named("Bob"), ContactRecord(), named("Di")};
        ContactRecord full;   // a first name of 20 characters from other software
        for (Field f : kAllFields)
            full.store(f, QString());
        full.store(Field::FirstName, QString(20, u'x'));
        book << full;
        env.writeBook(book);
        QFile f(env.phonebookPath());
        QVERIFY(f.open(QIODevice::Append));
        f.write("abc");   // a record cut short
        f.close();
        const Result r = runTool(QDir::currentPath(), {QStringLiteral("check")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.contains(QStringLiteral("The program counts 2 records.")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("Free slots inside the book: 3.")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("never shown: 4, 5.")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("record 5 FirstName")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("3 bytes")), qPrintable(r.out));

        env.writeBook({named("Ann"), named("Bob")});
        QCOMPARE(runTool(QDir::currentPath(), {QStringLiteral("check")}).status, 0);
    }

    void exportWritesTheRecordsTheProgramShows()
    {
        TestEnv env;
        env.writeBook({makeRecord({"Ann", "Lee", "555", "ann@x.org"}), named("Bob"), ContactRecord(), named("Hidden")});
        const QString csv = env.path(QStringLiteral("out.csv"));
        const Result r = runTool(QDir::currentPath(), {QStringLiteral("export"), csv});
        QCOMPARE(r.status, 0);
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<exchange::Contact> back = exchange::readCsv(f.readAll(), nullptr);
        QCOMPARE(back.size(), 2);
        QCOMPARE(back[0][Field::Email], QStringLiteral("ann@x.org"));
        QCOMPARE(runTool(QDir::currentPath(), {QStringLiteral("frobnicate")}).status, 2);
    }
};

QTEST_MAIN(TestTool)
#include "tst_tool.moc"
