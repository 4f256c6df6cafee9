#include "platform/SystemKeyring.h"

#include <QEventLoop>
#include <qt6keychain/keychain.h>

namespace pb {

namespace {

const QString kService = QStringLiteral("z8P Phonebook");

Keyring::Answer wait(QKeychain::Job& job, QString* why)
{
    job.setAutoDelete(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    switch (job.error()) {
    case QKeychain::NoError:
        return Keyring::Answer::Done;
    case QKeychain::EntryNotFound:
        return Keyring::Answer::NotFound;
    default:
        if (why)
            *why = QStringLiteral("the desktop's keyring cannot be used (%1)").arg(job.errorString());
        return Keyring::Answer::Unavailable;
    }
}

} // namespace

Keyring::Answer SystemKeyring::read(const QString& name, QString* secret, QString* why)
{
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(name);
    const Answer a = wait(job, why);
    if (a == Answer::Done)
        *secret = job.textData();
    return a;
}

Keyring::Answer SystemKeyring::write(const QString& name, const QString& secret, QString* why)
{
    QKeychain::WritePasswordJob job(kService);
    job.setKey(name);
    job.setTextData(secret);
    return wait(job, why);
}

Keyring::Answer SystemKeyring::remove(const QString& name, QString* why)
{
    QKeychain::DeletePasswordJob job(kService);
    job.setKey(name);
    return wait(job, why);
}

} // namespace pb
