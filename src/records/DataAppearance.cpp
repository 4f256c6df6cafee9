// The main window's appearance commands, help and the About box.
#include "records/Data.h"

#include "platform/CommonDialog.h"
#include "platform/Twips.h"
#include "shell/AppContext.h"
#include "shell/frmAbout.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

namespace pb {

namespace {

constexpr qint32 kDefaultBackColor = 16512;   // brown: 128, 64, 0
constexpr int kColorInitFlag = 1;             // the colour dialog starts on its own colour

const char* const kHelpFile = "PhoneBook Help.chm";

// The help viewers tried in turn; the first that starts shows the help.
QStringList helpViewers()
{
#ifdef Q_OS_WIN
    return {QStringLiteral("hh.exe")};
#else
    // Dedicated viewers first; the desktop's own choice for the file last.
    return {QStringLiteral("kchmviewer"), QStringLiteral("xchm"), QStringLiteral("xdg-open")};
#endif
}

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

void Data::mnuContents_Click()
{
    const QString file = QDir::toNativeSeparators(QDir::current().absoluteFilePath(QString::fromLatin1(kHelpFile)));
    for (const QString& viewer : helpViewers()) {
        if (ctx_.programs.start(viewer, {file}))
            return;
    }
    ctx_.boxes.show(this, QStringLiteral("Press F1 for help"), MessageBoxes::applicationTitle(), MsgButtons::Ok,
                    MsgIcon::None);
}

void Data::mnuAbout_Click()
{
    frmAbout::showNew(ctx_);
}

} // namespace pb
