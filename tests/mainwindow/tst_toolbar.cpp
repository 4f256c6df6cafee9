// The main toolbar: its buttons, the dispatch of a click by the button's key,
// the Customize dialog, and the File menu that offers the same commands.
#include "mainwindow/ToolbarCustomizer.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using namespace pb;
using namespace pb::test;

namespace {

const QString kBook = QStringLiteral("DravikBase.z8B");

QToolBar* toolbar(Data* d)
{
    return d->findChild<QToolBar*>(QStringLiteral("Toolbar1"));
}

// The keys of the buttons on the toolbar, left to right, separators left out.
QStringList buttonKeys(Data* d)
{
    QStringList keys;
    for (QAction* a : toolbar(d)->actions())
        if (!a->isSeparator())
            keys << a->data().toString();
    return keys;
}

void goToSecond(Data* d)
{
    click(d, "cmdBegining");
    click(d, "cmdNext");
}

int rowOf(QListWidget* list, const QString& key)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->data(Qt::UserRole).toString() == key)
            return i;
    return -1;
}

} // namespace

class TestToolbar : public QObject
{
    Q_OBJECT
private slots:
    void newRecordShowsTheEmptySlotAfterTheBook()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C", "D", "E"});
        Data* d = env.openData();
        goToSecond(d);
        clickToolbar(d, "NewRecord");
        QCOMPARE(recordBox(d), QStringLiteral("6"));
        QCOMPARE(title(d), QStringLiteral("PhoneBook Record: 6 of 5"));
        QCOMPARE(shownBoxes(d), QStringList(kFieldCount, QString()));
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B", "C", "D", "E"}));
    }

    void saveRecordApplies()
    {
        TestEnv env;
        env.writeBookNames({"A", "B"});
        Data* d = env.openData();
        clickToolbar(d, "NewRecord");
        typeInto(d, "txtLast", QStringLiteral("Nameless"));
        clickToolbar(d, "SaveRecord");
        QCOMPARE(env.messages(), QStringList{"To add a record you need to provide a first name"});
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B"}));

        typeInto(d, "txtFirst", QStringLiteral("C"));
        typeInto(d, "txtLast", QString());
        clickToolbar(d, "SaveRecord");
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B", "C"}));
        QCOMPARE(countLabel(d), QStringLiteral("3"));
        QCOMPARE(env.boxes().shown.size(), 1);
    }

    // Keys are matched exactly; anything else is ignored.
    void aKeyThatMatchesNoButtonDoesNothing_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("wrong case") << "newrecord";
        QTest::newRow("trailing space") << "NewRecord ";
        QTest::newRow("tooltip text") << "New Record";
        QTest::newRow("unknown") << "DeleteRecord";
        QTest::newRow("empty") << "";
    }

    void aKeyThatMatchesNoButtonDoesNothing()
    {
        QFETCH(QString, key);
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        goToSecond(d);
        const QStringList shown = shownBoxes(d);
        const auto windowsBefore = QApplication::topLevelWidgets().size();
        d->Toolbar1_ButtonClick(key);
        QCOMPARE(recordBox(d), QStringLiteral("2"));
        QCOMPARE(shownBoxes(d), shown);
        QCOMPARE(env.fileBytes(kBook), bytesOfNames({"A", "B", "C"}));
        QVERIFY(env.boxes().shown.isEmpty());
        QCOMPARE(QApplication::topLevelWidgets().size(), windowsBefore);
        QVERIFY(!d->findChild<ToolbarCustomizer*>());
    }

    // A toolbar command that fails ends without a message.
    void aFailedCopyIsSilent()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        {
            FileSizeLimit full(0);
            clickToolbar(d, "CopyRecord");
        }
        QVERIFY(env.boxes().shown.isEmpty());
        QCOMPARE(env.fileBytes(QStringLiteral("PhoneClip.z8B")), QByteArray());
    }

    void customizeRearrangesTheButtonsForTheRun()
    {
        TestEnv env;
        env.writeBookNames({"A", "B", "C"});
        Data* d = env.openData();
        clickToolbar(d, "Customize");
        QPointer<ToolbarCustomizer> dlg = d->findChild<ToolbarCustomizer*>();
        QVERIFY(dlg);
        QVERIFY(dlg->isVisible());
        auto* current = dlg->findChild<QListWidget*>(QStringLiteral("lstCurrent"));
        auto* available = dlg->findChild<QListWidget*>(QStringLiteral("lstAvailable"));

        // Remove "Copy Record": it leaves the toolbar and becomes available.
        current->setCurrentRow(rowOf(current, QStringLiteral("CopyRecord")));
        click(dlg, "cmdRemoveButton");
        QCOMPARE(buttonKeys(d), (QStringList{"NewRecord", "SaveRecord", "OpenData", "FindRecord", "CutRecord",
                                             "PasteRecord", "Customize", "PrintRecord"}));
        QVERIFY(rowOf(available, QStringLiteral("CopyRecord")) >= 0);

        // Move "New Record" one place down, past "Save Record".
        current->setCurrentRow(rowOf(current, QStringLiteral("NewRecord")));
        click(dlg, "cmdMoveDown");
        QCOMPARE(buttonKeys(d).mid(0, 2), (QStringList{"SaveRecord", "NewRecord"}));
        QCOMPARE(current->currentItem()->data(Qt::UserRole).toString(), QStringLiteral("NewRecord"));

        // Put "Copy Record" back at the end.
        current->setCurrentRow(current->count() - 1);
        available->setCurrentRow(rowOf(available, QStringLiteral("CopyRecord")));
        click(dlg, "cmdAddButton");
        QCOMPARE(buttonKeys(d).last(), QStringLiteral("CopyRecord"));
        click(dlg, "cmdClose");
        QTRY_VERIFY(!dlg);

        // The arrangement stays, and the moved buttons still run their commands.
        const QStringList arranged{"SaveRecord", "NewRecord", "OpenData", "FindRecord", "CutRecord",
                                   "PasteRecord", "Customize", "PrintRecord", "CopyRecord"};
        QCOMPARE(buttonKeys(d), arranged);
        clickToolbar(d, "NewRecord");
        QCOMPARE(recordBox(d), QStringLiteral("4"));
        click(d, "cmdBegining");
        clickToolbar(d, "CopyRecord");
        QCOMPARE(env.fileBytes(QStringLiteral("PhoneClip.z8B")), bytesOfNames({"A"}));

        // Opened again, the dialog starts from the toolbar as it is.
        clickToolbar(d, "Customize");
        dlg = d->findChild<ToolbarCustomizer*>();
        QVERIFY(dlg);
        current = dlg->findChild<QListWidget*>(QStringLiteral("lstCurrent"));
        QStringList listed;
        for (int i = 0; i < current->count(); ++i)
            if (const QString key = current->item(i)->data(Qt::UserRole).toString(); !key.isEmpty())
                listed << key;
        QCOMPARE(listed, arranged);
    }

    // Without its "Customize" button the toolbar still opens the dialog on a
    // double-click; the dialog's captions have working access keys.
    void aDoubleClickOnTheToolbarCustomizesIt()
    {
        TestEnv env;
        Data* d = env.openData();
        clickToolbar(d, "Customize");
        QPointer<ToolbarCustomizer> dlg = d->findChild<ToolbarCustomizer*>();
        QVERIFY(dlg);
        auto* current = dlg->findChild<QListWidget*>(QStringLiteral("lstCurrent"));
        auto* available = dlg->findChild<QListWidget*>(QStringLiteral("lstAvailable"));
        for (QLabel* caption : dlg->findChildren<QLabel*>()) {
            QVERIFY2(caption->buddy() == current || caption->buddy() == available, qPrintable(caption->text()));
            QVERIFY(!caption->grab().isNull());
        }
        current->setCurrentRow(rowOf(current, QStringLiteral("Customize")));
        click(dlg, "cmdRemoveButton");
        click(dlg, "cmdClose");
        QTRY_VERIFY(!dlg);
        QVERIFY(!buttonKeys(d).contains(QStringLiteral("Customize")));

        auto* bar = d->findChild<QToolBar*>(QStringLiteral("Toolbar1"));
        QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 5, bar->height() / 2));
        QTRY_VERIFY(d->findChild<ToolbarCustomizer*>());
    }
};

QTEST_MAIN(TestToolbar)
#include "tst_toolbar.moc"
