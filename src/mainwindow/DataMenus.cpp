// The main window's menu bar, its background pop-up and its toolbar.
#include "mainwindow/Data.h"

#include "browser/BrowserPlugin.h"
#include "mainwindow/ToolbarCustomizer.h"
#include "shell/Artwork.h"

#include <QMenuBar>
#include <QToolBar>

namespace pb {

namespace {

QMenu* addSubmenu(QWidget* parent, QMenu* into, const char* name, const QString& caption)
{
    auto* m = new QMenu(caption, parent);
    m->setObjectName(QString::fromLatin1(name));
    m->menuAction()->setObjectName(QString::fromLatin1(name));
    into->addMenu(m);
    return m;
}

template <class F>
QAction* addItem(QMenu* into, const char* name, const QString& caption, F&& handler)
{
    QAction* a = into->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    QObject::connect(a, &QAction::triggered, into, std::forward<F>(handler));
    return a;
}

QAction* addSeparator(QMenu* into, const char* name)
{
    QAction* a = into->addSeparator();
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

QMenu* addTopMenu(QMenuBar* bar, const char* name, const QString& caption)
{
    auto* m = new QMenu(caption, bar);
    m->setObjectName(QString::fromLatin1(name));
    m->menuAction()->setObjectName(QString::fromLatin1(name));
    bar->addMenu(m);
    return m;
}

} // namespace

void Data::buildMenus()
{
    QMenuBar* bar = menuBar();

    QMenu* file = addTopMenu(bar, "mnuFile", QStringLiteral("&File"));
    mnuNew = addSubmenu(this, file, "mnuNew", QStringLiteral("&New Record"));
    addItem(mnuNew, "mnuInsertBefore", QStringLiteral("Insert Before current"), [this] { mnuInsertBefore_Click(); });
    addItem(mnuNew, "mnuInsertAfter", QStringLiteral("Insert After current"), [this] { mnuInsertAfter_Click(); });
    addItem(mnuNew, "mnuInsertBegining", QStringLiteral("Insert At the begining"),
            [this] { mnuInsertBegining_Click(); });
    addItem(mnuNew, "mnuInsertEnd", QStringLiteral("Insert At the end"), [this] { mnuInsertEnd_Click(); });
    addItem(file, "mnuSave", QStringLiteral("&Save Changes"), [this] { cmdAdd_Click(); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    addItem(file, "mnuDelete", QStringLiteral("&Delete Record"), [this] { cmdDelete_Click(); });
    addSeparator(file, "l8");
    addItem(file, "mnuPrint", QStringLiteral("&Print Options..."), [this] { mnuPrint_Click(); });
    addItem(file, "mnuDialer", QStringLiteral("Call Contact"), [this] { mnuDialer_Click(); })->setVisible(false);
    addSeparator(file, "mnuL0");
    QMenu* open = addSubmenu(this, file, "mnuOpen", QStringLiteral("&Open"));
    addItem(open, "mnuProHandler", QStringLiteral("z8P Surfer..."), [this] { mnuProHandler_Click(); });
    addItem(open, "mnuDiaries", QStringLiteral("DiariesBook..."), [this] { mnuDiaries_Click(); });
    addItem(open, "mnuPhoneDialer", QStringLiteral("PhoneDialer..."), [this] { mnuPhoneDialer_Click(); })->setVisible(false);
    addSeparator(file, "mnul1");
    addItem(file, "mnuexit", QStringLiteral("&Close z8P Phonebook"), [this] { mnuexit_Click(); });

    QMenu* tools = addTopMenu(bar, "mnuTools", QStringLiteral("&Tools"));
    QMenu* search = addSubmenu(this, tools, "mnuSearch", QStringLiteral("&Search"));
    addItem(search, "mnuFind", QStringLiteral("Find A Contact..."), [this] { mnuFind_Click(); });
    addItem(search, "mnuShow", QStringLiteral("Show All Records..."), [this] { mnuShow_Click(); });
    QMenu* mail = addSubmenu(this, tools, "mnuEmail", QStringLiteral("&E-mail"));
    addItem(mail, "mnuMailTo", QStringLiteral("Send Mail to Contact"), [this] { mnuMailTo_Click(); });
    addItem(mail, "mnuInfoAbout", QStringLiteral("Send Info about Contact"), [this] { mnuInfoAbout_Click(); })->setVisible(false);
    addItem(mail, "mnuSendAllRecords", QStringLiteral("Send All Records"), [this] { mnuSendAllRecords_Click(); })->setVisible(false);
    addSeparator(tools, "l5")->setVisible(false);
    QMenu* exchange = addSubmenu(this, tools, "mnuExchange", QStringLiteral("&Contacts In and Out"));
    addItem(exchange, "mnuImport", QStringLiteral("&Import Contacts..."), [this] { mnuImport_Click(); });
    addItem(exchange, "mnuExport", QStringLiteral("E&xport Contacts..."), [this] { mnuExport_Click(); });
    addItem(exchange, "mnuCheck", QStringLiteral("&Check the Book..."), [this] { mnuCheck_Click(); });
    QMenu* settings = addSubmenu(this, tools, "mnuSettings", QStringLiteral("S&ettings"));
    settings->menuAction()->setVisible(false);
    addItem(settings, "mnuBackColors", QStringLiteral("BackColor..."), [this] { mnuBackColors_Click(); });
    addItem(settings, "mnuBackPic", QStringLiteral("BackPicture..."), [this] { mnuBackPic_Click(); })->setVisible(false);

    QMenu* online = addTopMenu(bar, "mnuOnline", QStringLiteral("Online"));
    addItem(online, "mnuProduct", QStringLiteral("&Product Home"), [this] { ShowPublisherPage(QString::fromLatin1(site::kProductPage)); });
    addItem(online, "mnuHome", QStringLiteral("Publisher& Home"), [this] { ShowPublisherPage(QString::fromLatin1(site::kHomePage)); });
    addItem(online, "mnuCatalog", QStringLiteral("Publisher &Catalog"), [this] { ShowPublisherPage(QString::fromLatin1(site::kCatalogPage)); });
    addItem(online, "mnuStore", QStringLiteral("Publisher &Store"), [this] { ShowPublisherPage(QString::fromLatin1(site::kStorePage)); });
    addItem(online, "mnuSupport", QStringLiteral("Support/&Feedback"), [this] { ShowPublisherPage(QString::fromLatin1(site::kFeedbackPage)); });

    QMenu* help = addTopMenu(bar, "mnuHelp", QStringLiteral("&Help"));
    // The book in step with a CardDAV server, after the other menus.
    QMenu* sync = addTopMenu(bar, "mnuSync", QStringLiteral("S&ync"));
    addItem(sync, "mnuSyncAccount", QStringLiteral("&Account..."), [this] { mnuSyncAccount_Click(); });
    addItem(sync, "mnuSyncNow", QStringLiteral("&Sync Now"), [this] { mnuSyncNow_Click(); });
    addItem(sync, "mnuSyncStatus", QStringLiteral("Sync S&tatus"), [this] { mnuSyncStatus_Click(); });

    // The record clipboard from the keyboard: the toolbar's buttons take no
    // focus. A menu of its own after the others; Ctrl+Shift keeps
    // Ctrl+C, X and V for the text boxes.
    QMenu* edit = new QMenu(QStringLiteral("&Edit"), bar);
    edit->setObjectName(QStringLiteral("mnuEdit"));
    edit->menuAction()->setObjectName(QStringLiteral("mnuEdit"));
    addItem(edit, "mnuCopyRecord", QStringLiteral("&Copy Record"), [this] { Toolbar1_ButtonClick(QStringLiteral("CopyRecord")); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    addItem(edit, "mnuCutRecord", QStringLiteral("Cu&t Record"), [this] { Toolbar1_ButtonClick(QStringLiteral("CutRecord")); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X));
    addItem(edit, "mnuPasteRecord", QStringLiteral("&Paste Record"), [this] { Toolbar1_ButtonClick(QStringLiteral("PasteRecord")); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
    addItem(help, "mnuContents", QStringLiteral("Contents...    (F1)"), [this] { mnuContents_Click(); })->setVisible(false);
    addSeparator(help, "mnul15")->setVisible(false);
    addItem(help, "mnuManual", QStringLiteral("&Manual..."), [this] { mnuContents_Click(); });
    addItem(help, "mnuAbout", QStringLiteral("&About z8P Phonebook..."), [this] { mnuAbout_Click(); });
    bar->addMenu(edit);

    // Used only as the background's right-click menu, never in the bar.
    mnuBackColor = addTopMenu(bar, "mnuBackColor", QStringLiteral("BackGround"));
    mnuBackColor->menuAction()->setVisible(false);
    QMenu* choice = addSubmenu(this, mnuBackColor, "mnuBackColorChoice", QStringLiteral("BackColor"));
    choice->menuAction()->setEnabled(false);
    addItem(choice, "mnuDefault", QStringLiteral("Default"), [this] { mnuDefault_Click(); })->setEnabled(false);
    addItem(choice, "mnuOther", QStringLiteral("Other..."), [this] { mnuOther_Click(); })->setEnabled(false);
}

void Data::buildToolbar()
{
    struct Button {
        const char* key;
        const char* tip;
    };
    static constexpr Button buttons[] = {
        {"NewRecord", "New Record"},   {"SaveRecord", "Save Record"}, {"OpenData", "Open DataBase"},
        {"FindRecord", "Find "},       {"CopyRecord", "Copy Record"}, {"CutRecord", "Cut Record"},
        {"PasteRecord", "Paste Record"}, {"Customize", "Customize"},  {"PrintRecord", "Print Otpions"},
    };
    Toolbar1 = new QToolBar(area_);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setIconSize(QSize(24, 24));
    Toolbar1->setMovable(false);
    Toolbar1->setAutoFillBackground(true);
    for (const Button& b : buttons) {
        const QString key = QString::fromLatin1(b.key);
        auto* a = new QAction(artwork::toolbarIcon(key), QString::fromLatin1(b.tip).trimmed(), Toolbar1);
        a->setObjectName(key);
        a->setData(key);
        a->setToolTip(QString::fromLatin1(b.tip));
        toolbarButtons_.append(a);
    }
    ToolbarCustomizer::arrange(Toolbar1, toolbarButtons_, ToolbarCustomizer::defaultLayout(toolbarButtons_));
    connect(Toolbar1, &QToolBar::actionTriggered, this,
            [this](QAction* a) { Toolbar1_ButtonClick(a->data().toString()); });
    Toolbar1->installEventFilter(this);
    fitToArea();
}

} // namespace pb
