#include "shell/AppContext.h"

#include "platform/NetworkHttp.h"
#include "platform/SystemKeyring.h"

namespace pb {

AppContext::AppContext(MessageBoxes& b, SettingsStore& s, Dialogs& d, ProgramStarter& p)
    : boxes(b), settings(s), dialogs(d), programs(p), windows(*this)
{
    http = [](const QString& user, const QString& password) -> std::unique_ptr<Http> {
        auto net = std::make_unique<NetworkHttp>();
        net->setCredentials(user, password);
        return net;
    };
    keyring = [] { return std::make_unique<SystemKeyring>(); };
}

AppContext::~AppContext() = default;

QString AppContext::setting(const QString& key, const QString& fallback) const
{
    return programSetting(settings, key, fallback);
}

void AppContext::saveSetting(const QString& key, const QString& value)
{
    settings.save(QString::fromLatin1(kSettingsApp), QString::fromLatin1(kSettingsSection), key, value);
}

} // namespace pb
