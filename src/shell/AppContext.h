#pragma once

#include "platform/Dialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgramStarter.h"
#include "platform/SettingsStore.h"
#include "platform/WindowRegistry.h"
#include "records/Phonebook.h"

class QLocale;

namespace pb {

inline constexpr const char* kSettingsApp = "RiveVozuDezi";
inline constexpr const char* kSettingsSection = "Phonebook";

// What every window of one run shares: the platform services, the record
// state and the registry of window instances.
class AppContext
{
public:
    AppContext(MessageBoxes& boxes, SettingsStore& settings, Dialogs& dialogs, ProgramStarter& programs);
    ~AppContext();

    MessageBoxes& boxes;
    SettingsStore& settings;
    Dialogs& dialogs;
    ProgramStarter& programs;
    Phonebook book;
    WindowRegistry windows;

    QString setting(const QString& key, const QString& fallback) const;
    // The code page of the record files: the "CodePage" setting when it names
    // one, otherwise the one the user's language uses.
    int chooseCodePage() const;
    void saveSetting(const QString& key, const QString& value);
};

} // namespace pb
