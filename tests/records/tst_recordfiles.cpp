#include "print/PrintLayout.h"
#include "records/Phonebook.h"
#include "support/Records.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace pb;
using namespace pb::test;

namespace {
} // namespace

class TestRecordFiles : public QObject
{
    Q_OBJECT
    QTemporaryDir dir_;
    QString book_;

private slots:
    void init()
    {
        QDir::setCurrent(dir_.path());
        QFile::remove(QString::fromLatin1(kPhonebookFileName));
        QFile::remove(QString::fromLatin1(kClipboardFileName));
        book_ = dir_.filePath(QString::fromLatin1(kPhonebookFileName));
    }

    void missingFilesAreCreatedEmptyAndReadAsFreeSlots()
    {
        Phonebook pb;
        QVERIFY(pb.openPhonebookFile());
        QVERIFY(pb.openClipboardFile());
        QVERIFY(QFile::exists(book_));
        QCOMPARE(QFileInfo(book_).size(), 0);
        pb.RecordBuffer = named("x");
        QVERIFY(pb.ReadRecord(1));
        QVERIFY(pb.RecordBuffer.isFree());
        QCOMPARE(pb.RecordBuffer, ContactRecord{});
        pb.RecordBuffer = named("x");
        QVERIFY(pb.ReadClipboardRecord());
        QCOMPARE(pb.RecordBuffer, ContactRecord{});
        QCOMPARE(pb.scanToFreeSlot(1).end, 1);
    }

    void badNumbersAndClosedFilesFailWithoutTouchingTheBuffer()
    {
        Phonebook pb;
        pb.RecordBuffer = named("Keep");
        QVERIFY(!pb.ReadRecord(1));   // not open yet
        QVERIFY(!pb.WriteRecord(1));
        QVERIFY(!pb.ReadClipboardRecord());
        QVERIFY(pb.openPhonebookFile());
        QVERIFY(!pb.ReadRecord(0));
        QVERIFY(!pb.ReadRecord(-1));
        QVERIFY(!pb.ReadRecord(32768));
        QVERIFY(!pb.WriteRecord(0));
        QCOMPARE(FieldText(pb.RecordBuffer, Field::FirstName), QStringLiteral("Keep "));
        QCOMPARE(QFileInfo(book_).size(), 0);
    }

    void writingPastTheEndGrowsWithZeroFilledRecords()
    {
        Phonebook pb;
        QVERIFY(pb.openPhonebookFile());
        for (int n = 1; n <= 3; ++n) {
            pb.RecordBuffer = named(QString::number(n));
            QVERIFY(pb.WriteRecord(n));
        }
        pb.RecordBuffer = named("Five");
        QVERIFY(pb.WriteRecord(5));
        const QByteArray bytes = readAll(book_);
        QCOMPARE(bytes.size(), 5 * 440);
        QCOMPARE(bytes.mid(3 * 440, 440), QByteArray(440, '\0'));
        QCOMPARE(bytes.mid(4 * 440, 24), QByteArray("Five                \0\0\0\0", 24).replace('\0', ' '));
        QVERIFY(pb.ReadRecord(4));
        QVERIFY(pb.RecordBuffer.isFree());
        QCOMPARE(pb.scanToFreeSlot(1).end, 4);
        QCOMPARE(pb.scanToFreeSlot(5).end, 6);
        // Overwriting keeps the length.
        pb.RecordBuffer = named("Two");
        QVERIFY(pb.WriteRecord(2));
        QCOMPARE(readAll(book_).size(), 5 * 440);
        QCOMPARE(readAll(book_).mid(440, 4), QByteArray("Two "));
    }

    void aShortLastRecordIsCompletedWithZeros()
    {
        QFile f(book_);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const ContactRecord one = named("One");
        f.write(one.bytes.data(), 440);
        f.write("Half", 4);   // 444 bytes: not a whole number of records
        f.close();
        Phonebook pb;
        QVERIFY(pb.openPhonebookFile());
        QVERIFY(pb.ReadRecord(2));
        QCOMPARE(std::string(pb.RecordBuffer.raw(Field::FirstName)), std::string("Half") + std::string(16, '\0'));
        QCOMPARE(pb.RecordBuffer.storedText(Field::FirstName), QStringLiteral("Half"));
        QCOMPARE(pb.scanToFreeSlot(1).end, 3);
        pb.RecordBuffer = named("Two");
        QVERIFY(pb.WriteRecord(2));
        QCOMPARE(readAll(book_).size(), 880);
    }

    void theClipboardUsesItsFirstRecordOnly()
    {
        Phonebook pb;
        QVERIFY(pb.openClipboardFile());
        pb.RecordBuffer = named("A");
        QVERIFY(pb.WriteClipboardRecord());
        pb.RecordBuffer = named("B");
        QVERIFY(pb.WriteClipboardRecord());
        pb.RecordBuffer = ContactRecord{};
        QVERIFY(pb.ReadClipboardRecord());
        QCOMPARE(pb.RecordBuffer, named("B"));
        QCOMPARE(readAll(dir_.filePath(QString::fromLatin1(kClipboardFileName))).size(), 440);
    }

