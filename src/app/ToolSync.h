#pragma once

// The tool's sync commands: the account set once, a sync, its status.

#include <QString>

namespace pb {
class Phonebook;
class Keyring;
class SettingsStore;
}

namespace pb::tool {

struct SyncArgs {
    bool dryRun = false;
    QString first;          // merge, book, server (empty: ask)
    QString prefer;         // here, there (empty: report conflicts)
    bool allowMassDelete = false;
    QString passwordFile;
    QString account;        // with `user`: set the account instead of syncing
    QString user;
    bool remember = false;  // with `account`: keep the password in the keyring
    QString trustFingerprint;   // with `account`: the server's own certificate, confirmed
};

// Exit status: 0 done, 1 failed, 2 refused (a choice, a repair or
// --allow-mass-delete needed), 3 done with conflicts.
int syncCommand(Phonebook& book, SettingsStore& settings, Keyring& keyring, const SyncArgs& args);
int syncStatus(Phonebook& book, const SettingsStore& settings);

} // namespace pb::tool
