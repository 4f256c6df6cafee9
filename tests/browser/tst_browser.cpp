// The browser window, offscreen, against local files and a loopback HTTP
// server: never the internet.
#include "browser/BrowserPlugin.h"
#include "platform/Twips.h"
#include "support/Readable.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStatusBar>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QToolBar>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineView>

using namespace pb;
using namespace pb::test;

namespace {

// Serves <title>NAME</title> pages for any path; 404 for "/missing.htm".
class PageServer : public QObject
{
public:
    PageServer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    const QByteArray request = s->readAll();
                    const QByteArray path = request.split(' ').value(1);
                    paths.append(QString::fromLatin1(path));
                    QByteArray body = "<html><head><title>Page " + path.mid(1) + "</title></head><body>" + path +
                                      "</body></html>";
                    const QByteArray status = path == "/missing.htm" ? "404 Not Found" : "200 OK";
                    s->write("HTTP/1.1 " + status + "\r\nContent-Type: text/html\r\nContent-Length: " +
                             QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1/").arg(server_.serverPort()); }
    QStringList paths;

private:
    QTcpServer server_;
};

// Serves fixed responses by path; a download that breaks off after its
// first bytes at "/broken.bin".
class RawServer : public QObject
{
public:
    RawServer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    const QByteArray path = s->readAll().split(' ').value(1);
                    paths.append(QString::fromLatin1(path));
                    if (path == "/broken.bin") {
                        s->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                                 "Content-Disposition: attachment; filename=broken.bin\r\nContent-Length: 1000000\r\n\r\n" +
                                 QByteArray(1000, 'x'));
                        s->flush();
                        s->abort();
                        return;
                    }
                    if (path == "/slow.bin") {   // a download that never ends
                        s->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                                 "Content-Disposition: attachment; filename=slow.bin\r\nContent-Length: 1000000\r\n\r\n" +
                                 QByteArray(2000, 'z'));
                        return;
                    }
                    if (path == "/whole.bin") {
                        s->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                                 "Content-Disposition: attachment; filename=whole.bin\r\nContent-Length: 3000\r\n"
                                 "Connection: close\r\n\r\n" + QByteArray(3000, 'y'));
                        s->disconnectFromHost();
                        return;
                    }
                    const QByteArray body = pages.value(QString::fromLatin1(path), "<title>Page " + path.mid(1) + "</title>");
                    s->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + QByteArray::number(body.size()) +
                             "\r\nConnection: close\r\n\r\n" + body);
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    quint16 port() const { return server_.serverPort(); }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1/").arg(port()); }
    QHash<QString, QByteArray> pages;
    QStringList paths;

private:
    QTcpServer server_;
};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A page whose whole area is one link: a click anywhere follows it.
QByteArray linkPage(const QByteArray& href, const QByteArray& target = {})
{
    return "<html><head><title>Links</title><style>a{display:block;position:fixed;left:0;top:0;right:0;bottom:0}"
           "</style></head><body><a href=\"" + href + "\"" + (target.isEmpty() ? QByteArray() : " target=\"" + target + "\"") +
           ">go</a></body></html>";
}

// Clicks the middle of the page until it leaves for another one: a page
// whose title is in may not take input yet.
bool followLink(QWebEngineView* engine)
{
    const QUrl from = engine->url();
    for (int tries = 0; tries < 20 && engine->url() == from; ++tries) {
        QTest::mouseClick(engine->focusProxy(), Qt::LeftButton, {}, QPoint(engine->width() / 2, engine->height() / 2));
        for (int i = 0; i < 10 && engine->url() == from; ++i)
            QTest::qWait(50);
    }
    return engine->url() != from;
}

// The browser window comes from its plugin: it is reached by name and
// through Qt's own types.
using Browser = QWidget;

Browser* openBrowser(Data* d)
{
    action(d, "mnuProHandler")->trigger();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("frmBrowser") && w->isVisible())
            return w;
    return nullptr;
}

QWebEngineView* engineOf(Browser* b)
{
    return b->findChild<QWebEngineView*>(QStringLiteral("WebBrowser"));
}

void toolbar(Browser* b, const char* key)
{
    QMetaObject::invokeMethod(b, "tbToolBar_ButtonClick", Q_ARG(QString, QString::fromLatin1(key)));
}

