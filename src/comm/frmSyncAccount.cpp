#include "comm/frmSyncAccount.h"

#include "shell/AppContext.h"
#include "sync/CardDav.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pb {

frmSyncAccount::frmSyncAccount(QWidget* parent, AppContext& ctx, const sync::SyncAccount& current, const QString& password)
    : QDialog(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmSyncAccount"));
    setWindowTitle(QStringLiteral("Sync Account"));
    auto* form = new QFormLayout;
    txtServer = new QLineEdit(current.addressBook, this);
    txtServer->setObjectName(QStringLiteral("txtServer"));
    txtServer->setPlaceholderText(QStringLiteral("https://dav.example.org/"));
    txtUser = new QLineEdit(current.user, this);
    txtUser->setObjectName(QStringLiteral("txtUser"));
    txtPassword = new QLineEdit(password, this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    cboBook = new QComboBox(this);
    cboBook->setObjectName(QStringLiteral("cboBook"));
    if (current.isSet())
        cboBook->addItem(current.addressBook, current.addressBook);
    form->addRow(QStringLiteral("&Server:"), txtServer);
    form->addRow(QStringLiteral("&User name:"), txtUser);
    form->addRow(QStringLiteral("&Password:"), txtPassword);
    form->addRow(QStringLiteral("&Address book:"), cboBook);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);   // a server's words are shown as text
    lblStatus->setWordWrap(true);
    lblStatus->setText(QStringLiteral("The password is kept while the program runs, never in the settings; this "
                                      "program uses no desktop keyring yet, so it asks again after a restart."));
    cmdTest = new QPushButton(QStringLiteral("&Test Connection"), this);
    cmdTest->setObjectName(QStringLiteral("cmdTest"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    cmdOK = buttons->button(QDialogButtonBox::Ok);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addButton(cmdTest, QDialogButtonBox::ActionRole);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(lblStatus);
    layout->addWidget(buttons);

    connect(cmdTest, &QPushButton::clicked, this, [this] { cmdTest_Click(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(txtServer, &QLineEdit::textEdited, this, [this] {
        cboBook->clear();   // another server: its address books are to be found
        updateOk();
    });
    updateOk();
    resize(sizeHint().width() * 3 / 2, sizeHint().height());
}

void frmSyncAccount::updateOk()
{
    cmdOK->setEnabled(cboBook->count() > 0);
}

bool frmSyncAccount::cmdTest_Click()
{
    const QUrl url = QUrl::fromUserInput(txtServer->text().trimmed());
    if (!url.isValid() || url.host().isEmpty()) {
        lblStatus->setText(QStringLiteral("Enter the server's address, such as https://dav.example.org/."));
        return false;
    }
    lblStatus->setText(QStringLiteral("Connecting..."));
    cmdTest->setEnabled(false);
    QString error;
    const std::unique_ptr<Http> http = ctx_.http(txtUser->text(), txtPassword->text());
    const QList<sync::AddressBookInfo> books = sync::CardDav::discover(*http, url, &error);
    cmdTest->setEnabled(true);
    cboBook->clear();
    for (const sync::AddressBookInfo& b : books)
        cboBook->addItem(QStringLiteral("%1 (%2)").arg(b.name, b.url.toString()), b.url.toString());
    lblStatus->setText(books.isEmpty() ? error
                                       : QStringLiteral("Signed in. %1 found; choose the one this book syncs with.")
                                             .arg(books.size() == 1 ? QStringLiteral("1 address book")
                                                                    : QStringLiteral("%1 address books").arg(books.size())));
    updateOk();
    return !books.isEmpty();
}

sync::SyncAccount frmSyncAccount::account() const
{
    return {cboBook->currentData().toString(), txtUser->text().trimmed(), {}};
}

QString frmSyncAccount::password() const
{
    return txtPassword->text();
}

} // namespace pb
