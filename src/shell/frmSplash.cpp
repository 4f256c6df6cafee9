#include "shell/frmSplash.h"

#include "platform/SettingsStore.h"
#include "platform/Twips.h"
#include "platform/Version.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"
#include "shell/RecordWindow.h"

#include <QCloseEvent>
#include <QDate>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace pb {

frmSplash::frmSplash(AppContext& ctx) : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(MessageBoxes::applicationTitle());
    setWindowIcon(artwork::appIcon());
    setFixedSize(twips::toPixels(6000), twips::toPixels(6585));
    picture_ = artwork::splashPicture();

    auto label = [this](const char* name, const QString& text, double points) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        QFont f(QStringLiteral("Arial"));
        f.setPointSizeF(twips::points(points));
        l->setFont(f);
        setForeColor(l, 16777215);
        l->setAlignment(Qt::AlignCenter);
        return l;
    };
    // Placed in pixels of the layout, grown with the text.
    const double scale = twips::textScale();
    const auto px = [scale](int v) { return static_cast<int>(v * scale + 0.5); };
    auto* picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(artwork::logo(px(64)));
    picIcon->setGeometry(px(20), px(16), px(64), px(64));

    QLabel* title = label("Label1", QString::fromLatin1(kPublisherName), 24);
    title->setGeometry(px(84), px(18), width() - px(104), px(60));
    QLabel* product = label("lblProduct", QStringLiteral("z8P Phonebook ") + QString::fromLatin1(kVersion), 13);
    product->setGeometry(0, px(78), width(), px(26));

    QLabel* web = label("lblDescription1", QString::fromLatin1(kPublisherWeb), 12);
    web->setGeometry(0, height() - px(86), width(), px(26));
    const QString years = QStringLiteral("2024-%1").arg(std::max(2026, QDate::currentDate().year()));
    QLabel* rights = label("lblDescription0",
                           QStringLiteral("Copyright \u00A9 %1 %2. Free software under the GNU General Public "
                                          "License, version 3 or later, with no warranty.")
                               .arg(years, QString::fromLatin1(kPublisherName)),
                           8);
    rights->setWordWrap(true);
    rights->setGeometry(px(16), height() - px(56), width() - px(32), px(44));

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(2000);
    Timer->setSingleShot(true);
    Timer->setTimerType(Qt::PreciseTimer);   // never earlier than two seconds
    connect(Timer, &QTimer::timeout, this, &frmSplash::Timer_Timer);
    Timer->start();
}

void frmSplash::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(255, 128, 0));
    p.drawImage(rect(), picture_);
}

void frmSplash::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - rect().center());
    }
}

void frmSplash::Timer_Timer()
{
    if (RecordWindow* main = ctx_.recordWindow())
        main->widget()->show();
    close();
}

void frmSplash::closeEvent(QCloseEvent* e)
{
    Timer->stop();
    e->accept();
    ctx_.windows.forget(this);
}

} // namespace pb
