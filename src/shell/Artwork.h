#pragma once

// The program's pictures: SVG files in the repository's art/ folder, compiled
// in and drawn at the size they are shown at.
//
// backgroundPicture() and splashPicture() return QImage and may be called
// from any thread (they are rendered once and then shared). The QPixmap and
// QIcon functions need a QGuiApplication and must be used from the GUI
// thread, like any other QPixmap.

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace pb::artwork {

// Main window background, exactly 700 x 490 px. Dark and warm so that the
// white/yellow labels and the light text boxes laid over it stay readable.
QImage backgroundPicture();

// Splash / About picture, exactly 400 x 439 px, on orange. The top ~90 px
// and the bottom ~80 px are kept quiet so that text can be drawn over them.
QImage splashPicture();

// Square product logo (size x size px) on a transparent background.
// Sizes below 1 are treated as 1.
QPixmap logo(int size);

// Toolbar icons with 16, 24, 32 and 48 px pixmaps. Known keys:
// "NewRecord", "SaveRecord", "OpenData", "FindRecord", "CopyRecord",
// "CutRecord", "PasteRecord", "Customize", "PrintRecord".
// Any other key yields a neutral generic icon (never a null icon).
QIcon toolbarIcon(const QString& key);

// Icons for the big "Add" and "Delete" buttons (16, 24, 32 and 48 px).
// Any other key yields a neutral generic icon (never a null icon).
QIcon buttonIcon(const QString& key);

// Window / application icon built from logo() at several sizes.
QIcon appIcon();

} // namespace pb::artwork
