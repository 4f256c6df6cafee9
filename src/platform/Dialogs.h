#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QPrinter;
class QWidget;

namespace pb {

// The common dialogs: colour, open file, save file and printer set-up.
// Every one of them reports a cancel as "no answer".
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    virtual std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) = 0;
    // `filter` in Qt's form, e.g. "Text files (*.txt);;All files (*)".
    virtual std::optional<QString> openFile(QWidget* parent, const QString& title, const QString& filter) = 0;
    // `chosenFilter`, when given, receives the filter the user left selected.
    virtual std::optional<QString> saveFile(QWidget* parent, const QString& title, const QString& filter,
                                            const QString& suggestedName, QString* chosenFilter = nullptr) = 0;
    // Lets the user pick and set up the printer; false when cancelled.
    virtual bool setupPrinter(QWidget* parent, QPrinter& printer) = 0;
};

class DesktopDialogs final : public Dialogs
{
public:
    std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) override;
    std::optional<QString> openFile(QWidget* parent, const QString& title, const QString& filter) override;
    std::optional<QString> saveFile(QWidget* parent, const QString& title, const QString& filter,
                                    const QString& suggestedName, QString* chosenFilter = nullptr) override;
    bool setupPrinter(QWidget* parent, QPrinter& printer) override;
};

// For the tests: every dialog is recorded and answered from a queue; an
// empty queue answers as a cancel.
class ScriptedDialogs final : public Dialogs
{
public:
    struct Shown {
        QString kind;   // "color", "open", "save" or "printer"
        QString title;
        QString filter;
        QColor initial;
    };

    std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) override;
    std::optional<QString> openFile(QWidget* parent, const QString& title, const QString& filter) override;
    std::optional<QString> saveFile(QWidget* parent, const QString& title, const QString& filter,
                                    const QString& suggestedName, QString* chosenFilter = nullptr) override;
    bool setupPrinter(QWidget* parent, QPrinter& printer) override;

    QList<Shown> shown;
    QList<std::optional<QColor>> colors;
    QList<std::optional<QString>> files;   // answers to open and save, in turn
    // The filter left selected in each save dialog, in turn; the first of
    // the dialog's filters when none is queued.
    QList<QString> saveFilters;
    // A printer answer: the PDF file the scripted printer writes to, or
    // nothing for a cancel.
    QList<std::optional<QString>> printers;
    // What the user set in the printer dialog besides the printer (pages,
    // copies, collation), applied to every printer answered.
    std::function<void(QPrinter&)> printerChoices;
};

} // namespace pb
