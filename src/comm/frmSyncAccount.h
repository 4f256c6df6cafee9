#pragma once

// The book's CardDAV account: the server's address, the user name and the
// password (remembered in the desktop's keyring when the user asks), a test
// of the connection that lists the address books the server holds for the
// user, the one chosen, and how often the window syncs by itself. A server
// with its own certificate is trusted once the user confirms its
// fingerprint.

#include "sync/SyncAccount.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pb {

class AppContext;

class frmSyncAccount : public QDialog
{
    Q_OBJECT
public:
    // `current`: the account as it is (empty: none yet); `remembered`: its
    // password is in the keyring; `note`: why the password is asked for.
    frmSyncAccount(QWidget* parent, AppContext& ctx, const sync::SyncAccount& current, const QString& password,
                   bool remembered, const QString& note);

    sync::SyncAccount account() const;
    QString password() const;
    bool remember() const;

    // Signs in and lists the address books; true when there is one to choose.
    bool cmdTest_Click();

private:
    void updateOk();
    void showChosen();
    // A certificate the connection refused, shown for the user to trust.
    bool askTrust(const QString& fingerprint);

    AppContext& ctx_;
    QLineEdit* txtServer;
    QLineEdit* txtUser;
    QLineEdit* txtPassword;
    QCheckBox* chkRemember;
    QComboBox* cboBook;
    QSpinBox* spnEvery;
    QString fingerprint_;
    QList<bool> readOnly_;   // of each address book listed
    QLabel* lblStatus;
    QPushButton* cmdTest;
    QPushButton* cmdOK;
};

} // namespace pb
