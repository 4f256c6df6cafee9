#include "sync/SyncAccount.h"

#include "platform/SettingsStore.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <algorithm>

namespace pb::sync {

namespace {

const QString kSection = QStringLiteral("Sync");

// The keys of a book's account: named for its full path.
QString keyOf(const QString& bookPath, const char* what)
{
    const QString path = QFileInfo(bookPath).absoluteFilePath();
    const QByteArray id = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("Book%1%2").arg(QString::fromLatin1(id), QLatin1String(what));
}

} // namespace

SyncAccount loadAccount(const SettingsStore& settings, const QString& bookPath)
{
    const QString app = QString::fromLatin1(kSettingsApp);
    return {settings.get(app, kSection, keyOf(bookPath, "AddressBook"), QString()),
            settings.get(app, kSection, keyOf(bookPath, "User"), QString()),
            settings.get(app, kSection, keyOf(bookPath, "Fingerprint"), QString()),
            std::clamp(settings.get(app, kSection, keyOf(bookPath, "EveryMinutes"), QString()).toInt(), 0, 24 * 60),
            std::clamp(settings.get(app, kSection, QStringLiteral("TimeoutSeconds"), QStringLiteral("30")).toInt(), 1, 600)};
}

void saveAccount(SettingsStore& settings, const QString& bookPath, const SyncAccount& account)
{
    const QString app = QString::fromLatin1(kSettingsApp);
    settings.save(app, kSection, keyOf(bookPath, "Book"), QFileInfo(bookPath).absoluteFilePath());
    settings.save(app, kSection, keyOf(bookPath, "AddressBook"), account.addressBook);
    settings.save(app, kSection, keyOf(bookPath, "User"), account.user);
    settings.save(app, kSection, keyOf(bookPath, "Fingerprint"), account.fingerprint);
    settings.save(app, kSection, keyOf(bookPath, "EveryMinutes"), QString::number(account.everyMinutes));
    settings.flush();
}

} // namespace pb::sync
