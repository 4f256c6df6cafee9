#pragma once

#include <QColor>
#include <QString>

#include <optional>

class QPrinter;
class QWidget;

namespace pb {

class Dialogs;

// The main window's one common dialog, shared by the colour, picture, save
// and printer commands: what a command sets on it (title, filter, flags)
// stays set for the next use, and so does the last colour chosen.
// Filters are written "Description | *.a; *.b" (several pairs joined by "|").
class CommonDialog
{
public:
    explicit CommonDialog(Dialogs& dialogs) : dialogs_(dialogs) {}

    QString DialogTitle;
    QString Filter;
    int Flags = 0;
    QColor Color = Qt::black;
    QString FileName;

    // Each returns false on a cancel (and leaves Color / FileName as they were).
    bool ShowColor(QWidget* parent);
    bool ShowOpen(QWidget* parent);
    bool ShowSave(QWidget* parent);
    bool ShowPrinter(QWidget* parent, QPrinter& printer);

    // "All picture files | *.gif; *.jpeg" -> "All picture files (*.gif *.jpeg)"
    static QString toQtFilter(const QString& filter);

private:
    Dialogs& dialogs_;
};

} // namespace pb
