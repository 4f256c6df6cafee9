#pragma once

#include "platform/Dialogs.h"
#include "platform/Http.h"
#include "platform/Keyring.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgramStarter.h"
#include "platform/SettingsStore.h"
#include "platform/WindowRegistry.h"
#include "records/Phonebook.h"

#include <functional>
#include <memory>

namespace pb {

class RecordWindow;

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
    // The folder the browser plugin is looked for from: the program's own,
    // unless a test points elsewhere.
    QString programFolder;
    // The network, signed in as the user with the password: the real one,
    // unless a test scripts the server.
    std::function<std::unique_ptr<Http>(const QString& user, const QString& password)> http;
    // The desktop's keyring, for a password the user asked to remember:
    // the real one, unless a test keeps its secrets in memory.
    std::function<std::unique_ptr<Keyring>()> keyring;

    QString setting(const QString& key, const QString& fallback) const;
    void saveSetting(const QString& key, const QString& value);

    // The main window, made (and so loaded) on first use. The program names
    // its class once, at start; every other window knows it only as a
    // RecordWindow.
    RecordWindow* recordWindow() { return mainWindow_ ? mainWindow_(true) : nullptr; }
    RecordWindow* existingRecordWindow() const { return mainWindow_ ? mainWindow_(false) : nullptr; }
    template <class W>
    void setMainWindowClass()
    {
        mainWindow_ = [this](bool make) -> RecordWindow* { return make ? windows.get<W>() : windows.existing<W>(); };
    }

private:
    std::function<RecordWindow*(bool make)> mainWindow_;
};

} // namespace pb
