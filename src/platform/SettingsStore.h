#pragma once

#include <QString>

namespace pb {

// Per-user string settings addressed by application, section and key.
// Kept in an INI file named after the application in the user's
// configuration folder, one group per section.
class SettingsStore
{
public:
    QString get(const QString& app, const QString& section, const QString& key,
                const QString& fallback) const;
    void save(const QString& app, const QString& section, const QString& key,
              const QString& value);
};

} // namespace pb
