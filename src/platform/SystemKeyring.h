#pragma once

// The real keyring behind the Keyring seam: the desktop's secret service
// (GNOME Keyring, KWallet) or the Windows credential store, through
// QtKeychain. Each call waits for the keyring's answer.

#include "platform/Keyring.h"

namespace pb {

class SystemKeyring : public Keyring
{
public:
    Answer read(const QString& name, QString* secret, QString* why) override;
    Answer write(const QString& name, const QString& secret, QString* why) override;
    Answer remove(const QString& name, QString* why) override;
};

} // namespace pb
