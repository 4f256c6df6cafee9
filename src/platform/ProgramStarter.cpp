#include "platform/ProgramStarter.h"

#include <QProcess>

namespace pb {

bool DesktopProgramStarter::start(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

} // namespace pb