    void aScanStopsAtTheLastRecordNumber()
    {
        Phonebook pb;
        QVERIFY(pb.openPhonebookFile());
        pb.RecordBuffer = named("Last");
        QVERIFY(pb.WriteRecord(32767));
        QVERIFY(!pb.WriteRecord(32768));
        const Phonebook::Scan s = pb.scanToFreeSlot(32767);
        QCOMPARE(s.end, 32768);
        QVERIFY(!s.complete);
    }

    void aFullDiskFailsTheWriteWithTheSystemsReason()
    {
        Phonebook pb;
        QVERIFY(pb.openPhonebookFile());
        pb.RecordBuffer = named("Fits");
        QVERIFY(pb.WriteRecord(1));
        {
            const test::FileSizeLimit full(440);
            pb.RecordBuffer = named("Lost");
            QVERIFY(!pb.WriteRecord(2));
            QVERIFY(!pb.phonebookError().isEmpty());
        }
        QCOMPARE(readAll(book_).size(), 440);
    }

    void aBookThatCannotBeOpenedFailsEveryAccess()
    {
        QVERIFY(QDir().mkdir(QString::fromLatin1(kPhonebookFileName)));
        Phonebook pb;
        QVERIFY(!pb.openPhonebookFile());
        QVERIFY(!pb.ReadRecord(1));
        QVERIFY(!pb.WriteRecord(1));
        QCOMPARE(pb.scanToFreeSlot(1).end, 1);
        QDir().rmdir(QString::fromLatin1(kPhonebookFileName));
    }

    // Names planted beside a book that is open (a link at the journal's,
    // the clipboard's or the print file's name, a pipe at the print file's)
    // are never written through or waited on; every file the program makes
    // is readable by the user alone, whatever the umask.
    void plantedNamesAreNeverFollowedAndFilesArePrivate()
    {
        const mode_t umaskBefore = ::umask(022);
        const QString victim = dir_.filePath(QStringLiteral("victim"));
        {
            QFile v(victim);
            QVERIFY(v.open(QIODevice::WriteOnly) && v.write("precious") == 8);
        }
        {
            Phonebook pb;
            QVERIFY(pb.openPhonebookFile());
            pb.RecordBuffer = named("Ann");
            {
                Phonebook::Change change(pb, 1, 1);
                QVERIFY(change.ok() && pb.WriteRecord(1) && change.commit());
            }
            QVERIFY(QFile::link(victim, QString::fromLatin1(kPhonebookFileName) + QStringLiteral("-journal")));
            {
                Phonebook::Change change(pb, 2, 2);
                QVERIFY(!change.ok());
            }
            QVERIFY2(pb.phonebookError().contains(QStringLiteral("link")), qPrintable(pb.phonebookError()));
            QCOMPARE(readAll(victim), QByteArray("precious"));
            QCOMPARE(readAll(book_).size(), 440);
            QFile::remove(QString::fromLatin1(kPhonebookFileName) + QStringLiteral("-journal"));

            QVERIFY(QFile::link(victim, QString::fromLatin1(kClipboardFileName)));
            QVERIFY(!pb.openClipboardFile());
            QVERIFY(!pb.WriteClipboardRecord());
            QCOMPARE(readAll(victim), QByteArray("precious"));
            QFile::remove(QString::fromLatin1(kClipboardFileName));
            QVERIFY(pb.openClipboardFile());

            QString error;
            QVERIFY(QFile::link(victim, QString::fromLatin1(kPrintFileName)));
            QVERIFY2(WritePrintFile(pb, 1, &error), qPrintable(error));
            QCOMPARE(readAll(victim), QByteArray("precious"));
            QVERIFY(!QFileInfo(QString::fromLatin1(kPrintFileName)).isSymLink());
            QFile::remove(QString::fromLatin1(kPrintFileName));
            QCOMPARE(::mkfifo(QFile::encodeName(QString::fromLatin1(kPrintFileName)).constData(), 0600), 0);
            QVERIFY2(WritePrintFile(pb, 1, &error), qPrintable(error));   // would block on the pipe
            QVERIFY(QFileInfo(QString::fromLatin1(kPrintFileName)).isFile());
        }
        for (const char* name : {kPhonebookFileName, kClipboardFileName, kPrintFileName}) {
            struct stat st;
            QCOMPARE(::stat(name, &st), 0);
            QVERIFY2((st.st_mode & 0777) == 0600, name);
        }
        QFile::remove(QString::fromLatin1(kPrintFileName));
        ::umask(umaskBefore);
    }
};

QTEST_APPLESS_MAIN(TestRecordFiles)
#include "tst_recordfiles.moc"
