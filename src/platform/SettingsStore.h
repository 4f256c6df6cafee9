#pragma once

#include <QString>

#include <map>
#include <memory>

class QSettings;

namespace pb {

// Per-user string settings addressed by application, section and key.
// Kept in an INI file named after the application in the user's
// configuration folder, one group per section.
//
// The file is read once and written when flush() is called (and when the
// store goes away), not once per value.
class SettingsStore
{
public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    QString get(const QString& app, const QString& section, const QString& key,
                const QString& fallback) const;
    void save(const QString& app, const QString& section, const QString& key,
              const QString& value);
    void flush();

private:
    // Null when the settings file cannot be used.
    QSettings* file(const QString& app) const;

    mutable std::map<QString, std::unique_ptr<QSettings>> files_;
};

} // namespace pb
