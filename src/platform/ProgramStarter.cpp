#include "platform/ProgramStarter.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

#include <memory>
#include <utility>

namespace pb {

bool DesktopProgramStarter::start(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

void DesktopProgramStarter::openFile(const QString& path, Done done)
{
#ifdef Q_OS_WIN
    done(QDesktopServices::openUrl(QUrl::fromLocalFile(path)));
#else
    // xdg-open's status tells whether a program took the file; its chatter
    // goes nowhere.
    auto* process = new QProcess;
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    auto finish = std::make_shared<Done>(std::move(done));
    QObject::connect(process, &QProcess::errorOccurred, process, [process, finish](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart)
            return;
        if (*finish)
            std::exchange(*finish, Done())(false);
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::finished, process, [process, finish](int status, QProcess::ExitStatus how) {
        if (*finish)
            std::exchange(*finish, Done())(how == QProcess::NormalExit && status == 0);
        process->deleteLater();
    });
    process->start(QStringLiteral("xdg-open"), {QUrl::fromLocalFile(path).toString()}, QIODevice::NotOpen);
#endif
}

} // namespace pb
