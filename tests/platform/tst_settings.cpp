#include "platform/SettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace pb;

class TestSettings : public QObject
{
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() { QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path()); }

    void absentKeysGiveTheDefault()
    {
        SettingsStore s;
        QCOMPARE(s.get("RiveVozuDezi", "Phonebook", "NoSuchKey", "75"), QStringLiteral("75"));
    }

    void valuesLiveInTheApplicationsIniFileUnderTheSection()
    {
        SettingsStore s;
        s.save("RiveVozuDezi", "Phonebook", "FormTop", "1234");
        s.save("RiveVozuDezi", "Phonebook", "FormBackPicture", "/home/u/p q.jpg");
        QCOMPARE(s.get("RiveVozuDezi", "Phonebook", "FormTop", "75"), QStringLiteral("1234"));
        QCOMPARE(s.get("RiveVozuDezi", "Phonebook", "FormBackPicture", "0"), QStringLiteral("/home/u/p q.jpg"));
        s.flush();

        QFile ini(dir_.filePath("RiveVozuDezi.ini"));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray text = ini.readAll();
        QVERIFY(text.contains("[Phonebook]"));
        QVERIFY(text.contains("FormTop=1234"));
    }

    void sectionsAreSeparateAndAFreshStoreReadsTheFile()
    {
        SettingsStore s;
        s.save("RiveVozuDezi", "Other", "FormTop", "1");
        QCOMPARE(s.get("RiveVozuDezi", "Phonebook", "FormTop", "75"), QStringLiteral("1234"));
    }

    // A FIFO in the file's place would block the first read for ever.
    void aStoreThatIsNoFileGivesTheDefaultsAndKeepsNothing()
    {
        QTemporaryDir other;
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, other.path());
        const QByteArray fifo = QFile::encodeName(other.filePath("RiveVozuDezi.ini"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        {
            SettingsStore s;
            QCOMPARE(s.get("RiveVozuDezi", "Phonebook", "FormTop", "75"), QStringLiteral("75"));
            s.save("RiveVozuDezi", "Phonebook", "FormTop", "1");
            s.flush();
        }
        QVERIFY(QFileInfo(other.filePath("RiveVozuDezi.ini")).exists());
        QVERIFY(!QFileInfo(other.filePath("RiveVozuDezi.ini")).isFile());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
    }
};

QTEST_APPLESS_MAIN(TestSettings)
#include "tst_settings.moc"
