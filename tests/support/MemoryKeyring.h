#pragma once

// A keyring in memory, for tests: what the program keeps in it, and a
// keyring that is not there.

#include "platform/Keyring.h"

#include <QMap>

namespace pb::test {

class MemoryKeyring : public Keyring
{
public:
    QMap<QString, QString> secrets;
    bool available = true;   // false: as a desktop without a keyring

    Answer read(const QString& name, QString* secret, QString* why) override
    {
        if (!check(why))
            return Answer::Unavailable;
        if (!secrets.contains(name))
            return Answer::NotFound;
        *secret = secrets.value(name);
        return Answer::Done;
    }
    Answer write(const QString& name, const QString& secret, QString* why) override
    {
        if (!check(why))
            return Answer::Unavailable;
        secrets.insert(name, secret);
        return Answer::Done;
    }
    Answer remove(const QString& name, QString* why) override
    {
        if (!check(why))
            return Answer::Unavailable;
        return secrets.remove(name) ? Answer::Done : Answer::NotFound;
    }

private:
    bool check(QString* why) const
    {
        if (!available && why)
            *why = QStringLiteral("there is no keyring on this desktop");
        return available;
    }
};

// What a context's keyring factory hands out: the one keyring of the test.
class KeyringView : public Keyring
{
public:
    explicit KeyringView(Keyring& k) : k_(k) {}
    Answer read(const QString& n, QString* s, QString* w) override { return k_.read(n, s, w); }
    Answer write(const QString& n, const QString& s, QString* w) override { return k_.write(n, s, w); }
    Answer remove(const QString& n, QString* w) override { return k_.remove(n, w); }

private:
    Keyring& k_;
};

} // namespace pb::test
