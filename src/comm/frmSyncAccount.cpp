#include "comm/frmSyncAccount.h"

#include "platform/MessageBoxes.h"
#include "shell/AppContext.h"
#include "sync/CardDav.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace pb {

frmSyncAccount::frmSyncAccount(QWidget* parent, AppContext& ctx, const sync::SyncAccount& current, const QString& password,
                               bool remembered, const QString& note)
    : QDialog(parent), ctx_(ctx), fingerprint_(current.fingerprint)
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
    chkRemember = new QCheckBox(QStringLiteral("&Remember the password in the desktop's keyring"), this);
    chkRemember->setObjectName(QStringLiteral("chkRemember"));
    chkRemember->setChecked(remembered);
    cboBook = new QComboBox(this);
    cboBook->setObjectName(QStringLiteral("cboBook"));
    if (current.isSet()) {
        cboBook->addItem(current.addressBook, current.addressBook);
        readOnly_ << false;
    }
    spnEvery = new QSpinBox(this);
    spnEvery->setObjectName(QStringLiteral("spnEvery"));
    spnEvery->setRange(0, 24 * 60);
    spnEvery->setSpecialValueText(QStringLiteral("only when asked"));
    spnEvery->setSuffix(QStringLiteral(" minutes"));
    spnEvery->setValue(current.everyMinutes);
    form->addRow(QStringLiteral("&Server:"), txtServer);
    form->addRow(QStringLiteral("&User name:"), txtUser);
    form->addRow(QStringLiteral("&Password:"), txtPassword);
    form->addRow(QString(), chkRemember);
    form->addRow(QStringLiteral("&Address book:"), cboBook);
    form->addRow(QStringLiteral("Sync &every:"), spnEvery);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);   // a server's words are shown as text
    lblStatus->setWordWrap(true);
    lblStatus->setText(!note.isEmpty() ? note
                                       : QStringLiteral("The password is never kept in the settings: only in the desktop's "
                                                        "keyring when you ask, else while the program runs."));
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
        readOnly_.clear();
        fingerprint_.clear();
        updateOk();
    });
    connect(cboBook, &QComboBox::currentIndexChanged, this, [this] { showChosen(); });
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
    const std::unique_ptr<Http> http = ctx_.http(txtUser->text().trimmed(), txtPassword->text());
    http->trust(fingerprint_);
    QList<sync::AddressBookInfo> books = sync::CardDav::discover(*http, url, &error);
    if (books.isEmpty() && !http->refusedFingerprint().isEmpty() && askTrust(http->refusedFingerprint())) {
        http->trust(fingerprint_);
        books = sync::CardDav::discover(*http, url, &error);
    }
    cmdTest->setEnabled(true);
    cboBook->clear();
    readOnly_.clear();
    for (const sync::AddressBookInfo& b : books) {
        readOnly_ << b.readOnly;   // before the item, which shows its rights
        cboBook->addItem(QStringLiteral("%1 (%2)%3")
                             .arg(b.name, b.url.toString(), b.readOnly ? QStringLiteral(", read-only") : QString()),
                         b.url.toString());
    }
    if (books.isEmpty())
        lblStatus->setText(error);
    else
        showChosen();
    updateOk();
    return !books.isEmpty();
}

void frmSyncAccount::showChosen()
{
    const int i = cboBook->currentIndex();
    if (i < 0 || i >= readOnly_.size())
        return;
    QString text = QStringLiteral("Signed in. %1 found; choose the one this book syncs with.")
                       .arg(cboBook->count() == 1 ? QStringLiteral("1 address book")
                                                  : QStringLiteral("%1 address books").arg(cboBook->count()));
    if (readOnly_[i])
        text += QStringLiteral(" This one is read-only for you: a sync brings its contacts here, but changes made "
                               "here stay here.");
    lblStatus->setText(text);
}

bool frmSyncAccount::askTrust(const QString& fingerprint)
{
    const QString text =
        QStringLiteral("No authority this computer trusts vouches for the server's certificate, as with a server's "
                       "own (self-signed) certificate.\n\nIts SHA-256 fingerprint is:\n%1\n\nTrust it only when it is "
                       "the fingerprint your server's administrator gives you. Trust this certificate for this account?")
            .arg(fingerprint);
    if (ctx_.boxes.show(this, text, windowTitle(), MsgButtons::YesNo, MsgIcon::Exclamation) != MsgAnswer::Yes)
        return false;
    fingerprint_ = fingerprint;
    return true;
}

sync::SyncAccount frmSyncAccount::account() const
{
    return {cboBook->currentData().toString(), txtUser->text().trimmed(), fingerprint_, spnEvery->value()};
}

bool frmSyncAccount::remember() const
{
    return chkRemember->isChecked();
}

QString frmSyncAccount::password() const
{
    return txtPassword->text();
}

} // namespace pb
