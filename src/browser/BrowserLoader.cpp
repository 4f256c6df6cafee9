#include "browser/BrowserLoader.h"

#include "browser/BrowserPlugin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

namespace pb {

QString browserNotInstalledMessage()
{
#ifdef Q_OS_WIN
    return QStringLiteral("z8P Surfer, the program's web browser, is not installed.\r\n"
                          "Run the z8P Phonebook installer again and choose z8P Surfer to add it.");
#else
    return QStringLiteral("z8P Surfer, the program's web browser, is not installed.\r\n"
                          "It comes in a package of its own. To install it, run:\r\n\r\n"
                          "    sudo apt install z8p-phonebook-browser\r\n\r\n"
                          "then open z8P Surfer again.");
#endif
}

BrowserPlugin* loadBrowserPlugin(QString* error, bool* notInstalled, const QString& programFolder)
{
    if (notInstalled)
        *notInstalled = false;
    static BrowserPlugin* loaded = nullptr;
    if (loaded)
        return loaded;
    const QDir app(programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder);
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
    if (reasons.isEmpty() && notInstalled)
        *notInstalled = true;
    *error = reasons.isEmpty() ? QStringLiteral("The browser is not installed.") : reasons.join(u'\n');
    return nullptr;
}

} // namespace pb
