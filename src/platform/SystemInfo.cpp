#include "platform/SystemInfo.h"

#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <QSettings>
#endif

namespace pb {

bool SystemInfo::GetKeyValue(const QString& root, const QString& keyPath, const QString& valueName,
                             QString& text)
{
    text.clear();
#ifdef Q_OS_WIN
    // QSettings opens the key for reading when it may not write there, so a
    // user without administrator rights can still read the machine keys.
    const QSettings key(root + QLatin1Char('\\') + keyPath, QSettings::NativeFormat);
    const QVariant value = key.value(valueName);
    if (value.typeId() != QMetaType::QString)
        return false;
    text = value.toString();
    return true;
#else
    Q_UNUSED(root);
    Q_UNUSED(keyPath);
    Q_UNUSED(valueName);
    return false;
#endif
}

SystemInfo::Probe SystemInfo::systemProbe()
{
    Probe p;
    p.machineValue = [](const QString& keyPath, const QString& valueName) -> std::optional<QString> {
        QString text;
        if (!GetKeyValue(QStringLiteral("HKEY_LOCAL_MACHINE"), keyPath, valueName, text))
            return std::nullopt;
        return text;
    };
    p.isFile = [](const QString& path) { return QFileInfo(path).isFile(); };
    p.findOnPath = [](const QString& program) { return QStandardPaths::findExecutable(program); };
    return p;
}

QString SystemInfo::locateInRegistry(const Probe& probe)
{
    // The full path of the program, taken as it is.
    const auto program = probe.machineValue(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                                            QStringLiteral("PATH"));
    if (program && !program->isEmpty())
        return *program;

    // Or the folder it was installed to, if the program is really there.
    const auto folder = probe.machineValue(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                                           QStringLiteral("MSINFO"));
    if (!folder || folder->isEmpty())
        return QString();
    QString file = *folder;
    if (!file.endsWith(QLatin1Char('\\')) && !file.endsWith(QLatin1Char('/')))
        file += QLatin1Char('\\');
    file += QStringLiteral("MSINFO32.EXE");
    return probe.isFile(file) ? file : QString();
}

QStringList SystemInfo::pathCandidates()
{
    return {QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"),
            QStringLiteral("gnome-system-monitor")};
}

QString SystemInfo::locateOnPath(const Probe& probe)
{
    for (const QString& name : pathCandidates()) {
        const QString found = probe.findOnPath(name);
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

QString SystemInfo::locate(const Probe& probe)
{
#ifdef Q_OS_WIN
    return locateInRegistry(probe);
#else
    return locateOnPath(probe);
#endif
}

QString SystemInfo::locate()
{
    return locate(systemProbe());
}

} // namespace pb
