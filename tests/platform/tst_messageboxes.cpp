// The real message box: texts from the user or a file show as plain text.
#include "platform/MessageBoxes.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

using namespace pb;

class TestMessageBoxes : public QObject
{
    Q_OBJECT
private slots:
    void markupIsShownAsTyped()
    {
        QString seenText;
        Qt::TextFormat seenFormat = Qt::AutoText;
        QString seenTitle;
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seenText = box->text();
            seenFormat = box->textFormat();
            seenTitle = box->windowTitle();
            box->button(QMessageBox::Ok)->click();
        });
        poll->start(10);
        DesktopMessageBoxes boxes;
        const QString query = QStringLiteral("a<br>b <img src=\"/etc/hostname\">");
        const MsgAnswer a = boxes.show(nullptr, query, QString(), MsgButtons::Ok, MsgIcon::Information);
        poll->stop();
        QCOMPARE(a, MsgAnswer::Ok);
        QCOMPARE(seenText, query);
        QCOMPARE(seenFormat, Qt::PlainText);
        QCOMPARE(seenTitle, QStringLiteral("z8P Phonebook"));
    }

    // A report of thousands of lines (a book full of holes) opens in a box
    // that fits the screen; the whole of it is in the details.
    void aLongReportFitsTheScreen()
    {
        QStringList lines;
        for (int i = 1; i <= 3000; ++i)
            lines << QStringLiteral("Free slot %1").arg(i);
        const QString text = lines.join(u'\n');
        int height = 0, screen = 0;
        QString details;
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            height = box->sizeHint().height();
            screen = box->screen()->availableGeometry().height();
            details = box->detailedText();
            box->button(QMessageBox::Yes)->click();
        });
        poll->start(10);
        DesktopMessageBoxes boxes;
        const MsgAnswer a = boxes.show(nullptr, text, QString(), MsgButtons::YesNo, MsgIcon::Question);
        poll->stop();
        QCOMPARE(a, MsgAnswer::Yes);
        QVERIFY2(height > 0 && height < screen, qPrintable(QStringLiteral("%1 of %2").arg(height).arg(screen)));
        QCOMPARE(details, text);
        // A short text is left as it is.
        QCOMPARE(MessageBoxes::fitOnScreen(QStringLiteral("a\nb"), QString()), std::make_pair(QStringLiteral("a\nb"), QString()));
    }
};

QTEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
