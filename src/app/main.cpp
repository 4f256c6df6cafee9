#include "app/InfoOptions.h"
#include "platform/Codepage.h"
#include "platform/MailService.h"
#include "platform/MessageBoxes.h"
#include "platform/SettingsStore.h"
#include "platform/Version.h"
#include "mainwindow/Data.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"
#include "shell/frmSplash.h"

#include <QApplication>
#include <QLocale>
#include <QMenu>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

const char kHelp[] =
    "Usage: z8p-phonebook\n"
    "       z8p-phonebook --help | --version\n"
    "\n"
    "z8P Phonebook, a contact book kept on your own computer. It opens the book\n"
    "DravikBase.z8B in the current folder (and makes it there when it is missing).\n"
    "From the desktop menu it is started in ~/.local/share/z8p-phonebook instead.\n"
    "For the book from the command line, see z8p-phonebook-tool --help.\n";

// The run ends when no window of the program is left on screen, whatever
// the window system still holds (the web engine keeps native windows and
// helper processes of its own after the browser is closed).
class EndWithTheLastWindow : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if ((e->type() == QEvent::Close || e->type() == QEvent::Hide) && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow())
            QTimer::singleShot(0, this, [] {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (w->isVisible() && !qobject_cast<QMenu*>(w) && w->windowType() != Qt::ToolTip)
                        return;
                QCoreApplication::quit();
            });
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (const auto answered = pb::answerInfoOptions(argc, argv, "z8p-phonebook", kHelp))
        return *answered;
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

    pb::DesktopMailService().removeOldAttachments();
    pb::DesktopMessageBoxes boxes;
    pb::SettingsStore settings;
    pb::DesktopDialogs dialogs;
    pb::DesktopProgramStarter programs;
    pb::AppContext ctx(boxes, settings, dialogs, programs);
    ctx.setMainWindowClass<pb::Data>();
    pb::codepage::setCurrent(pb::chooseCodePage(settings));
    ctx.windows.get<pb::frmSplash>()->show();
    EndWithTheLastWindow ending;
    app.installEventFilter(&ending);
    return app.exec();
}
