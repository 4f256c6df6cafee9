// Whole files into large buffers: every byte as QFile::readAll() gives it,
// from the start or from where the file stands, and nothing at all from a
// file that cannot be read.
#include "platform/BigBuffer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pb;

class TestBigBuffer : public QObject
{
    Q_OBJECT
private slots:
    void readsWhatReadAllReads_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<qint64>("from");
        QTest::newRow("empty") << qsizetype(0) << qint64(0);
        QTest::newRow("one byte") << qsizetype(1) << qint64(0);
        QTest::newRow("5 MiB and a bit") << qsizetype((5 << 20) + 7) << qint64(0);
        QTest::newRow("after the first 100 bytes") << qsizetype(300000) << qint64(100);
    }

    void readsWhatReadAllReads()
    {
        QFETCH(qsizetype, size);
        QFETCH(qint64, from);
        QTemporaryDir dir;
        QByteArray bytes(size, Qt::Uninitialized);
        for (qsizetype i = 0; i < size; ++i)
            bytes[i] = static_cast<char>((i * 7919) >> 3);
        QFile f(dir.filePath(QStringLiteral("f")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == size);
        f.close();
        QVERIFY(f.open(QIODevice::ReadOnly) && f.seek(from));
        const QByteArray got = memory::readAll(f);
        QCOMPARE(f.error(), QFileDevice::NoError);
        QCOMPARE(got.size(), size - from);
        QVERIFY(got == bytes.mid(from));
    }

    void aFileThatIsNotOpenGivesNothing()
    {
        QFile f(QStringLiteral("/nonexistent/file"));
        QVERIFY(!f.open(QIODevice::ReadOnly));
        QVERIFY(memory::readAll(f).isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestBigBuffer)
#include "tst_bigbuffer.moc"
