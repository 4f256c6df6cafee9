// The real message box: texts from the user or a file show as plain text.
#include "platform/MessageBoxes.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
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
};

QTEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
