#include "browser/frmBrowser.h"

#include "platform/CommonDialog.h"
#include "platform/Dialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/Twips.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QAbstractItemView>
#include <QCloseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTimer>
#include <QToolBar>
#include <QWebEngineDownloadRequest>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <algorithm>

namespace pb {

const QString frmBrowser::BrowserTitlePrefix = QStringLiteral("z8P Surfer") + QString(23, u' ');

namespace {

constexpr int kAddressLeft = 3600;   // twips
constexpr int kEngineTop = 480;
constexpr int kMargin = 20;

QIcon browserIcon(const char* key)
{
    QSvgRenderer svg(QStringLiteral(":/art/browser/%1.svg").arg(QLatin1String(key)));
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        svg.render(&p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

// Only web pages and local files are opened: an address of any other scheme
// (javascript:, data:, a program's own) is not run against the page on show.
// A file or folder that exists opens as a local page; an address without a
// scheme is a web address ("127.0.0.1:8080", "localhost/x", "example.org").
QUrl addressToUrl(const QString& address)
{
    const QString a = address.trimmed();
    if (a.isEmpty())
        return {};
    QUrl url;
    if (!a.contains(QLatin1String("://")) && QFileInfo::exists(a)) {
        url = QUrl::fromLocalFile(QFileInfo(a).absoluteFilePath());
    } else {
        static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
        // "name:8080" is a host and its port, not a scheme.
        const QString afterColon = a.section(u':', 1);
        const bool hasScheme = a.contains(QLatin1String("://")) ||
                               (scheme.match(a).hasMatch() && !(!afterColon.isEmpty() && afterColon.front().isDigit()));
        url = hasScheme ? QUrl::fromUserInput(a) : QUrl(QStringLiteral("http://") + a, QUrl::TolerantMode);
    }
    const QString s = url.scheme().toLower();
    if (!url.isValid() || (s != QLatin1String("http") && s != QLatin1String("https") && s != QLatin1String("file")))
        return {};
    return url;
}

// Local pages: pictures, styles, scripts and frames of the page's own
// folder (and the folders below it, where a saved page keeps its "_files")
// load, and links to the pages there open; nothing else on the disk is
// reached, and never by a script's request.
class LocalPageGuard final : public QWebEngineUrlRequestInterceptor
{
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl target = info.requestUrl();
        const QUrl from = info.firstPartyUrl();
        if (!target.isLocalFile() || !from.isLocalFile())
            return;
        if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame &&
            info.navigationType() != QWebEngineUrlRequestInfo::NavigationTypeLink)
            return;   // typed, opened or history: the user's own choice
        const bool byScript = info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeXhr ||
                              info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypePing ||
                              info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeServiceWorker ||
                              info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeSharedWorker ||
                              info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeWorker;
        const QString folder = QFileInfo(from.toLocalFile()).absolutePath();
        const QString path = QFileInfo(target.toLocalFile()).absoluteFilePath();
        const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
        const QString canonicalPath = QFileInfo(path).canonicalFilePath();
        const bool inside = !canonicalFolder.isEmpty() && !canonicalPath.isEmpty() &&
                            canonicalPath.startsWith(canonicalFolder + u'/');
        if (byScript || !inside)
            info.block(true);
    }
};

// Links that ask for a new window (target="_blank") open in this one.
class SurferPage final : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    QWebEnginePage* createWindow(WebWindowType) override { return this; }
};

} // namespace

