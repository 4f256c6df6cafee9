#include "shell/frmAbout.h"

#include "platform/MessageBoxes.h"
#include "platform/SettingsStore.h"
#include "platform/Version.h"
#include "platform/SystemInfo.h"
#include "platform/Twips.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"
#include "shell/frmSplash.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace pb {

using colors::kWhite;

namespace {

constexpr int kClientWidth = 5730;   // twips
constexpr int kClientHeight = 6375;

constexpr qint32 kGrey = 8421504;

QFont arial(double points, bool bold = false)
{
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(twips::points(points));
    f.setBold(bold);
    return f;
}

} // namespace

frmAbout::frmAbout(AppContext& ctx)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      ctx_(ctx)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowIcon(artwork::appIcon());
    setFixedSize(twips::toPixels(kClientWidth), twips::toPixels(kClientHeight));
    setModal(false);
    picture_ = artwork::splashPicture();

    const QString publisher = QString::fromLatin1(kPublisherName);
    const QString product = MessageBoxes::applicationTitle();

    // The top and the bottom of the picture are quiet; the text stands there.
    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(artwork::logo(twips::toPixels(600)));
    twips::place(picIcon, 180, 150, 600, 600);

    auto label = [this](const char* name, const QString& text, const QFont& font) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setFont(font);
        l->setWordWrap(true);
        setForeColor(l, kWhite);
        return l;
    };
    lblTitle = label("lblTitle", QStringLiteral("Application Title"), arial(9));
    twips::place(lblTitle, 960, 150, 4590, 270);
    lblVersion = label("lblVersion", QStringLiteral("Version"), arial(9));
    twips::place(lblVersion, 960, 420, 4590, 240);
    lblDescription = label("lblDescription",
                           product + QStringLiteral(" keeps your contacts and your diaries in one small book on "
                                                    "your own computer, from ") +
                               publisher + QLatin1Char('.'),
                           arial(8));
    twips::place(lblDescription, 960, 690, 4590, 600);

    // Line1: an etched rule, a dark line over a light one.
    for (int i = 0; i < 2; ++i) {
        auto* line = new QFrame(this);
        line->setObjectName(QStringLiteral("Line1"));
        setBackColor(line, i == 0 ? kGrey : kWhite);
        twips::place(line, 180, 5160 + 15 * i, kClientWidth - 360, 15);
    }

    lblDisclaimer = label("lblDisclaimer",
                          product + QStringLiteral(" \u00A9 ") + publisher +
                              QStringLiteral(". This program is free software: you may copy, share and change it "
                                             "under the GNU General Public License, version 3 or later. It comes "
                                             "with no warranty."),
                          arial(7.5));
    twips::place(lblDisclaimer, 180, 5235, kClientWidth - 360, 540);

    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    for (QPushButton* b : {cmdSysInfo, cmdOK})
        b->setFont(arial(9));
    twips::place(cmdSysInfo, 2595, 5850, 1380, 375);
    twips::place(cmdOK, 4170, 5850, 1380, 375);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    setTabOrder(cmdOK, cmdSysInfo);
    cmdOK->setFocus();

    Form_Load();
}

frmAbout* frmAbout::showNew(AppContext& ctx)
{
    auto* box = new frmAbout(ctx);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    return box;
}

void frmAbout::Form_Load()
{
    const QString title = MessageBoxes::applicationTitle();
    setWindowTitle(QStringLiteral("About ") + title);
    lblVersion->setText(QStringLiteral("Version %1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));
    lblTitle->setText(title);
}

void frmAbout::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), colorFromInt(kWhite));
    // The picture covers the whole box, trimmed evenly where its shape differs.
    const QSize drawn = picture_.size().scaled(size(), Qt::KeepAspectRatioByExpanding);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(QPoint((width() - drawn.width()) / 2, (height() - drawn.height()) / 2), drawn), picture_);
}

void frmAbout::cmdOK_Click()
{
    close();
}

void frmAbout::reject()
{
    close();
}

void frmAbout::closeEvent(QCloseEvent* e)
{
    // Closing is unloading; a dialog's own close handling would only hide it.
    e->accept();
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}

void frmAbout::StartSysInfo()
{
    const QString program = SystemInfo::locate();
    if (!program.isEmpty() && ctx_.programs.start(program, {}))
        return;
    ctx_.boxes.show(this, QStringLiteral("System Information Is Unavailable At This Time"),
                    MessageBoxes::applicationTitle(), MsgButtons::Ok, MsgIcon::None);
}

} // namespace pb
