// The book in step with a CardDAV server: the account, a sync with its
// progress and report, and the last sync on the status bar. The sync itself
// is the core's job, the same the tool runs.
#include "mainwindow/Data.h"

#include "comm/frmSyncAccount.h"
#include "comm/frmSyncConflicts.h"
#include "platform/Busy.h"
#include "platform/FieldBox.h"
#include "platform/Keyring.h"
#include "platform/MessageBoxes.h"
#include "records/BookCheck.h"
#include "shell/AppContext.h"
#include "sync/CardDav.h"
#include "sync/SyncAccount.h"
#include "sync/SyncJob.h"
#include "sync/SyncState.h"

#include <QApplication>
#include <QDateTime>
#include <QLineEdit>
#include <QTimer>
#include <QLabel>

#include <optional>

namespace pb {

namespace {

const QString kSyncTitle = QStringLiteral("Sync");

// A refused sync that a choice of the user's lets go on: the choice made
// into the options; false when the user chose to stop.
bool chooseAndGoOn(MessageBoxes& boxes, QWidget* parent, const sync::SyncReport& r, sync::SyncOptions& options)
{
    if (r.needs == sync::SyncReport::Needs::FirstChoice) {
        const MsgAnswer a = boxes.show(parent,
                                       r.error.section(QStringLiteral(". "), 0, 0) +
                                           QStringLiteral(".\n\nYes: merge them (contacts alike are linked, a field empty on "
                                                          "one side taken from the other).\nNo: where alike contacts differ, "
                                                          "the server's version wins.\nCancel: sync later."),
                                       kSyncTitle, MsgButtons::YesNoCancel, MsgIcon::Question);
        if (a == MsgAnswer::Cancel)
            return false;
        options.first = a == MsgAnswer::Yes ? sync::SyncOptions::First::Merge : sync::SyncOptions::First::Server;
        return true;
    }
    if (r.needs == sync::SyncReport::Needs::MassDelete) {
        const QString text = r.error.section(QStringLiteral(". "), 0, 0) + QStringLiteral(".\n\nDelete them?");
        if (boxes.show(parent, text, kSyncTitle, MsgButtons::YesNo, MsgIcon::Exclamation) != MsgAnswer::Yes)
            return false;
        options.allowMassDelete = true;
        return true;
    }
    if (r.outcome == sync::SyncReport::Outcome::Conflicts && options.choices.isEmpty() && !r.conflictList.isEmpty()) {
        // Field by field, in a window of their own; Later keeps both sides
        // as they are until the next sync.
        frmSyncConflicts window(parent, r.conflictList);
        if (window.exec() != QDialog::Accepted)
            return false;
        options.choices = window.choices();
        return true;
    }
    return false;
}

} // namespace

bool Data::askSyncAccount(const QString& note)
{
    const QString bookPath = ctx_.book.phonebookFile().fileName();
    const sync::SyncAccount current = sync::loadAccount(ctx_.settings, bookPath);
    QString password = syncPassword_, why;
    const std::unique_ptr<Keyring> keyring = ctx_.keyring();
    const bool remembered = current.isSet() && !current.user.isEmpty() &&
                            keyring->read(sync::passwordName(current), &password, &why) == Keyring::Answer::Done;
    frmSyncAccount dialog(this, ctx_, current, password, remembered, note);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const sync::SyncAccount account = dialog.account();
    sync::saveAccount(ctx_.settings, bookPath, account);
    syncPassword_ = dialog.password();
    syncPasswordRefused_ = false;
    if (remembered && (!dialog.remember() || sync::passwordName(current) != sync::passwordName(account)))
        keyring->remove(sync::passwordName(current), nullptr);
    if (dialog.remember() && !account.user.isEmpty() &&
        keyring->write(sync::passwordName(account), syncPassword_, &why) != Keyring::Answer::Done)
        ctx_.boxes.show(this,
                        QStringLiteral("The password could not be remembered: %1.\n\nIt is kept while the program "
                                       "runs, and asked for again after a restart.")
                            .arg(why),
                        kSyncTitle, MsgButtons::Ok, MsgIcon::Exclamation);
    startSyncTimer();
    return true;
}

void Data::mnuSyncAccount_Click()
{
    askSyncAccount({});
}

// The password of the account: the one given while the program runs, else
// the keyring's; empty, with why, when neither has one.
QString Data::syncPassword(const sync::SyncAccount& account, QString* why)
{
    if (account.user.isEmpty() || !syncPassword_.isEmpty())
        return syncPassword_;
    if (syncPasswordRefused_) {
        *why = QStringLiteral("The server refused the password: enter it again.");
        return {};
    }
    QString password, keyringWhy;
    switch (ctx_.keyring()->read(sync::passwordName(account), &password, &keyringWhy)) {
    case Keyring::Answer::Done:
        return password;
    case Keyring::Answer::NotFound:
        *why = QStringLiteral("Enter the password; tick Remember to keep it in the desktop's keyring.");
        break;
    case Keyring::Answer::Unavailable:
        *why = QStringLiteral("The password is asked for while %1, so it is kept only while the program runs.")
                   .arg(keyringWhy);
        break;
    }
    return {};
}

void Data::mnuSyncNow_Click()
{
    runSync(true);
}

void Data::runSync(bool asked)
{
    const QString bookPath = ctx_.book.phonebookFile().fileName();
    sync::SyncAccount account = sync::loadAccount(ctx_.settings, bookPath);
    QString why;
    QString password = syncPassword(account, &why);
    if (!account.isSet() || (!account.user.isEmpty() && password.isEmpty())) {
        if (!asked) {
            showSyncStatus(QStringLiteral("Not synced: the password is needed (Sync ▸ Sync Now)"));
            return;
        }
        if (!askSyncAccount(account.isSet() ? why : QString()))
            return;
        account = sync::loadAccount(ctx_.settings, bookPath);
        password = syncPassword_;
    }
    const auto shown = currentRecord();
    sync::SyncOptions options;
    sync::SyncReport r;
    for (int round = 0; round < 3; ++round) {
        {
            Progress progress(this, QStringLiteral("Syncing with the server..."), 0);
            options.progress = [&](const QString& phase, int done, int total) {
                progress.setStep(phase, total);
                progress.advance(done);
            };
            options.cancelled = [&] { return !progress.advance(0); };
            const std::unique_ptr<Http> http = ctx_.http(account.user, password);
            http->trust(account.fingerprint);
            http->setTimeout(account.timeoutSeconds);
            sync::CardDav dav(*http, QUrl(account.addressBook));
            r = sync::SyncJob(ctx_.book, dav, account.addressBook, options).run();
            if (r.outcome == sync::SyncReport::Outcome::Failed && dav.lastStatus() == 401) {
                syncPassword_.clear();   // asked for again next time
                syncPasswordRefused_ = true;
            } else if (!password.isEmpty()) {
                syncPassword_ = password;
            }
            options.progress = nullptr;
            options.cancelled = nullptr;
        }
        // The progress gone, a question the sync waits for; a sync of the
        // timer's asks nothing and leaves the choice to Sync Now.
        if (!asked || !chooseAndGoOn(ctx_.boxes, this, r, options))
            break;
    }
    // The book as the sync left it.
    QByteArray bytes;
    if (readBook(ctx_.book, &bytes, &why)) {
        const int count = checkOpenBook(ctx_.book, bytes).count;
        showAfterBookChange(count, std::clamp(int(shown.value_or(1)), 1, std::max(count, 1)));
    }
    const QString when = QDateTime::currentDateTime().toString(QStringLiteral("hh:mm"));
    const bool synced = r.outcome == sync::SyncReport::Outcome::Done || r.outcome == sync::SyncReport::Outcome::Conflicts;
    showSyncStatus(synced ? QStringLiteral("Synced %1: %2").arg(when, r.summary())
                          : QStringLiteral("Not synced: %1").arg(r.error.section(u'\n', 0, 0)));
    if (!asked)
        return;
    QString text = synced ? QStringLiteral("Synced: %1.").arg(r.summary()) : QStringLiteral("Not synced: %1").arg(r.error);
    if (!r.backup.isEmpty())
        text += QStringLiteral("\nA copy of the book as it was is in %1.").arg(r.backup);
    ctx_.boxes.showDetails(this, text, r.details.join(u'\n'), kSyncTitle, MsgButtons::Ok,
                           synced && r.conflicts() == 0 ? MsgIcon::Information : MsgIcon::Exclamation);
}

void Data::showSyncStatus(const QString& text)
{
    syncPanel_->setText(text);
    syncPanel_->setToolTip(text);   // the whole of it, where the bar is narrow
}

// The account's own rhythm: a sync every so many minutes while the program
// runs, none when the account asks for none.
void Data::startSyncTimer()
{
    const sync::SyncAccount account = sync::loadAccount(ctx_.settings, ctx_.book.phonebookFile().fileName());
    if (!account.isSet() || account.everyMinutes <= 0) {
        if (syncTimer_)
            syncTimer_->stop();
        return;
    }
    if (!syncTimer_) {
        syncTimer_ = new QTimer(this);
        connect(syncTimer_, &QTimer::timeout, this, &Data::syncTimer_Timer);
    }
    syncTimer_->start(account.everyMinutes * 60 * 1000);
}

void Data::syncTimer_Timer()
{
    // Not while the user is in a dialog or typing in a field: the sync
    // rewrites the record shown. Tried again in a minute.
    QWidget* focus = QApplication::focusWidget();
    const bool typing = isActiveWindow() && focus && focus != static_cast<QWidget*>(txtRecord) &&
                        (qobject_cast<QLineEdit*>(focus) || focus->inherits("QTextEdit") || focus->inherits("QPlainTextEdit"));
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget() || typing) {
        syncTimer_->start(60 * 1000);
        return;
    }
    runSync(false);
    startSyncTimer();
}

void Data::mnuSyncStatus_Click()
{
    const QString bookPath = ctx_.book.phonebookFile().fileName();
    const sync::SyncAccount account = sync::loadAccount(ctx_.settings, bookPath);
    if (!account.isSet()) {
        ctx_.boxes.show(this, QStringLiteral("This book has no sync account yet: choose Sync ▸ Account... to set one."),
                        kSyncTitle, MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    QByteArray bytes;
    QString why;
    sync::SyncState state;
    if (!readBook(ctx_.book, &bytes, &why) || !sync::loadState(bookPath, bytes, &state, &why, false))
        state.lastSync.clear();
    const QString last = state.addressBook == account.addressBook && !state.lastSync.isEmpty()
                             ? sync::describeLastSync(state)
                             : QStringLiteral("Not synced yet.");
    ctx_.boxes.show(this,
                    QStringLiteral("Address book: %1\nUser: %2\n%3")
                        .arg(account.addressBook, account.user.isEmpty() ? QStringLiteral("(none)") : account.user, last),
                    kSyncTitle, MsgButtons::Ok, MsgIcon::Information);
}

} // namespace pb
