#include "platform/Codepage.h"
#include "platform/MessageBoxes.h"
#include "platform/SettingsStore.h"
#include "platform/Version.h"
#include "mainwindow/Data.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"
#include "shell/frmSplash.h"

#include <QApplication>
#include <QLocale>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

int main(int argc, char** argv)
{
#ifdef Q_OS_UNIX
    // The web engine's sandbox refuses to run for root (a test machine, a
    // container): there it runs without it rather than not at all.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    // The browser, loaded later as a plugin, shares OpenGL contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("z8P Phonebook"));
    QApplication::setApplicationVersion(QString::fromLatin1(pb::kVersion));
    QApplication::setWindowIcon(pb::artwork::appIcon());
    // Wayland matches the windows to the menu entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.rivevozudezi.Z8pPhonebook"));

    pb::DesktopMessageBoxes boxes;
    pb::SettingsStore settings;
    pb::DesktopDialogs dialogs;
    pb::DesktopProgramStarter programs;
    pb::AppContext ctx(boxes, settings, dialogs, programs);
    ctx.setMainWindowClass<pb::Data>();
    pb::codepage::setCurrent(pb::chooseCodePage(settings));
    ctx.windows.get<pb::frmSplash>()->show();
    return app.exec();
}
