#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

class QAction;
class QListWidget;
class QToolBar;

namespace pb {

// The toolbar's own "Customize Toolbar" dialog: the user adds, removes and
// reorders buttons and separators; every change shows on the toolbar at once.
// A layout is a list of button keys in which an empty key is a separator.
class ToolbarCustomizer : public QDialog
{
    Q_OBJECT
public:
    ToolbarCustomizer(QToolBar* bar, const QList<QAction*>& buttons, QWidget* parent);

    static QStringList defaultLayout(const QList<QAction*>& buttons);
    static QStringList currentLayout(const QToolBar* bar);
    static void arrange(QToolBar* bar, const QList<QAction*>& buttons, const QStringList& layout);

private:
    void refill(int selectCurrent = -1, int selectAvailable = -1);
    void apply(const QStringList& layout, int selectCurrent);
    void addSelected();
    void removeSelected();
    void moveSelected(int by);

    QToolBar* bar_;
    QList<QAction*> buttons_;
    QListWidget* available_;
    QListWidget* current_;
};

} // namespace pb
