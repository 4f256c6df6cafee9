#include "platform/Dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace pb {

std::optional<QColor> DesktopDialogs::chooseColor(QWidget* parent, const QColor& initial)
{
    const QColor c = QColorDialog::getColor(initial, parent);
    if (!c.isValid())
        return std::nullopt;
    return c;
}

std::optional<QString> DesktopDialogs::openFile(QWidget* parent, const QString& title, const QString& filter)
{
    const QString f = QFileDialog::getOpenFileName(parent, title, QString(), filter);
    if (f.isEmpty())
        return std::nullopt;
    return f;
}

std::optional<QString> DesktopDialogs::saveFile(QWidget* parent, const QString& title, const QString& filter,
                                                const QString& suggestedName, QString* chosenFilter)
{
    const QString f = QFileDialog::getSaveFileName(parent, title, suggestedName, filter, chosenFilter);
    if (f.isEmpty())
        return std::nullopt;
    return f;
}

bool DesktopDialogs::setupPrinter(QWidget* parent, QPrinter& printer)
{
    QPrintDialog dlg(&printer, parent);
    return dlg.exec() == QDialog::Accepted;
}

std::optional<QColor> ScriptedDialogs::chooseColor(QWidget*, const QColor& initial)
{
    shown.append({QStringLiteral("color"), QString(), QString(), initial});
    return colors.isEmpty() ? std::nullopt : colors.takeFirst();
}

std::optional<QString> ScriptedDialogs::openFile(QWidget*, const QString& title, const QString& filter)
{
    shown.append({QStringLiteral("open"), title, filter, QColor()});
    return files.isEmpty() ? std::nullopt : files.takeFirst();
}

std::optional<QString> ScriptedDialogs::saveFile(QWidget*, const QString& title, const QString& filter,
                                                 const QString&, QString* chosenFilter)
{
    shown.append({QStringLiteral("save"), title, filter, QColor()});
    if (chosenFilter)
        *chosenFilter = saveFilters.isEmpty() ? filter.section(QStringLiteral(";;"), 0, 0) : saveFilters.takeFirst();
    return files.isEmpty() ? std::nullopt : files.takeFirst();
}

bool ScriptedDialogs::setupPrinter(QWidget*, QPrinter& printer)
{
    shown.append({QStringLiteral("printer"), QString(), QString(), QColor()});
    const std::optional<QString> pdf = printers.isEmpty() ? std::nullopt : printers.takeFirst();
    if (!pdf)
        return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(*pdf);
    if (printerChoices)
        printerChoices(printer);
    return true;
}

} // namespace pb