frmBrowser::frmBrowser(const BrowserHost& host) : QMainWindow(nullptr), host_(host)
{
    setObjectName(QStringLiteral("frmBrowser"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(QApplication::windowIcon());
    setWindowTitle(BrowserTitlePrefix + QUrl(host_.siteBase).host());

    area_ = new QWidget(this);
    area_->setObjectName(QStringLiteral("BrowserArea"));
    QPalette black = area_->palette();
    black.setColor(QPalette::Window, Qt::black);
    area_->setPalette(black);
    area_->setAutoFillBackground(true);
    setCentralWidget(area_);

    struct Button {
        const char* key;
        const char* tip;
        const char* icon;
    };
    static constexpr Button buttons[] = {
        {"Back", "Backward", "b"}, {"Forward", "Forward", "n"},      {"Stop", "Stop", "s"},
        {"Refresh", "Refresh", "r"}, {"Home", "Home", "h"},         {"Search", "Search", nullptr},
        {"Offline", "Browse Offline", "o"},
    };
    tbToolBar = new QToolBar(area_);
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setIconSize(QSize(24, 24));
    tbToolBar->setMovable(false);
    tbToolBar->setAutoFillBackground(true);
    tbToolBar->setPalette(QApplication::palette());
    for (const Button& b : buttons) {
        auto* a = new QAction(QString::fromLatin1(b.tip), tbToolBar);
        if (b.icon)
            a->setIcon(browserIcon(b.icon));
        a->setObjectName(QString::fromLatin1(b.key));
        a->setData(QString::fromLatin1(b.key));
        a->setToolTip(QString::fromLatin1(b.tip));
        tbToolBar->addAction(a);
    }
    connect(tbToolBar, &QToolBar::actionTriggered, this, [this](QAction* a) { tbToolBar_ButtonClick(a->data().toString()); });
    twips::place(tbToolBar, 0, 0, 13335, 450);

    cboAddress = new QComboBox(area_);
    cboAddress->setObjectName(QStringLiteral("cboAddress"));
    cboAddress->setEditable(true);
    cboAddress->setInsertPolicy(QComboBox::NoInsert);
    cboAddress->setMaxVisibleItems(20);
    cboAddress->setAccessibleName(QStringLiteral("Address"));
    cboAddress->lineEdit()->setAccessibleName(QStringLiteral("Address"));
    cboAddress->setToolTip(QStringLiteral("The address of a web page, or the path of a saved page"));
    twips::place(cboAddress, kAddressLeft, 120, 6555, 315);
    // Enter reaches the combo box first (which hands it to its line edit
    // directly), or the line edit itself: both are watched.
    cboAddress->installEventFilter(this);
    cboAddress->lineEdit()->installEventFilter(this);
    connect(cboAddress, &QComboBox::activated, this, [this](int) { cboAddress_Click(); });

    // Off the record: nothing is written to the user's home unless a download
    // is asked for; local pages reach neither other files nor the network.
    profile_ = new QWebEngineProfile(this);
    QWebEngineSettings* s = profile_->settings();
    // A local page reaches other local files only as the guard allows.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    profile_->setUrlRequestInterceptor(new LocalPageGuard(profile_));
    connect(profile_, &QWebEngineProfile::downloadRequested, this, &frmBrowser::download);

    WebBrowser = new QWebEngineView(area_);
    WebBrowser->setObjectName(QStringLiteral("WebBrowser"));
    WebBrowser->setPage(new SurferPage(profile_, WebBrowser));
    twips::place(WebBrowser, 0, kEngineTop, 13335, 9615);
    connect(WebBrowser, &QWebEngineView::loadStarted, this, [this] { loading_ = true; });
    connect(WebBrowser, &QWebEngineView::loadFinished, this, [this](bool) {
        loading_ = false;
        WebBrowser_DownloadComplete();
    });
    connect(WebBrowser, &QWebEngineView::titleChanged, this, [this] {
        if (!loading_)
            WebBrowser_DownloadComplete();
    });

    // The busy title while a page loads, looked at four times a second.
    timTimer = new QTimer(this);
    timTimer->setInterval(250);
    connect(timTimer, &QTimer::timeout, this, &frmBrowser::timTimer_Timer);

    buildMenus();
    resize(twips::toPixels(13335), twips::toPixels(10125) + menuBar()->sizeHint().height());
    Form_Load();
}

frmBrowser::~frmBrowser()
{
    // The page goes before the profile it belongs to.
    delete WebBrowser;
}

void frmBrowser::buildMenus()
{
    QMenuBar* bar = menuBar();
    const auto item = [](QMenu* m, const char* name, const QString& caption, auto&& handler) {
        QAction* a = m->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        QObject::connect(a, &QAction::triggered, m, handler);
        return a;
    };
    const auto menu = [](QWidget* parent, const char* name, const QString& caption) {
        auto* m = new QMenu(caption, parent);
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };

    QMenu* file = menu(bar, "mnuFile", QStringLiteral("&File"));
    bar->addMenu(file);
    item(file, "mnuOpen", QStringLiteral("&Open..."), [this] { mnuOpen_Click(); })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    file->addSeparator();
    item(file, "mnuClose", QStringLiteral("&Close z8P Surfer"), [this] { close(); })
        ->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Backspace));

    QMenu* edit = menu(bar, "mnuEdit", QStringLiteral("&Edit"));
    bar->addMenu(edit);
    item(edit, "mnuRefresh", QStringLiteral("&Refresh"), [this] { WebBrowser->reload(); });

    QMenu* view = menu(bar, "mnuView", QStringLiteral("&View"));
    bar->addMenu(view);
    item(view, "mnuHome", QStringLiteral("&Home"), [this] { Navigate(homeAddress()); })->setVisible(false);
    view->addSeparator()->setVisible(false);
    item(view, "mnuPrevious", QStringLiteral("&Previous"), [] {});
    item(view, "mnuNext", QStringLiteral("&Next"), [] {});

    QMenu* online = menu(bar, "mnuOnline", QStringLiteral("&Online"));
    bar->addMenu(online);
    const auto page = [this](QMenu* m, const char* name, const QString& caption, const QString& path) {
        QAction* a = m->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, [this, path] { GoToSitePage(path); });
    };
    page(online, "mnuProduct", QStringLiteral("Product &Page"), QString::fromLatin1(site::kProductPage));
    page(online, "mnuPublisher", QStringLiteral("Publisher &Home"), QString::fromLatin1(site::kHomePage));
    page(online, "mnuCatalog", QStringLiteral("Publisher &Catalog"), QString::fromLatin1(site::kCatalogPage));
    page(online, "mnuStore", QStringLiteral("Publisher &Store"), QString::fromLatin1(site::kStorePage));
    page(online, "mnuFeedback", QStringLiteral("Support/&Feedback"), QString::fromLatin1(site::kFeedbackPage));
    online->addSeparator();
    QMenu* trial = menu(online, "mnuTrial", QStringLiteral("&Database Trial Downloads"));
    online->addMenu(trial);
    page(trial, "mnuTrialDravik", QStringLiteral("Dravik Database 3 trial (4.2 MB)"), QStringLiteral("downloads/dravik_db3_trial.exe"));
    page(trial, "mnuTrialLedger", QStringLiteral("Vozu Ledger trial (2.8 MB)"), QStringLiteral("downloads/vozu_ledger_trial.exe"));
    QMenu* java = menu(online, "mnuJava", QStringLiteral("&Java Demo Downloads"));
    online->addMenu(java);
    page(java, "mnuJavaCards", QStringLiteral("Card Index demo (1.1 MB)"), QStringLiteral("downloads/card_index_demo.jar"));
    page(java, "mnuJavaCalendar", QStringLiteral("Desk Calendar demo (0.9 MB)"), QStringLiteral("downloads/desk_calendar_demo.jar"));
    QMenu* programs = menu(online, "mnuPrograms", QStringLiteral("Free Downlo&ads"));
    online->addMenu(programs);
    page(programs, "mnuFreeLabels", QStringLiteral("Address Label Printer (1.6 MB)"), QStringLiteral("downloads/label_printer.exe"));
    page(programs, "mnuFreeBirthdays", QStringLiteral("Birthday Reminder (0.7 MB)"), QStringLiteral("downloads/birthday_reminder.exe"));
    page(online, "mnuFree", QStringLiteral("&Free Downloads Page"), QStringLiteral("Free_Downloads.htm"));
    online->addSeparator();
    QMenu* news = menu(online, "mnuNews", QStringLiteral("Today's &News"));
    online->addMenu(news);
    page(news, "mnuTech", QStringLiteral("Technology News (Computer, Internet, ...)"), QStringLiteral("tech_news.htm"));
    page(news, "mnuEntertain", QStringLiteral("Entertainment News (Movies, Games, ...)"), QStringLiteral("entertainment_news.htm"));
    page(news, "mnuBus", QStringLiteral("Business News (Stock Market)"), QStringLiteral("business_news.htm"));
    page(news, "mnuSports", QStringLiteral("Sports News (Golf, Tennis, ...)"), QStringLiteral("sports_news.htm"));
    page(news, "mnuWorld", QStringLiteral("World News (Politics, World Events, ...)"), QStringLiteral("world_news.htm"));
    page(online, "mnuFriend", QStringLiteral("F&riendSearch Service"), QStringLiteral("davuvireziro.htm"));

    QMenu* help = menu(bar, "mnuHelp", QStringLiteral("&Help"));
    bar->addMenu(help);
    item(help, "mnuAbout", QStringLiteral("&About z8P Phonebook..."), [this] {
        if (host_.showAbout)
            host_.showAbout();
    });
}

