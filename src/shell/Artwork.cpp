#include "shell/Artwork.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>

namespace pb::artwork {

// The pictures are SVG files of the repository's art/ folder, compiled in
// as resources and drawn at the size (and pixel density) they are shown at.

namespace {

QImage render(const QString& path, QSize size)
{
    QSvgRenderer svg(path);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    svg.render(&p);
    p.end();
    return image;
}

// A picture of a fixed logical size, drawn for the screen's pixel density.
QImage picture(const QString& path, QSize logical)
{
    const qreal dpr = qGuiApp ? std::max<qreal>(1.0, qGuiApp->devicePixelRatio()) : 1.0;
    QImage image = render(path, (QSizeF(logical) * dpr).toSize());
    image.setDevicePixelRatio(dpr);
    return image;
}

// An icon drawn at each size a toolbar, a button or a window title uses.
QIcon iconFromFile(const QString& path)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 96, 128, 256})
        icon.addPixmap(QPixmap::fromImage(render(path, QSize(size, size))));
    return icon;
}

QString fileFor(const char* folder, const QString& key)
{
    const QString path = QStringLiteral(":/art/%1/%2.svg").arg(QLatin1String(folder), key);
    return QFile::exists(path) ? path : QStringLiteral(":/art/toolbar/Generic.svg");
}

// Icons are drawn once per run, on the GUI thread, and shared afterwards.
// The cache is never destroyed: pixmaps must not outlive the application
// object, and static destructors run after it is gone.
QIcon cached(const QString& path)
{
    static auto* cache = new QHash<QString, QIcon>;
    auto it = cache->find(path);
    if (it == cache->end())
        it = cache->insert(path, iconFromFile(path));
    return *it;
}

} // namespace

QImage backgroundPicture()
{
    static const QImage image = picture(QStringLiteral(":/art/pictures/background.svg"), QSize(700, 490));
    return image;
}

QImage splashPicture()
{
    static const QImage image = picture(QStringLiteral(":/art/pictures/splash.svg"), QSize(400, 439));
    return image;
}

QPixmap logo(int size)
{
    size = std::max(1, size);
    return QPixmap::fromImage(render(QStringLiteral(":/art/app/z8p-phonebook.svg"), QSize(size, size)));
}

QIcon toolbarIcon(const QString& key)
{
    return cached(fileFor("toolbar", key));
}

QIcon buttonIcon(const QString& key)
{
    return cached(fileFor("buttons", key));
}

QIcon appIcon()
{
    return cached(QStringLiteral(":/art/app/z8p-phonebook.svg"));
}

} // namespace pb::artwork
