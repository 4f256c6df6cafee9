// The pictures come from files and show at every scale: run once as is and
// once with QT_SCALE_FACTOR=2 (see tests/CMakeLists.txt).
#include "shell/Artwork.h"
#include "shell/frmSplash.h"
#include "support/TestEnv.h"

#include <QGuiApplication>
#include <QSet>
#include <QTest>
#include <QToolBar>

using namespace pb;
using namespace pb::test;

namespace {

// A picture that shows something: not empty, not one flat colour.
bool showsSomething(const QImage& image)
{
    if (image.isNull())
        return false;
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); y += std::max(1, img.height() / 40))
        for (int x = 0; x < img.width(); x += std::max(1, img.width() / 40))
            if (qAlpha(img.pixel(x, y)) > 0)
                colours.insert(img.pixel(x, y));
    return colours.size() > 3;
}

} // namespace

class TestArtwork : public QObject
{
    Q_OBJECT
private slots:
    void everyPictureShowsSomethingAtItsSize()
    {
        const qreal dpr = qGuiApp->devicePixelRatio();
        QCOMPARE(artwork::backgroundPicture().deviceIndependentSize().toSize(), QSize(700, 490));
        QCOMPARE(artwork::backgroundPicture().devicePixelRatio(), dpr);
        QCOMPARE(artwork::splashPicture().deviceIndependentSize().toSize(), QSize(400, 439));
        QVERIFY(showsSomething(artwork::backgroundPicture()));
        QVERIFY(showsSomething(artwork::splashPicture()));
        QVERIFY(showsSomething(artwork::logo(64).toImage()));
        for (const char* key : {"NewRecord", "SaveRecord", "OpenData", "FindRecord", "CopyRecord", "CutRecord",
                                "PasteRecord", "Customize", "PrintRecord", "GoPrevious", "GoNext"})
            QVERIFY2(showsSomething(artwork::toolbarIcon(QString::fromLatin1(key)).pixmap(48, 48).toImage()), key);
        for (const char* key : {"Add", "Delete"})
            QVERIFY2(showsSomething(artwork::buttonIcon(QString::fromLatin1(key)).pixmap(48, 48).toImage()), key);
        QVERIFY(showsSomething(artwork::appIcon().pixmap(64, 64).toImage()));
        // An unknown key still gives a picture, never none.
        QVERIFY(!artwork::toolbarIcon(QStringLiteral("NoSuchButton")).pixmap(24, 24).isNull());
    }

    void theWindowsShowTheirPictures()
    {
        TestEnv env;
        auto* splash = env.ctx().windows.get<frmSplash>();
        splash->show();
        QVERIFY(QTest::qWaitForWindowExposed(splash));
        const QImage shownSplash = splash->grab().toImage();
        QCOMPARE(shownSplash.devicePixelRatio(), qGuiApp->devicePixelRatio());
        QVERIFY(showsSomething(shownSplash));
        splash->close();

        Data* d = env.openData();
        const QImage shownMain = d->centralWidget()->grab().toImage();
        QVERIFY(showsSomething(shownMain.copy(0, 0, shownMain.width(), shownMain.height() / 3)));
        for (QAction* a : d->findChild<QToolBar*>(QStringLiteral("Toolbar1"))->actions())
            if (!a->isSeparator())
                QVERIFY2(showsSomething(a->icon().pixmap(24, 24).toImage()), qPrintable(a->objectName()));
        QVERIFY(showsSomething(d->windowIcon().pixmap(32, 32).toImage()));
    }
};

QTEST_MAIN(TestArtwork)
#include "tst_artwork.moc"