// 3600 twips from the left, or just past the toolbar's last button where the
// buttons (with this style's margins) reach further.
int frmBrowser::addressLeft() const
{
    int right = 0;
    for (QAction* a : tbToolBar->actions())
        if (QWidget* w = tbToolBar->widgetForAction(a))
            right = std::max(right, w->geometry().right());
    return std::max(twips::toPixels(kAddressLeft), tbToolBar->x() + right + 6);
}

QString frmBrowser::homeAddress() const
{
    QString home = host_.siteBase;
    if (home.endsWith(u'/'))
        home.chop(1);
    return home;
}

void frmBrowser::Form_Load()
{
    show();
    tbToolBar->update();
    Form_Resize();
    cboAddress->move(addressLeft(), tbToolBar->y() + twips::toPixels(40));
    StartingAddress = homeAddress();
    cboAddress->setEditText(StartingAddress);
    cboAddress->addItem(StartingAddress);
    cboAddress->setCurrentIndex(0);
}

void frmBrowser::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    Form_Resize();
}

// The address box from 3600 twips to the right edge, the page below the
// toolbar with a 20-twip margin; a size that would come out negative leaves
// that control as it was.
void frmBrowser::Form_Resize()
{
    if (isMinimized() || !area_)
        return;
    const int w = twips::fromPixels(area_->width());
    const int h = twips::fromPixels(area_->height());
    tbToolBar->resize(area_->width(), tbToolBar->height());
    const int left = twips::fromPixels(addressLeft());
    if (w - left >= 0)
        cboAddress->resize(twips::toPixels(w - left), cboAddress->height());
    if (w - kMargin >= 0)
        WebBrowser->resize(twips::toPixels(w - kMargin), WebBrowser->height());
    if (h - kMargin - kEngineTop >= 0)
        WebBrowser->resize(WebBrowser->width(), twips::toPixels(h - kMargin - kEngineTop));
}

