#pragma once

#include <QString>

#include <map>
#include <memory>

class QSettings;

namespace pb {

// Where the program keeps its settings: the publisher's name is the
// application's, in the program's own section.
inline constexpr const char* kPublisherName = "RiveVozuDezi";
inline constexpr const char* kSettingsApp = kPublisherName;
inline constexpr const char* kSettingsSection = "Phonebook";

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

// One of the program's own settings.
QString programSetting(const SettingsStore& settings, const QString& key, const QString& fallback);
// The code page of the record files: the "CodePage" setting when it names
// one, otherwise the one the user's characters use.
int chooseCodePage(const SettingsStore& settings);

} // namespace pb
