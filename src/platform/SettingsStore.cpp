#include "platform/SettingsStore.h"

#include <QSettings>

namespace pb {

namespace {
QString keyPath(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}
} // namespace

QString SettingsStore::get(const QString& app, const QString& section, const QString& key,
                           const QString& fallback) const
{
    const QSettings s(QSettings::IniFormat, QSettings::UserScope, app);
    const QVariant v = s.value(keyPath(section, key));
    return v.isValid() ? v.toString() : fallback;
}

void SettingsStore::save(const QString& app, const QString& section, const QString& key,
                         const QString& value)
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, app);
    s.setValue(keyPath(section, key), value);
}

} // namespace pb
