// The plugin that brings the browser window, and with it the web engine.
#include "browser/BrowserPlugin.h"
#include "browser/frmBrowser.h"

#include <QObject>

namespace pb {

class WebBrowserPlugin final : public QObject, public BrowserPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PB_BROWSER_PLUGIN_IID)
    Q_INTERFACES(pb::BrowserPlugin)
public:
    BrowserWindow* create(const BrowserHost& host) override { return new frmBrowser(host); }
};

} // namespace pb

#include "BrowserPluginMain.moc"