void openOffline(Browser* b)
{
    QMetaObject::invokeMethod(b, "mnuOpen_Click");
}

QComboBox* addressBox(Browser* b)
{
    return b->findChild<QComboBox*>(QStringLiteral("cboAddress"));
}

QStringList addressList(Browser* b)
{
    QStringList out;
    for (int i = 0; i < addressBox(b)->count(); ++i)
        out << addressBox(b)->itemText(i);
    return out;
}

void typeAddress(Browser* b, const QString& address)
{
    QLineEdit* edit = addressBox(b)->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, address);
    QTest::keyClick(edit, Qt::Key_Return);
}

const QString kPrefix = QStringLiteral("z8P Surfer") + QString(23, u' ');

void closeBrowser(QPointer<Browser> b)
{
    if (b)
        b->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTRY_VERIFY(!b);
}

} // namespace

class TestBrowser : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
#ifdef PB_SANITIZE
        QSKIP("the web engine's own (uninstrumented) Chromium does not run under AddressSanitizer");
#endif
    }

    void opensOnTheHomeAddressWithoutNavigating()
    {
        TestEnv env;
        env.setSetting(QStringLiteral("PublisherSiteBase"), QStringLiteral("http://www.rivevozudezi.example/"));
        Data* d = env.openData();
        QPointer<Browser> b = openBrowser(d);
        QVERIFY(b);
        QCOMPARE(b->windowTitle(), kPrefix + QStringLiteral("www.rivevozudezi.example"));
        QCOMPARE(addressBox(b)->currentText(), QStringLiteral("http://www.rivevozudezi.example"));
        QCOMPARE(addressList(b), QStringList{QStringLiteral("http://www.rivevozudezi.example")});
        QVERIFY(engineOf(b)->url().isEmpty());
        // Back with nowhere to go does nothing.
        toolbar(b, "Back");
        QVERIFY(engineOf(b)->url().isEmpty());
        // The main window's shutdown leaves the browser open.
        env.closeData();
        QVERIFY(b && b->isVisible());
        closeBrowser(b);
    }

    void navigatesAndKeepsEachAddressOnceMostRecentFirst()
    {
        PageServer server;
        TestEnv env;
        env.setSetting(QStringLiteral("PublisherSiteBase"), server.base());
        Data* d = env.openData();
        QPointer<Browser> b = openBrowser(d);
        typeAddress(b, server.base() + QStringLiteral("a.htm"));
        QTRY_COMPARE(b->windowTitle(), kPrefix + QStringLiteral("Page a.htm"));

        // Pages of the site through the Online menu: the list follows.
        action(b, "mnuCatalog")->trigger();
        QTRY_COMPARE(b->windowTitle(), kPrefix + QStringLiteral("Page catalog.htm"));
        action(b, "mnuFriend")->trigger();
        QTRY_COMPARE(b->windowTitle(), kPrefix + QStringLiteral("Page davuvireziro.htm"));
        action(b, "mnuCatalog")->trigger();
        QTRY_COMPARE(b->windowTitle(), kPrefix + QStringLiteral("Page catalog.htm"));
        const QStringList list = addressList(b);
        QCOMPARE(list.count(server.base() + QStringLiteral("catalog.htm")), 1);
        QCOMPARE(list.count(server.base() + QStringLiteral("davuvireziro.htm")), 1);
        QVERIFY(server.paths.contains(QStringLiteral("/davuvireziro.htm")));

        // Back and Forward move through the engine's history.
        toolbar(b, "Back");
        QTRY_COMPARE(b->windowTitle(), kPrefix + QStringLiteral("Page davuvireziro.htm"));
        toolbar(b, "Forward");
        QTRY_COMPARE(b->windowTitle(), kPrefix + QStringLiteral("Page catalog.htm"));

        // An address of another scheme is not run against the page.
        typeAddress(b, QStringLiteral("javascript:document.title='owned'"));
        QTest::qWait(300);
        QCOMPARE(b->windowTitle(), kPrefix + QStringLiteral("Page catalog.htm"));
        closeBrowser(b);
    }

    void theMainWindowsOnlineItemsSizeAndPointTheBrowser()
    {
        PageServer server;
        TestEnv env;
        env.setSetting(QStringLiteral("PublisherSiteBase"), server.base());
        Data* d = env.openData();
        action(d, "mnuCatalog")->trigger();
        QPointer<Browser> b = openBrowser(d);   // the same window, brought forward
        QVERIFY(b);
        QTRY_COMPARE(b->windowTitle(), kPrefix + QStringLiteral("Page catalog.htm"));
        QCOMPARE(twips::outerGeometry(b).size(), QSize(13335, 9615));
        // The address box and its list are left as they were.
        QCOMPARE(addressList(b), QStringList{server.base().chopped(1)});

        b->resize(500, 300);
        action(d, "mnuSupport")->trigger();
        QTRY_COMPARE(b->windowTitle(), kPrefix + QStringLiteral("Page Feedback.htm"));   // the capital F stays
        QCOMPARE(twips::outerGeometry(b).size(), QSize(13335, 9615));
        action(d, "mnuHome")->trigger();
        QTRY_VERIFY(server.paths.contains(QStringLiteral("/")));
        closeBrowser(b);
    }

    // With no program set for web pages, the manual opens in z8P Surfer.
    void withNoProgramForWebPagesTheManualOpensInTheBrowser()
    {
        TestEnv env;
        Data* d = env.openData();
        env.programs().defaultProgram.clear();
        action(d, "mnuManual")->trigger();
        QVERIFY(env.programs().opened.isEmpty());
        QVERIFY(env.boxes().shown.isEmpty());
        QPointer<Browser> b = openBrowser(d);   // the same window, brought forward
        QVERIFY(b);
        QTRY_VERIFY(b->windowTitle().contains(QStringLiteral("z8P Phonebook")));
        QCOMPARE(engineOf(b)->url(), QUrl::fromLocalFile(Data::manualPath()));
        closeBrowser(b);
    }

    void offlineOpen()
    {
        TestEnv env;
        Data* d = env.openData();
        QPointer<Browser> b = openBrowser(d);
        const QString page = env.path(QStringLiteral("offline.htm"));
        {
            QFile f(page);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<html><head><title>Offline page</title></head><body>here</body></html>");
        }
        // Cancelled: nothing at all.
        openOffline(b);
        QCOMPARE(env.dialogs().shown.last().title, QStringLiteral("Browse for offline web pages"));
        QCOMPARE(env.dialogs().shown.last().filter, QStringLiteral("WebPages (*.htm *.html);;All Files (*.*)"));
        QVERIFY(env.messages().isEmpty());
        QVERIFY(engineOf(b)->url().isEmpty());

        // A missing file: Abort ends, Retry tries again (it is there by then).
        const QString later = env.path(QStringLiteral("later.htm"));
        env.dialogs().files.append(later);
        env.boxes().answerNext(MsgAnswer::Abort);
        openOffline(b);
        QCOMPARE(env.boxes().shown.size(), 1);
        QCOMPARE(env.boxes().shown[0].title, QStringLiteral("ERROR:  File not found"));
        QCOMPARE(env.boxes().shown[0].text, QStringLiteral("53 File not found"));
        QCOMPARE(env.boxes().shown[0].buttons, MsgButtons::AbortRetryIgnore);
        env.dialogs().files.append(later);
        env.boxes().answerNext(MsgAnswer::Ignore);
        openOffline(b);
        QCOMPARE(env.boxes().shown.size(), 2);
        QVERIFY(engineOf(b)->url().isEmpty());
        env.dialogs().files.append(later);
        env.boxes().answerNext(MsgAnswer::Retry);
        QFile::copy(page, later);
        openOffline(b);
        QTRY_COMPARE(b->windowTitle(), kPrefix + QStringLiteral("Offline page"));

        env.dialogs().files.append(page);
        openOffline(b);
        QTRY_COMPARE(engineOf(b)->url(), QUrl::fromLocalFile(page));
        // The list records the location the engine reported when the
        // navigation was asked for: this engine still names the page before.
        QCOMPARE(addressList(b).first(), later);
        closeBrowser(b);
    }

    // The key goes to the combo box, as a real keyboard sends it, which
    // hands it to its line edit without passing any filter of the line edit.
    void enterInTheAddressBoxNavigates()
    {
        RawServer server;
        TestEnv env;
        Data* d = env.openData();
        QPointer<Browser> b = openBrowser(d);
        QComboBox* box = addressBox(b);
        for (const QString& typed : {QStringLiteral("127.0.0.1:%1/typed.htm").arg(server.port()),
                                     server.base() + QStringLiteral("full.htm")}) {
            box->setFocus();
            box->lineEdit()->selectAll();
            QTest::keyClicks(box, typed);
            QCOMPARE(box->currentText(), typed);
            QTest::keyClick(box, Qt::Key_Return);
            const QString page = typed.section(u'/', -1);
            QTRY_COMPARE(b->windowTitle(), kPrefix + QStringLiteral("Page ") + page);
        }
        // A path that exists opens as a local page.
        const QString local = env.path(QStringLiteral("local.htm"));
        writeFile(local, "<title>On disk</title>");
        box->setFocus();
        box->lineEdit()->selectAll();
        QTest::keyClicks(box, local);
        QTest::keyClick(box, Qt::Key_Enter);
        QTRY_COMPARE(b->windowTitle(), kPrefix + QStringLiteral("On disk"));
        closeBrowser(b);
    }

    void linksForANewWindowOpenInThisOne()
    {
        RawServer server;
        server.pages.insert(QStringLiteral("/links.htm"), linkPage("/target.htm", "_blank"));
        TestEnv env;
        Data* d = env.openData();
        QPointer<Browser> b = openBrowser(d);
        engineOf(b)->load(QUrl(server.base() + QStringLiteral("links.htm")));
        QTRY_COMPARE(engineOf(b)->title(), QStringLiteral("Links"));
        QVERIFY(followLink(engineOf(b)));
        QTRY_COMPARE(engineOf(b)->url(), QUrl(server.base() + QStringLiteral("target.htm")));
        QTRY_COMPARE(engineOf(b)->title(), QStringLiteral("Page target.htm"));
        closeBrowser(b);
    }

    // A page saved with its "_files" folder shows whole and links to the
    // pages beside it; its scripts still read no local file.
    void aSavedPageShowsWholeAndFollowsLocalLinks()
    {
        TestEnv env;
        const QString page = env.path(QStringLiteral("site/saved.htm"));
        writeFile(env.path(QStringLiteral("site/saved_files/style.css")), "body{background:rgb(1,2,3)}");
        writeFile(env.path(QStringLiteral("site/saved_files/dot.svg")),
                  "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'><rect width='4' height='4'/></svg>");
        writeFile(env.path(QStringLiteral("site/secret.txt")), "secret");
        writeFile(env.path(QStringLiteral("outside.svg")),
                  "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'><rect width='4' height='4'/></svg>");
        writeFile(env.path(QStringLiteral("site/next.htm")), "<title>Next page</title>");
        writeFile(page,
                  "<html><head><title>Saved</title><link rel=stylesheet href=saved_files/style.css>"
                  "<style>a{display:block;position:fixed;left:0;top:0;right:0;bottom:0}</style></head><body>"
                  "<img id=in src=saved_files/dot.svg onload=\"this.dataset.r='loaded'\" onerror=\"this.dataset.r='error'\">"
                  "<img id=out src=../outside.svg onload=\"this.dataset.r='loaded'\" onerror=\"this.dataset.r='error'\">"
                  "<a href=next.htm>next</a><script>"
                  "fetch('secret.txt').then(r=>r.text()).then(t=>document.body.dataset.x='read:'+t,"
                  "()=>document.body.dataset.x='refused');</script></body></html>");
        Data* d = env.openData();
        QPointer<Browser> b = openBrowser(d);
        env.dialogs().files.append(page);
        openOffline(b);
        QTRY_COMPARE(engineOf(b)->title(), QStringLiteral("Saved"));
        const auto js = [&](const QString& script) {
            QVariant result;
            bool done = false;
            engineOf(b)->page()->runJavaScript(script, [&](const QVariant& v) {
                result = v;
                done = true;
            });
            [&] { QTRY_VERIFY(done); }();
            return result.toString();
        };
        QTRY_COMPARE(js(QStringLiteral("document.getElementById('in').dataset.r||''")), QStringLiteral("loaded"));
        QCOMPARE(js(QStringLiteral("getComputedStyle(document.body).backgroundColor")), QStringLiteral("rgb(1, 2, 3)"));
        QTRY_COMPARE(js(QStringLiteral("document.getElementById('out').dataset.r||''")), QStringLiteral("error"));
        QTRY_COMPARE(js(QStringLiteral("document.body.dataset.x||''")), QStringLiteral("refused"));
        QVERIFY(followLink(engineOf(b)));
        QTRY_COMPARE(engineOf(b)->title(), QStringLiteral("Next page"));
        closeBrowser(b);
    }

    // Asked once where to save; a failure is told, once, however often the
    // engine tries again; a download that completes is shown as done.
    void aDownloadIsAskedOnceAndItsFailureTold()
    {
        RawServer server;
        TestEnv env;
        Data* d = env.openData();
        QPointer<Browser> b = openBrowser(d);
        env.dialogs().files.append(env.path(QStringLiteral("broken.bin")));
        engineOf(b)->load(QUrl(server.base() + QStringLiteral("broken.bin")));
        QTRY_COMPARE(env.messages().size(), 1);
        QVERIFY2(env.messages().first().startsWith(QStringLiteral("The download of broken.bin failed.\r\nCause: ")),
                 qPrintable(env.messages().first()));
        QTest::qWait(1500);   // retries the engine makes on its own ask nothing and tell nothing more
        QCOMPARE(env.dialogs().shown.size(), 1);
        QCOMPARE(env.messages().size(), 1);

        env.dialogs().files.append(env.path(QStringLiteral("whole.bin")));
        engineOf(b)->load(QUrl(server.base() + QStringLiteral("whole.bin")));
        QTRY_VERIFY(QFileInfo(env.path(QStringLiteral("whole.bin"))).size() == 3000);
        QTRY_VERIFY(b->findChild<QStatusBar*>()->currentMessage().startsWith(QStringLiteral("Downloaded whole.bin")));
        QCOMPARE(env.messages().size(), 1);
        closeBrowser(b);
    }

    // Closing the window would end a download under way: the user is asked.
    void closingDuringADownloadAsksFirst()
    {
        RawServer server;
        TestEnv env;
        Data* d = env.openData();
        QPointer<Browser> b = openBrowser(d);
        env.dialogs().files.append(env.path(QStringLiteral("slow.bin")));
        engineOf(b)->load(QUrl(server.base() + QStringLiteral("slow.bin")));
        QTRY_VERIFY(b->findChild<QStatusBar*>() &&
                    b->findChild<QStatusBar*>()->currentMessage().startsWith(QStringLiteral("Downloading slow.bin: ")));
        env.boxes().answerNext(MsgAnswer::No);
        b->close();
        QCOMPARE(env.messages().size(), 1);
        QVERIFY(env.messages().first().startsWith(QStringLiteral("A download is still running: slow.bin.")));
        QVERIFY(b && b->isVisible());
        env.boxes().answerNext(MsgAnswer::Yes);
        closeBrowser(b);
        QCOMPARE(env.messages().size(), 2);
    }

    // A name for every control, every control reached with Tab, no text
    // cut short and readable text, as in the program's other windows.
    void readableAndReachableFromTheKeyboard()
    {
        TestEnv env;
        Data* d = env.openData();
        QPointer<Browser> b = openBrowser(d);
        QVERIFY(b);
        const QStringList faults = unnamedControls(b) + missedByTab(b) + clippedTexts(b) + unreadableTexts(b);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
        closeBrowser(b);
    }

    void theLayoutFollowsTheWindow()
    {
        TestEnv env;
        Data* d = env.openData();
        QPointer<Browser> b = openBrowser(d);
        QWidget* area = b->findChild<QWidget*>(QStringLiteral("BrowserArea"));
        b->resize(800, 500);
        const int left = addressBox(b)->x();
        QVERIFY(left >= twips::toPixels(3600));
        for (QAction* a : b->findChild<QToolBar*>(QStringLiteral("tbToolBar"))->actions())   // no button under it
            QVERIFY(b->findChild<QToolBar*>(QStringLiteral("tbToolBar"))->widgetForAction(a)->geometry().right() < left);
        QTRY_COMPARE(addressBox(b)->width(), twips::toPixels(twips::fromPixels(area->width()) - twips::fromPixels(left)));
        QCOMPARE(engineOf(b)->width(), twips::toPixels(twips::fromPixels(area->width()) - 20));
        const int wide = addressBox(b)->width();
        b->resize(200, 500);   // narrower than 3600 twips: the box keeps its width
        QTRY_COMPARE(b->width(), 200);
        QCOMPARE(addressBox(b)->width(), wide);
        closeBrowser(b);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestBrowser t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_browser.moc"