QString frmBrowser::LocationName() const
{
    return WebBrowser->url().isEmpty() ? QString() : WebBrowser->title();
}

QString frmBrowser::LocationURL() const
{
    const QUrl url = WebBrowser->url();
    return url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString();
}

void frmBrowser::Navigate(const QString& address)
{
    const QUrl url = addressToUrl(address);
    if (url.isValid() && !url.isEmpty())
        WebBrowser->load(url);
}

void frmBrowser::cboAddress_Click()
{
    if (suppressNavigation)
        return;
    timTimer->start();
    Navigate(cboAddress->currentText());
}

bool frmBrowser::eventFilter(QObject* watched, QEvent* e)
{
    if ((watched == cboAddress || watched == cboAddress->lineEdit()) && e->type() == QEvent::KeyPress &&
        !cboAddress->view()->isVisible()) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            cboAddress_Click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void frmBrowser::GoToSitePage(const QString& page)
{
    GoToAddress(host_.siteBase + page);
}

void frmBrowser::GoToAddress(const QString& address)
{
    cboAddress->setEditText(address);
    cboAddress_Click();
    RecordLocation();
}

// The address list holds each address once, most recent first.
void frmBrowser::RecordLocation()
{
    setWindowTitle(BrowserTitlePrefix + LocationName());
    const QString location = LocationURL();
    int match = -1;
    for (int i = 0; i < cboAddress->count(); ++i) {
        if (cboAddress->itemText(i) == location) {
            match = i;
            break;
        }
    }
    suppressNavigation = true;
    if (match >= 0)
        cboAddress->removeItem(match);
    cboAddress->insertItem(0, location);
    cboAddress->setCurrentIndex(0);
    cboAddress->setEditText(location);
    suppressNavigation = false;
}

void frmBrowser::tbToolBar_ButtonClick(const QString& key)
{
    timTimer->start();
    if (key == QLatin1String("Back")) {
        if (WebBrowser->history()->canGoBack())
            WebBrowser->back();
    } else if (key == QLatin1String("Forward")) {
        if (WebBrowser->history()->canGoForward())
            WebBrowser->forward();
    } else if (key == QLatin1String("Refresh")) {
        WebBrowser->reload();
    } else if (key == QLatin1String("Home")) {
        Navigate(homeAddress());
    } else if (key == QLatin1String("Search")) {
        Navigate(host_.siteBase + QStringLiteral("search.htm"));
    } else if (key == QLatin1String("Stop")) {
        timTimer->stop();
        WebBrowser->stop();
        setWindowTitle(BrowserTitlePrefix + LocationName());
    } else if (key == QLatin1String("Offline")) {
        mnuOpen_Click();
    }
}

void frmBrowser::timTimer_Timer()
{
    if (loading_) {
        setWindowTitle(BrowserTitlePrefix + QStringLiteral("Working..."));
        return;
    }
    timTimer->stop();
    setWindowTitle(BrowserTitlePrefix + LocationName());
}

void frmBrowser::WebBrowser_DownloadComplete()
{
    setWindowTitle(BrowserTitlePrefix + LocationName());
}

// Offline open: a local page chosen in the open-file dialog. A cancel ends
// quietly; a file that cannot be read asks Abort, Retry or Ignore.
void frmBrowser::mnuOpen_Click()
{
    const QString title = QStringLiteral("Browse for offline web pages");
    const QString filter = CommonDialog::toQtFilter(QStringLiteral("WebPages|*.htm; *.html |All Files|*.*"));
    const std::optional<QString> chosen = host_.dialogs->openFile(this, title, filter);
    if (!chosen)
        return;   // cancelled
    const QString path = QFileInfo(*chosen).absoluteFilePath();
    for (;;) {
        const QFileInfo info(path);
        if (info.isFile() && info.isReadable()) {
            GoToAddress(path);
            return;
        }
        const int number = info.exists() ? 75 : 53;
        const QString description = info.exists() ? QStringLiteral("Path/File access error") : QStringLiteral("File not found");
        const MsgAnswer a = host_.boxes->show(this, QString::number(number) + u' ' + description,
                                              QStringLiteral("ERROR:  ") + description, MsgButtons::AbortRetryIgnore,
                                              MsgIcon::Critical);
        if (a == MsgAnswer::Retry)
            continue;
        return;   // Abort ends the command; Ignore goes on with releasing the dialog, which is all that is left
    }
}

// A download the engine offers goes where the user says, or nowhere. The
// user is asked once per download: when the engine asks again for an
// address whose download just failed (it retries on its own), the retry is
// let go and the failure, already reported, stays the last word.
void frmBrowser::download(QWebEngineDownloadRequest* request)
{
    const QUrl url = request->url();
    if (const auto failed = failedDownloads_.find(url); failed != failedDownloads_.end()) {
        if (failed->isValid() && failed->elapsed() < 3000) {
            request->cancel();
            return;
        }
        failedDownloads_.erase(failed);
    }
    // The engine asks again for an address whose transfer broke off: the
    // download under way has failed.
    for (QWebEngineDownloadRequest* d : std::as_const(downloads_)) {
        if (d && d->url() == url && !d->isFinished()) {
            request->cancel();
            const qint64 total = d->totalBytes();
            downloadFailed(d, total > 0 ? QStringLiteral("The connection closed after %1 of %2 bytes.").arg(d->receivedBytes()).arg(total)
                                        : QStringLiteral("The connection closed after %1 bytes.").arg(d->receivedBytes()));
            d->cancel();
            return;
        }
    }
    const QString suggested = request->downloadFileName();
    const std::optional<QString> target =
        host_.dialogs->saveFile(this, QStringLiteral("Save download"), QStringLiteral("All Files (*)"), suggested);
    if (!target) {
        request->cancel();
        return;
    }
    const QFileInfo info(*target);
    request->setDownloadDirectory(info.absolutePath());
    request->setDownloadFileName(info.fileName());
    downloads_.append(request);
    const auto progress = [this, request] {
        const qint64 total = request->totalBytes();
        const QString done = total > 0 ? QStringLiteral("%1%").arg(request->receivedBytes() * 100 / total)
                                       : QStringLiteral("%1 KB").arg(request->receivedBytes() / 1024);
        statusBar()->showMessage(QStringLiteral("Downloading %1: %2").arg(request->downloadFileName(), done));
    };
    connect(request, &QWebEngineDownloadRequest::receivedBytesChanged, this, progress);
    connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, request] {
        if (!downloads_.removeAll(request))
            return;   // failed and told already
        const QString name = request->downloadFileName();
        switch (request->state()) {
        case QWebEngineDownloadRequest::DownloadCompleted:
            statusBar()->showMessage(QStringLiteral("Downloaded %1 to %2").arg(name, QDir::toNativeSeparators(request->downloadDirectory())));
            break;
        case QWebEngineDownloadRequest::DownloadCancelled:
            statusBar()->showMessage(QStringLiteral("The download of %1 was cancelled").arg(name));
            break;
        default:
            downloads_.append(request);
            downloadFailed(request, request->interruptReasonString());
            break;
        }
    });
    request->accept();
    progress();
}

