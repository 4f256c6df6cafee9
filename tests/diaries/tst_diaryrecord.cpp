#include "diaries/DateStamp.h"
#include "diaries/DiaryRecord.h"
#include "records/FileIo.h"
#include "platform/Codepage.h"
#include "support/Records.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace pb;
using namespace pb::test;

namespace {

DiaryRecord entry(const QString& date, const QString& text)
{
    DiaryRecord r;
    r.store(DiaryField::Date, date);
    r.store(DiaryField::Text, text);
    return r;
}

QDateTime at(int y, int m, int d, int h, int min)
{
    return QDateTime(QDate(y, m, d), QTime(h, min));
}

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

} // namespace

class TestDiaryRecord : public QObject
{
    Q_OBJECT
    QTemporaryDir dir_;
    QString path_;

private slots:
    void init()
    {
        QDir::setCurrent(dir_.path());
        path_ = dir_.filePath(QString::fromLatin1(kDiariesFileName));
        QFile::remove(path_);
    }

    void fieldsAreCutOrSpacePaddedAndShownWithTheirPadding()
    {
        DiaryRecord r;
        QCOMPARE(r.shownText(DiaryField::Date), QString());   // never written
        QCOMPARE(r.shownText(DiaryField::Text), QString());

        r = entry(QStringLiteral("my day"), QStringLiteral("Line one\r\nLine  two"));
        const QByteArray b = bytesOf(r);
        QCOMPARE(b.size(), 1000);
        QCOMPARE(b.left(40), QByteArray("my day").leftJustified(40, ' '));
        QCOMPARE(b.mid(40), QByteArray("Line one\r\nLine  two").leftJustified(960, ' '));
        // No cutting at a run of two spaces, unlike the contact fields.
        QCOMPARE(r.shownText(DiaryField::Date), QStringLiteral("my day").leftJustified(40));
        QCOMPARE(r.shownText(DiaryField::Text), QStringLiteral("Line one\r\nLine  two").leftJustified(960));

        r.store(DiaryField::Date, QString(45, u'd'));
        r.store(DiaryField::Text, QString(959, u't') + QStringLiteral("xyz"));
        QCOMPARE(bytesOf(r), QByteArray(40, 'd') + QByteArray(959, 't') + 'x');
        r.store(DiaryField::Date, QString());
        QCOMPARE(r.shownText(DiaryField::Date), QString(40, u' '));

        // Written by other software: a NUL ends what is shown.
        std::memcpy(r.bytes.data() + 40, "ab\0cd", 5);
        QCOMPARE(r.shownText(DiaryField::Text), QStringLiteral("ab"));
    }

    void textIsKeptInTheWindowsCodePage()
    {
        DiaryRecord r = entry(QStringLiteral("Déjà €"), QStringLiteral("Łódź ☺ 😀"));
        QCOMPARE(bytesOf(r).left(6), QByteArray("D\xE9j\xE0 \x80"));
        QCOMPARE(bytesOf(r).mid(40, 10), QByteArray("?\xF3""d? ? ?  "));   // one '?' per character it lacks
        QCOMPARE(r.shownText(DiaryField::Date).left(6), QStringLiteral("Déjà €"));

        // Whether the box's text is what the entry keeps, padding aside.
        QVERIFY(r.showsWhole(DiaryField::Date, QStringLiteral("Déjà €")));
        QVERIFY(r.showsWhole(DiaryField::Date, QStringLiteral("Déjà €   ")));
        QVERIFY(!r.showsWhole(DiaryField::Text, QStringLiteral("Łódź ☺ 😀")));
        r.store(DiaryField::Text, QString(960, u'a') + QStringLiteral("     "));
        QVERIFY(r.showsWhole(DiaryField::Text, QString(960, u'a') + QStringLiteral("     ")));
        r.store(DiaryField::Text, QString(960, u'a') + QStringLiteral("b"));
        QVERIFY(!r.showsWhole(DiaryField::Text, QString(960, u'a') + QStringLiteral("b")));
    }

    void aMissingFileIsCreatedEmptyAndReadsAsEmptyEntries()
    {
        DiaryFile f;
        QVERIFY(f.open(QString::fromLatin1(kDiariesFileName)));   // in the current folder
        QVERIFY(QFile::exists(path_));
        QCOMPARE(QFileInfo(path_).size(), 0);
        DiaryRecord r = entry(QStringLiteral("x"), QStringLiteral("y"));
        QVERIFY(f.read(1, r));
        QCOMPARE(r, DiaryRecord{});
        QVERIFY(f.read(32767, r));
        QCOMPARE(QFileInfo(path_).size(), 0);
    }

