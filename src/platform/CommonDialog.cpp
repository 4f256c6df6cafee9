#include "platform/CommonDialog.h"

#include "platform/Dialogs.h"

#include <QStringList>

namespace pb {

QString CommonDialog::toQtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns)
            p = p.trimmed();
        out << parts[i].trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

bool CommonDialog::ShowColor(QWidget* parent)
{
    const auto c = dialogs_.chooseColor(parent, Color);
    if (!c)
        return false;
    Color = *c;
    return true;
}

bool CommonDialog::ShowOpen(QWidget* parent)
{
    const auto f = dialogs_.openFile(parent, DialogTitle, toQtFilter(Filter));
    if (!f)
        return false;
    FileName = *f;
    return true;
}

bool CommonDialog::ShowSave(QWidget* parent)
{
    const auto f = dialogs_.saveFile(parent, DialogTitle, toQtFilter(Filter), FileName);
    if (!f)
        return false;
    FileName = *f;
    return true;
}

bool CommonDialog::ShowPrinter(QWidget* parent, QPrinter& printer)
{
    return dialogs_.setupPrinter(parent, printer);
}

} // namespace pb