void frmBrowser::downloadFailed(QWebEngineDownloadRequest* request, const QString& why)
{
    downloads_.removeAll(request);
    failedDownloads_[request->url()].start();
    const QString name = request->downloadFileName();
    statusBar()->showMessage(QStringLiteral("The download of %1 failed").arg(name));
    host_.boxes->show(this, QStringLiteral("The download of %1 failed.\r\nCause: %2").arg(name, why), QStringLiteral("Download"),
                      MsgButtons::Ok, MsgIcon::Critical);
}

// Closing the window would end the downloads under way: asked first.
void frmBrowser::closeEvent(QCloseEvent* e)
{
    QStringList running;
    for (QWebEngineDownloadRequest* d : std::as_const(downloads_))
        if (d && !d->isFinished())
            running.append(d->downloadFileName());
    if (!running.isEmpty()) {
        const MsgAnswer a = host_.boxes->show(
            this,
            QStringLiteral("A download is still running: %1.\r\nClose z8P Surfer and stop it?").arg(running.join(QStringLiteral(", "))),
            QStringLiteral("Download"), MsgButtons::YesNo, MsgIcon::Question);
        if (a != MsgAnswer::Yes) {
            e->ignore();
            return;
        }
        for (QWebEngineDownloadRequest* d : std::as_const(downloads_))
            if (d)
                d->cancel();
    }
    QMainWindow::closeEvent(e);
}

} // namespace pb
