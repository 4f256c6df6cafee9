#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace pb {

// Finds the program that shows a summary of the computer's hardware and
// software ("System Information").
//
// On Windows it is where the registry says: the full program path under
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO, value PATH, or
// else MSINFO32.EXE in the folder under ...\Shared Tools Location, value
// MSINFO. Other systems have no registry; there the first of a few
// well-known system-information tools found on the search path is used.
class SystemInfo
{
public:
    // What the lookup asks of the system; the tests give their own answers.
    struct Probe {
        // A string value under HKEY_LOCAL_MACHINE, or nothing when absent.
        std::function<std::optional<QString>(const QString& keyPath, const QString& valueName)> machineValue;
        std::function<bool(const QString& path)> isFile;
        // The full path of a program found on the search path, or empty.
        std::function<QString(const QString& program)> findOnPath;
    };

    // The probe that asks this computer.
    static Probe systemProbe();

    // The program to start, or an empty string when there is none.
    static QString locate();
    static QString locate(const Probe& probe);

    // The two ways of looking, whichever the platform uses.
    static QString locateInRegistry(const Probe& probe);
    static QString locateOnPath(const Probe& probe);

    // Tools tried on systems without the registry, in order of preference.
    static QStringList pathCandidates();

    // Reads one string value from the registry: `root` is a root key name
    // such as "HKEY_LOCAL_MACHINE". Keys are opened for reading only. A key
    // or value that is absent, cannot be read, or holds something other than
    // text gives false and an empty `text`. Always false without a registry.
    static bool GetKeyValue(const QString& root, const QString& keyPath, const QString& valueName,
                            QString& text);
};

} // namespace pb
