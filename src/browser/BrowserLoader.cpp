#include "browser/BrowserLoader.h"

#include "browser/BrowserPlugin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

namespace pb {

BrowserPlugin* loadBrowserPlugin(QString* error)
{
    static BrowserPlugin* loaded = nullptr;
    if (loaded)
        return loaded;
    const QDir app(QCoreApplication::applicationDirPath());
    QStringList reasons;
#ifndef PB_PLUGIN_FROM_BIN
#define PB_PLUGIN_FROM_BIN "../lib/z8p-phonebook"
#endif
    for (const QString& folder : {QStringLiteral("."), QStringLiteral("plugins"), QStringLiteral("../plugins"),
                                  QStringLiteral(PB_PLUGIN_FROM_BIN)}) {
        const QDir dir(app.filePath(folder));
        for (const QString& name : dir.entryList({QStringLiteral("*z8p-browser*")}, QDir::Files)) {
            QPluginLoader loader(dir.filePath(name));
            if (auto* plugin = qobject_cast<BrowserPlugin*>(loader.instance())) {
                loaded = plugin;
                return plugin;
            }
            reasons << loader.errorString();
        }
    }
    *error = reasons.isEmpty() ? QStringLiteral("The browser is not installed.") : reasons.join(u'\n');
    return nullptr;
}

} // namespace pb
