// The main window's printing and export commands.
#include "mainwindow/Data.h"

#include "print/PrintLayout.h"
#include "print/frmPrint.h"
#include "print/frmView.h"
#include "shell/AppContext.h"

namespace pb {

void Data::mnuPrint_Click()
{
    frmPrint* w = ctx_.windows.get<frmPrint>();
    w->show();
    w->raise();
    w->activateWindow();
}

// The print window first: closing it saves its options.
void Data::unloadPrintWindows()
{
    ctx_.windows.unload<frmPrint>();
    ctx_.windows.unload<frmView>();
}

QString Data::CurrentRecordText() const
{
    ShownContact shown;
    shown.record = recordBoxText();
    for (Field f : kAllFields)
        shown.fields[static_cast<std::size_t>(f)] = boxText(f);
    return pb::CurrentRecordText(shown);
}

} // namespace pb
