#include "platform/SettingsStore.h"

#include "platform/Codepage.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace pb {

namespace {
QString keyPath(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}
} // namespace

SettingsStore::SettingsStore() = default;

SettingsStore::~SettingsStore()
{
    flush();
}

namespace {
// Where the settings of `app` live, found without touching that file: a
// settings object for a name no file has tells the folder.
QString settingsPath(const QString& app)
{
    const QSettings probe(QSettings::IniFormat, QSettings::UserScope, app + QStringLiteral(".unused-name"));
    return QFileInfo(probe.fileName()).dir().filePath(app + QStringLiteral(".ini"));
}
} // namespace

QSettings* SettingsStore::file(const QString& app) const
{
    auto it = files_.find(app);
    if (it == files_.end()) {
        // Something other than a file in its place (a FIFO, a device, a
        // folder) would hang or fail every read and write: the program then
        // runs on the defaults and keeps nothing.
        const QFileInfo info(settingsPath(app));
        std::unique_ptr<QSettings> settings;
        if (!info.exists() || info.isFile())
            settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, app);
        it = files_.emplace(app, std::move(settings)).first;
    }
    return it->second.get();
}

QString SettingsStore::get(const QString& app, const QString& section, const QString& key,
                           const QString& fallback) const
{
    QSettings* settings = file(app);
    const QVariant v = settings ? settings->value(keyPath(section, key)) : QVariant();
    return v.isValid() ? v.toString() : fallback;
}

void SettingsStore::save(const QString& app, const QString& section, const QString& key,
                         const QString& value)
{
    if (QSettings* settings = file(app))
        settings->setValue(keyPath(section, key), value);
}

void SettingsStore::flush()
{
    for (auto& [app, settings] : files_)
        if (settings)
            settings->sync();
}

QString programSetting(const SettingsStore& settings, const QString& key, const QString& fallback)
{
    return settings.get(QString::fromLatin1(kSettingsApp), QString::fromLatin1(kSettingsSection), key, fallback);
}

int chooseCodePage(const SettingsStore& settings)
{
    if (const auto pinned = codepage::parse(programSetting(settings, QStringLiteral("CodePage"), QString())))
        return *pinned;
    return codepage::forSystem();
}

} // namespace pb
