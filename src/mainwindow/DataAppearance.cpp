// The main window's appearance commands, help and the About box.
#include "mainwindow/Data.h"

#include "platform/CommonDialog.h"
#include "platform/Twips.h"
#include "shell/AppContext.h"
#include "shell/frmAbout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPointer>
#include <QUrl>

namespace pb {

namespace {

constexpr qint32 kDefaultBackColor = 16512;   // brown: 128, 64, 0
constexpr int kColorInitFlag = 1;             // the colour dialog starts on its own colour


const char* const kHelpFile = "PhoneBook Help.chm";

// Viewers for the compiled help file, tried in turn.
QStringList chmViewers()
{
#ifdef Q_OS_WIN
    return {QStringLiteral("hh.exe")};
#else
    return {QStringLiteral("kchmviewer"), QStringLiteral("xchm")};
#endif
}

} // namespace

QString Data::manualPath()
{
    // Beside the program (a build), one folder up (the tests), or where an
    // installation puts it.
    const QDir app(QCoreApplication::applicationDirPath());
    for (const QString& folder : {QStringLiteral("manual"), QStringLiteral("../manual"),
                                  QStringLiteral("../share/doc/z8p-phonebook/manual"),
                                  QStringLiteral("../share/z8p-phonebook/manual")}) {
        const QFileInfo index(app.filePath(folder + QStringLiteral("/index.html")));
        if (index.isFile())
            return index.canonicalFilePath();
    }
    return QString();
}

namespace {
} // namespace

void Data::mnuDefault_Click()
{
    setBackgroundColor(kDefaultBackColor);
}

void Data::mnuOther_Click()
{
    CommonDialog& dlg = dlgFileOpen();
    dlg.Flags = kColorInitFlag;
    if (!dlg.ShowColor(this))
        return;
    setBackgroundColor(colorToInt(dlg.Color));
}

void Data::mnuBackColors_Click()
{
    mnuOther_Click();
}

void Data::mnuBackPic_Click()
{
    CommonDialog& dlg = dlgFileOpen();
    dlg.DialogTitle = QStringLiteral("Pics");
    dlg.Filter = QStringLiteral("All picture files | *.gif; *.jpeg; *.jpg; *.bmp");
    if (!dlg.ShowOpen(this))
        return;
    QImage picture;
    if (!picture.load(dlg.FileName))
        return;
    setBackgroundPicture(picture, QFileInfo(dlg.FileName).absoluteFilePath());
}

// The compiled help file when there is one and a viewer for it starts;
// otherwise the manual in the desktop's browser. When nothing could show
// it, the user is told where it is (F1 does nothing in this window).
void Data::mnuContents_Click()
{
    const QString chm = QDir::current().absoluteFilePath(QString::fromLatin1(kHelpFile));
    if (QFileInfo(chm).isFile()) {
        for (const QString& viewer : chmViewers())
            if (ctx_.programs.start(viewer, {QDir::toNativeSeparators(chm)}))
                return;
    }
    const QString manual = manualPath();
    if (manual.isEmpty()) {
        ctx_.boxes.show(this,
                        QStringLiteral("The manual was not found beside the program. It is installed with it, in "
                                       "share/z8p-phonebook/manual."),
                        MessageBoxes::applicationTitle(), MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    // With no program set for web pages (xdg-open would pick any, even a
    // text editor), the program's own browser shows the manual when it is
    // installed.
    const QPointer<Data> self(this);
    ctx_.programs.defaultProgramFor(QStringLiteral("text/html"), [self, manual](const QString& program) {
        if (!self)
            return;
        if (program.isEmpty()) {
            if (!self->showInOwnBrowser(QUrl::fromLocalFile(manual).toString()))
                self->tellWhereTheManualIs(manual);
            return;
        }
        self->ctx_.programs.openFile(manual, [self, manual](bool ok) {
            if (!ok && self)
                self->tellWhereTheManualIs(manual);
        });
    });
}

void Data::tellWhereTheManualIs(const QString& manual)
{
    ctx_.boxes.show(this,
                    QStringLiteral("The manual is in %1; open index.html with a web browser.")
                        .arg(QDir::toNativeSeparators(QFileInfo(manual).absolutePath())),
                    MessageBoxes::applicationTitle(), MsgButtons::Ok, MsgIcon::Information);
}

void Data::mnuAbout_Click()
{
    frmAbout::showNew(ctx_);
}

} // namespace pb
