#include "platform/Codepage.h"
#include "platform/MessageBoxes.h"
#include "platform/SettingsStore.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"
#include "shell/frmSplash.h"

#include <QApplication>
#include <QLocale>

int main(int argc, char** argv)
{
    // The browser, loaded later as a plugin, shares OpenGL contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("z8P Phonebook"));
    QApplication::setApplicationVersion(QStringLiteral("1.2.0"));
    QApplication::setWindowIcon(pb::artwork::appIcon());

    pb::DesktopMessageBoxes boxes;
    pb::SettingsStore settings;
    pb::DesktopDialogs dialogs;
    pb::DesktopProgramStarter programs;
    pb::AppContext ctx(boxes, settings, dialogs, programs);
    pb::codepage::setCurrent(ctx.chooseCodePage(QLocale::system()));
    ctx.windows.get<pb::frmSplash>()->show();
    return app.exec();
}
