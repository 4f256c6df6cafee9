#pragma once

// A book's CardDAV account: the address book's URL and the user name, kept
// in the program's settings by the book's path (each book its own). The
// password is never kept here.

#include <QString>

namespace pb {
class SettingsStore;
}

namespace pb::sync {

struct SyncAccount {
    QString addressBook;   // the address book's URL; empty: no account
    QString user;          // empty: the server asks for none
    QString fingerprint;   // a self-signed certificate's SHA-256 the user confirmed
    int everyMinutes = 0;  // the window syncs by itself this often; 0: only when asked
    int timeoutSeconds = 30;   // a server quiet this long has not answered (one for all books)
    bool isSet() const { return !addressBook.isEmpty(); }
};

// The name the account's password is kept under in the desktop's keyring.
inline QString passwordName(const SyncAccount& account)
{
    return account.user + u'@' + account.addressBook;
}

SyncAccount loadAccount(const SettingsStore& settings, const QString& bookPath);
void saveAccount(SettingsStore& settings, const QString& bookPath, const SyncAccount& account);

} // namespace pb::sync
