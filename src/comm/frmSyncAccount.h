#pragma once

// The book's CardDAV account: the server's address, the user name and the
// password, a test of the connection that lists the address books the
// server holds for the user, and the one chosen.

#include "sync/SyncAccount.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pb {

class AppContext;

class frmSyncAccount : public QDialog
{
    Q_OBJECT
public:
    // `current`: the account as it is (empty: none yet).
    frmSyncAccount(QWidget* parent, AppContext& ctx, const sync::SyncAccount& current, const QString& password);

    sync::SyncAccount account() const;
    QString password() const;

    // Signs in and lists the address books; true when there is one to choose.
    bool cmdTest_Click();

private:
    void updateOk();

    AppContext& ctx_;
    QLineEdit* txtServer;
    QLineEdit* txtUser;
    QLineEdit* txtPassword;
    QComboBox* cboBook;
    QLabel* lblStatus;
    QPushButton* cmdTest;
    QPushButton* cmdOK;
};

} // namespace pb
