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

void runHandOff(const QString& program, const QStringList& arguments, HandOffDone done)
{
    auto* process = new QProcess;
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    auto finish = std::make_shared<HandOffDone>(std::move(done));
    QObject::connect(process, &QProcess::errorOccurred, process, [process, finish](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart || !*finish)
            return;
        std::exchange(*finish, HandOffDone())(std::nullopt, process->errorString());
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::finished, process, [process, finish](int status, QProcess::ExitStatus how) {
        if (*finish) {
            if (how == QProcess::NormalExit)
                std::exchange(*finish, HandOffDone())(status, QString());
            else
                std::exchange(*finish, HandOffDone())(std::nullopt, QStringLiteral("it stopped unexpectedly"));
        }
        process->deleteLater();
    });
    process->start(program, arguments, QIODevice::NotOpen);
}

void DesktopProgramStarter::openFile(const QString& path, Done done)
{
#ifdef Q_OS_WIN
    done(QDesktopServices::openUrl(QUrl::fromLocalFile(path)));
#else
    // xdg-open's status tells whether a program took the file.
    runHandOff(QStringLiteral("xdg-open"), {QUrl::fromLocalFile(path).toString()},
               [done = std::move(done)](std::optional<int> status, const QString&) { done(status == 0); });
#endif
}

void DesktopProgramStarter::defaultProgramFor(const QString& mimeType, Named done)
{
#ifdef Q_OS_WIN
    Q_UNUSED(mimeType);
    done(QStringLiteral("the associated program"));   // Windows always has one for web pages
#else
    // xdg-mime prints the desktop file of the program set for the type.
    auto* process = new QProcess;
    process->setStandardErrorFile(QProcess::nullDevice());
    auto finish = std::make_shared<Named>(std::move(done));
    QObject::connect(process, &QProcess::errorOccurred, process, [process, finish](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart || !*finish)
            return;
        std::exchange(*finish, Named())(QString());
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::finished, process, [process, finish](int status, QProcess::ExitStatus how) {
        if (*finish) {
            const bool named = how == QProcess::NormalExit && status == 0;
            std::exchange(*finish, Named())(named ? QString::fromLocal8Bit(process->readAllStandardOutput()).trimmed() : QString());
        }
        process->deleteLater();
    });
    process->start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mimeType},
                   QIODevice::ReadOnly);
#endif
}

} // namespace pb
