// The main window's way to the browser: "z8P Surfer..." and the Online menu.
#include "mainwindow/Data.h"

#include "browser/BrowserLoader.h"
#include "browser/BrowserPlugin.h"
#include "platform/Twips.h"
#include "shell/AppContext.h"
#include "shell/frmAbout.h"

namespace pb {

QString Data::publisherSiteBase() const
{
    QString base = ctx_.setting(QStringLiteral("PublisherSiteBase"), QString()).trimmed();
    if (base.isEmpty())
        base = QString::fromLatin1(kPublisherSiteBase);
    if (!base.endsWith(u'/'))
        base += u'/';
    return base;
}

// The shared browser window, loaded (and so shown) when it is not there yet.
// The web engine comes with it, on first use only.
BrowserWindow* Data::browser(bool quietly)
{
    if (browserWidget_)
        return browser_;
    QString error;
    bool notInstalled = false;
    BrowserPlugin* plugin = loadBrowserPlugin(&error, &notInstalled, ctx_.programFolder);
    if (!plugin) {
        if (quietly)
            return nullptr;
        if (notInstalled)
            ctx_.boxes.show(this, browserNotInstalledMessage(), QStringLiteral("z8P Surfer"), MsgButtons::Ok,
                            MsgIcon::Information);
        else
            ctx_.boxes.show(this, QStringLiteral("z8P Surfer could not be started.\r\nCause: ") + error, QString(),
                            MsgButtons::Ok, MsgIcon::Critical);
        return nullptr;
    }
    BrowserHost host;
    host.boxes = &ctx_.boxes;
    host.dialogs = &ctx_.dialogs;
    host.siteBase = publisherSiteBase();
    AppContext* ctx = &ctx_;
    host.showAbout = [ctx] { frmAbout::showNew(*ctx); };
    browser_ = plugin->create(host);
    browserWidget_ = browser_->widget();
    return browser_;
}

void Data::mnuProHandler_Click()
{
    if (BrowserWindow* b = browser()) {
        b->widget()->show();
        b->widget()->raise();
        b->widget()->activateWindow();
    }
}

bool Data::showInOwnBrowser(const QString& address)
{
    BrowserWindow* b = browser(true);
    if (!b)
        return false;
    b->Navigate(address);
    QWidget* w = b->widget();
    if (w->isMinimized())
        w->showNormal();
    w->show();
    w->raise();
    w->activateWindow();
    return true;
}

void Data::ShowPublisherPage(const QString& page)
{
    BrowserWindow* b = browser();
    if (!b)
        return;
    QWidget* w = b->widget();
    if (w->isMinimized())
        w->showNormal();
    twips::setOuterSize(w, 13335, 9615);
    b->Navigate(publisherSiteBase() + page);
    w->show();
    w->raise();
    w->activateWindow();
}

} // namespace pb