    void badNumbersAndAClosedFileFailWithoutTouchingTheEntry()
    {
        DiaryFile f;
        const DiaryRecord kept = entry(QStringLiteral("keep"), QStringLiteral("me"));
        DiaryRecord r = kept;
        QVERIFY(!f.read(1, r));
        QVERIFY(!f.write(1, r));
        QVERIFY(!f.errorString().isEmpty());
        QVERIFY(f.open(path_));
        for (int n : {0, -1, 32768}) {
            QVERIFY(!f.read(n, r));
            QVERIFY(!f.write(n, r));
        }
        QCOMPARE(r, kept);
        QCOMPARE(QFileInfo(path_).size(), 0);
        f.close();
        QVERIFY(!f.read(1, r));
    }

    void entriesGoToTheirPlaceAndSkippedOnesAreZeroBytes()
    {
        DiaryFile f;
        QVERIFY(f.open(path_));
        const DiaryRecord one = entry(QStringLiteral("1"), QStringLiteral("first"));
        const DiaryRecord two = entry(QStringLiteral("2"), QStringLiteral("second"));
        const DiaryRecord six = entry(QStringLiteral("6"), QStringLiteral("sixth"));
        QVERIFY(f.write(1, one));
        QVERIFY(f.write(2, two));
        QVERIFY(f.write(6, six));
        QCOMPARE(readAll(path_), bytesOf(one) + bytesOf(two) + QByteArray(3000, '\0') + bytesOf(six));

        DiaryRecord r;
        QVERIFY(f.read(4, r));
        QCOMPARE(r, DiaryRecord{});
        QVERIFY(f.read(6, r));
        QCOMPARE(r, six);
        QVERIFY(f.write(1, two));   // overwriting changes that entry only
        QVERIFY(f.read(1, r));
        QCOMPARE(r, two);
        QCOMPARE(QFileInfo(path_).size(), 6000);

        // A short last entry (left by other software) is completed with zero bytes.
        QFile raw(path_);
        QVERIFY(raw.open(QIODevice::Append));
        raw.write("bc");
        raw.close();
        QVERIFY(f.read(7, r));
        QCOMPARE(r.shownText(DiaryField::Date), QStringLiteral("bc"));
    }

    void aWriteThatFailsLeavesNoPieceOfAnEntry()
    {
        DiaryFile f;
        QVERIFY(f.open(path_));
        const DiaryRecord one = entry(QStringLiteral("1"), QStringLiteral("first"));
        QVERIFY(f.write(1, one));
        {
            test::FileSizeLimit limit(1500);   // room for half of entry 2
            QVERIFY(!f.write(2, one));
            QVERIFY(!f.errorString().isEmpty());
            QVERIFY(!f.write(4, one));
        }
        QCOMPARE(readAll(path_), bytesOf(one));
        QVERIFY(f.write(2, one));
    }

    // Two windows on one book: a save over diaries the other changed since
    // they were read writes nothing and says so; the next save goes
    // through. Without the lock nothing is saved.
    void twoWritersNeverOverwriteEachOtherUnseen()
    {
        DiaryFile a, b;
        QString notice;
        QVERIFY(a.openDiaries(path_, &notice) && b.openDiaries(path_, &notice));
        const DiaryRecord fromB = entry(QStringLiteral("b"), QStringLiteral("saved by the other window"));
        const DiaryRecord fromA = entry(QStringLiteral("a"), QStringLiteral("saved here"));
        QVERIFY(b.write(1, fromB));
        QVERIFY(!a.write(1, fromA));
        QVERIFY2(a.errorString().contains(QStringLiteral("changed by another program")), qPrintable(a.errorString()));
        QCOMPARE(readAll(path_), bytesOf(fromB));
        QVERIFY(a.write(2, fromA));   // seen now

        io::FileLock held(path_ + QStringLiteral("-lock"));
        QString why;
        QCOMPARE(held.lock(0, &why), io::FileLock::Result::Locked);
        const QByteArray before = readAll(path_);
        QElapsedTimer waited;
        waited.start();
        QVERIFY(!b.write(3, fromB));
        QVERIFY(waited.elapsed() >= 5000);   // waited for the other save first
        QCOMPARE(readAll(path_), before);
    }

