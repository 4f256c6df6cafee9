// The main window's door to the diaries book.
#include "mainwindow/Data.h"

#include "diaries/frmDiaries.h"
#include "shell/AppContext.h"

namespace pb {

void Data::mnuDiaries_Click()
{
    frmDiaries* w = ctx_.windows.get<frmDiaries>();
    // Without its file the book has nothing to show; loading has said why,
    // and the next use tries again.
    if (!w->fileOpen()) {
        w->close();
        return;
    }
    w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    w->show();
    w->raise();
    w->activateWindow();
}

// Closing the window closes the diaries file.
void Data::unloadDiaries()
{
    ctx_.windows.unload<frmDiaries>();
}

} // namespace pb
