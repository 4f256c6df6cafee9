#pragma once

#include "browser/BrowserPlugin.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QUrl>

class QComboBox;
class QTimer;
class QToolBar;
class QWebEngineDownloadRequest;
class QWebEngineProfile;
class QWebEngineView;

namespace pb {

// "z8P Surfer": a small browser for the publisher's pages and local HTML
// files, with an address box whose list is the history, a toolbar and the
// publisher's page menus.
class frmBrowser final : public QMainWindow, public BrowserWindow
{
    Q_OBJECT
public:
    explicit frmBrowser(const BrowserHost& host);
    ~frmBrowser() override;

    static const QString BrowserTitlePrefix;
    QString StartingAddress;

    // BrowserWindow
    QWidget* widget() override { return this; }
    void Navigate(const QString& address) override;
    void GoToSitePage(const QString& page) override;
    void GoToAddress(const QString& address) override;

    void RecordLocation();
    QString LocationName() const;
    QString LocationURL() const;
    QWebEngineView* engine() const { return WebBrowser; }

public slots:
    void tbToolBar_ButtonClick(const QString& key);
    void cboAddress_Click();
    void mnuOpen_Click();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildMenus();
    void Form_Load();
    void Form_Resize();
    void timTimer_Timer();
    void WebBrowser_DownloadComplete();
    void download(QWebEngineDownloadRequest* request);
    void downloadFailed(QWebEngineDownloadRequest* request, const QString& why);
    QString homeAddress() const;
    int addressLeft() const;

    BrowserHost host_;
    QWidget* area_ = nullptr;
    QToolBar* tbToolBar = nullptr;
    QComboBox* cboAddress = nullptr;
    QWebEngineView* WebBrowser = nullptr;
    QWebEngineProfile* profile_ = nullptr;
    QTimer* timTimer = nullptr;
    bool suppressNavigation = false;
    bool loading_ = false;
    QList<QPointer<QWebEngineDownloadRequest>> downloads_;   // under way
    QHash<QUrl, QElapsedTimer> failedDownloads_;             // when each failed
};

} // namespace pb
