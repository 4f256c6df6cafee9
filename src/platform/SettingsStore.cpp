#include "platform/SettingsStore.h"

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

QSettings& SettingsStore::file(const QString& app) const
{
    auto& slot = files_[app];
    if (!slot)
        slot = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, app);
    return *slot;
}

QString SettingsStore::get(const QString& app, const QString& section, const QString& key,
                           const QString& fallback) const
{
    const QVariant v = file(app).value(keyPath(section, key));
    return v.isValid() ? v.toString() : fallback;
}

void SettingsStore::save(const QString& app, const QString& section, const QString& key,
                         const QString& value)
{
    file(app).setValue(keyPath(section, key), value);
}

void SettingsStore::flush()
{
    for (auto& [app, settings] : files_)
        settings->sync();
}

} // namespace pb