    void theStampIsTimeThenDateWithTheLocalesNames()
    {
        QCOMPARE(dateStamp(at(2026, 12, 7, 15, 7), kEnglish), QStringLiteral("3:07 PM  Monday, December 07, 2026"));
        QCOMPARE(dateStamp(at(2026, 12, 7, 15, 7), kEnglish).size(), 34);
        QCOMPARE(dateStamp(at(2026, 1, 1, 0, 0), kEnglish), QStringLiteral("12:00 AM  Thursday, January 01, 2026"));
        QCOMPARE(dateStamp(at(2026, 1, 1, 11, 59), kEnglish).left(9), QStringLiteral("11:59 AM "));
        QCOMPARE(dateStamp(at(2026, 1, 1, 12, 0), kEnglish).left(9), QStringLiteral("12:00 PM "));

        // The longest English stamp still fits the date field.
        const QString longest = dateStamp(at(2027, 9, 29, 12, 30), kEnglish);
        QCOMPARE(longest, QStringLiteral("12:30 PM  Wednesday, September 29, 2027"));
        QCOMPARE(longest.size(), 39);

        const QString german = dateStamp(at(2026, 12, 7, 9, 5), QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(german, QStringLiteral("9:05 AM  Montag, Dezember 07, 2026"));
    }

    void aStampWithLongerNamesIsCutToTheField()
    {
        const QString portuguese =
            dateStamp(at(2026, 9, 30, 12, 0), QLocale(QLocale::Portuguese, QLocale::Brazil));
        QCOMPARE(portuguese, QStringLiteral("12:00 PM  quarta-feira, setembro 30, 2026"));
        DiaryRecord r;
        r.store(DiaryField::Date, portuguese);
        QCOMPARE(r.shownText(DiaryField::Date), portuguese.left(40));
    }

    // A Russian stamp is kept in the Cyrillic code page and reads back whole.
    void aStampInTheUsersLanguageSurvivesTheFile()
    {
        const QLocale russian(QLocale::Russian, QLocale::Russia);
        codepage::setCurrent(codepage::forLocale(russian));
        const QString stamp = dateStamp(at(2026, 12, 8, 10, 0), russian);
        DiaryRecord r;
        r.store(DiaryField::Date, stamp);
        codepage::setCurrent(1252);
        QVERIFY(!stamp.contains(u'?'));
        codepage::setCurrent(1251);
        QCOMPARE(r.shownText(DiaryField::Date), stamp.left(40).leftJustified(40));
        codepage::setCurrent(1252);
    }

    // Names the book's code page cannot hold come from a language it can:
    // the page's own (the user's characters), else English.
    void aStampNeverHoldsNamesTheBookCannotStore()
    {
        qputenv("LC_ALL", "en_US.UTF-8");
        codepage::setCurrent(1252);
        const QLocale japanese(QLocale::Japanese, QLocale::Japan);
        QCOMPARE(stampLocale(japanese).language(), QLocale::English);
        QCOMPARE(dateStamp(at(2026, 12, 8, 10, 0), stampLocale(japanese)), QStringLiteral("10:00 AM  Tuesday, December 08, 2026"));
        const QLocale russian(QLocale::Russian, QLocale::Russia);
        QCOMPARE(stampLocale(russian).language(), QLocale::English);
        const QLocale german(QLocale::German, QLocale::Germany);
        QCOMPARE(stampLocale(german), german);   // "März" fits 1252

        qputenv("LC_ALL", "ru_RU.UTF-8");
        codepage::setCurrent(1251);
        QCOMPARE(stampLocale(japanese).language(), QLocale::Russian);
        QCOMPARE(stampLocale(russian), russian);
        QCOMPARE(stampLocale(german).language(), QLocale::Russian);   // "ä" is not in 1251
        for (const QLocale& l : {japanese, russian, german})
            QVERIFY(!(codepage::encode(dateStamp(at(2026, 3, 8, 10, 0), stampLocale(l))).find('?') != std::string::npos));
        codepage::setCurrent(1252);
        qunsetenv("LC_ALL");
    }
};

QTEST_GUILESS_MAIN(TestDiaryRecord)
#include "tst_diaryrecord.moc"
