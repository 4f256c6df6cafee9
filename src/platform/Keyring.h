#pragma once

// The desktop's keyring, where a password the user asked to remember is
// kept (never in the settings): the seam, so that tests keep their secrets
// in memory and the program uses the real keyring.

#include <QString>

namespace pb {

class Keyring
{
public:
    enum class Answer {
        Done,          // read, written or removed
        NotFound,      // nothing kept under that name
        Unavailable,   // no keyring here, locked or refused: see why
    };
    virtual ~Keyring() = default;
    virtual Answer read(const QString& name, QString* secret, QString* why) = 0;
    virtual Answer write(const QString& name, const QString& secret, QString* why) = 0;
    virtual Answer remove(const QString& name, QString* why) = 0;
};

} // namespace pb
